#pragma once

#include <memory>

#include "io/byte_stream.h"
#include "store/paged_block_store.h"
#include "stream/schematic_stream.h"

namespace kubic {

// Collects blocks in a fixed store; complete() writes the whole box as a
// Sponge version 3 document (positions shifted to the origin, "Offset"
// [0, 0, 0]) in one piece.
class SpongeSchematicOutputStream final : public SchematicOutputStream {
 public:
  SpongeSchematicOutputStream(std::unique_ptr<ByteSink> writer, const Boundary& boundary);

  Status write(std::span<const Block> blocks) override;
  Status complete() override;

 private:
  std::unique_ptr<ByteSink> writer_;
  std::unique_ptr<PagedBlockStore> store_;
  std::optional<Boundary> boundary_;
};

}  // namespace kubic
