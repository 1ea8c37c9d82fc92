#pragma once

#include <functional>
#include <memory>

#include "io/byte_stream.h"
#include "store/paged_block_store.h"
#include "stream/schematic_stream.h"

namespace kubic {

// Collects blocks in a fixed store; complete() writes the whole box as a
// Sponge document of version 3 (or 2, for tools that read only that) in one
// piece: positions shifted so that the box starts at (0, 0, 0), its world
// place kept in "Offset", with the extras it was given.
class SpongeSchematicOutputStream final : public SchematicOutputStream {
 public:
  SpongeSchematicOutputStream(std::unique_ptr<ByteSink> writer, const Boundary& boundary, int version = 3);

  Status write(std::span<const Block> blocks) override;
  Status complete() override;
  Status set_extras(SchematicExtras extras) override;
  // The same bytes as block by block, without the per-block store.
  bool writes_dense() const override { return true; }
  Status write_dense_document(const uint16_t* cells, const std::vector<StateRef>& states, AxisOrder layout) override;
  bool writes_stored() const override { return true; }
  Status write_stored(const StoredCells& stored) override;

 private:
  Status check_volume() const;
  // The whole box from a store over a box of its size; state_of(palette id).
  Status write_store(const PagedBlockStore& store, const std::function<Result<StateRef>(uint16_t)>& state_of);
  // `block_name` gives the name of the block at a position counted from the
  // box's corner, for block entities without an "id".
  Status write_document(const std::unordered_map<StateRef, int32_t, StateRefHash>& palette, std::vector<int8_t> data,
                        const std::function<std::string(const BlockPosition&)>& block_name);

  std::unique_ptr<ByteSink> writer_;
  std::unique_ptr<PagedBlockStore> store_;
  std::optional<Boundary> boundary_;
  int version_;
  SchematicExtras extras_;
};

}  // namespace kubic
