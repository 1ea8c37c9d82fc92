#pragma once

#include <functional>
#include <memory>

#include "io/byte_stream.h"
#include "nbt/nbt_writer.h"
#include "store/paged_block_store.h"
#include "stream/schematic_stream.h"

namespace kubic {

// Collects blocks in a fixed store; complete() writes a Litematica
// schematic. The regions the extras bring are kept when together they
// enclose exactly the box and hold every block and block entity; otherwise
// the whole box is one region named after the schematic.
class LitematicaSchematicOutputStream final : public SchematicOutputStream {
 public:
  // `default_name` names a schematic whose extras give no "Name".
  LitematicaSchematicOutputStream(std::unique_ptr<ByteSink> writer, const Boundary& boundary,
                                  std::string default_name = "");

  Status write(std::span<const Block> blocks) override;
  Status complete() override;
  Status set_extras(SchematicExtras extras) override;
  // The same bytes as block by block, without the per-block store.
  bool writes_dense() const override { return true; }
  Status write_dense_document(const uint16_t* cells, const std::vector<StateRef>& states, AxisOrder layout) override;
  bool writes_stored() const override { return true; }
  Status write_stored(const StoredCells& stored) override;
  std::vector<std::string> take_notes() override { return std::move(notes_); }

 private:
  // Where a document's blocks come from: `states` by index, and for a box
  // inside the written one, the index of each position of its planes y0 to
  // y0 + count - 1 (counted from the box's bottom) in file order, 0 where
  // nothing is stored.
  struct Cells {
    const std::vector<StateRef>& states;
    std::function<void(const Boundary& box, int64_t y0, int64_t count, uint16_t* planes)> gather_planes;
    // Calls visit(position) for every position holding something other
    // than plain air, until it returns false.
    std::function<void(const std::function<bool(const BlockPosition&)>&)> for_each_block;
  };

  // The whole box from a store over a box of its size, whose palette id k
  // holds palette[k].
  Status write_store(const PagedBlockStore& store, std::vector<StateRef> palette);
  Status write_document(const Cells& cells);
  // What a first walk over a region learns: its palette, the palette
  // index of each of the cells' values, its count of blocks other than air.
  struct RegionNumbering {
    ListTag palette;
    std::vector<uint16_t> number;
    int64_t blocks;
  };
  // The extras' "Name", else the default name, else "Unnamed".
  std::string schematic_name() const;
  static Result<RegionNumbering> number_region(const Cells& cells, const Boundary& box);
  // The payload of a region's "BlockStates", packed from a second walk.
  static Status write_block_states(const Cells& cells, const Boundary& box, const RegionNumbering& numbering,
                                   NbtWriter& writer);
  std::vector<SubRegion> regions_to_write(const Cells& cells) const;

  std::unique_ptr<ByteSink> writer_;
  std::unique_ptr<PagedBlockStore> store_;
  Boundary boundary_;
  std::string default_name_;
  SchematicExtras extras_;
  std::vector<std::string> notes_;
};

}  // namespace kubic
