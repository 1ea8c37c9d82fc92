#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "io/byte_stream.h"
#include "nbt/nbt_writer.h"
#include "stream/collected_blocks.h"
#include "stream/schematic_stream.h"

namespace kubic {

// The records of a structure file, in file order.
struct PaletteEntry {
  std::string name;
  std::vector<BlockState::Property> properties;  // left out when empty
};

struct BlockEntry {
  BlockPosition pos;
  uint32_t state;
};

// Collects blocks by position (the last one written wins) and a palette in
// order of first use; complete() writes one block entry for every position
// of the box, empty ones as plain air, structure voids unlisted, streaming
// the document straight into the sink.
class StructureSchematicOutputStream final : public SchematicOutputStream {
 public:

  // With a box, the structure is exactly that box (positions counted from
  // its minimum corner); without, the box grown around the blocks.
  explicit StructureSchematicOutputStream(std::unique_ptr<ByteSink> writer, std::optional<Boundary> box = std::nullopt);

  Status write(std::span<const Block> blocks) override;
  Status complete() override;
  // Block entities go into their entries' "nbt", entities into "entities";
  // a structure-void fill leaves unwritten positions unlisted.
  Status set_extras(SchematicExtras extras) override;
  bool holds_block_entities_outside() const override { return false; }
  uint32_t palette_idx_from_state(const StateRef& state);

 private:
  Status serialize(uint32_t air_index);
  // Block entities inside `bounds` in the order of the walk (x, y, z), the
  // last one given for a position kept.
  std::vector<const BlockEntity*> walk_ordered_block_entities(const Boundary& bounds) const;
  void write_entities(NbtWriter& nbt, const BlockPosition& min);

  std::unique_ptr<ByteSink> writer_;
  std::vector<PaletteEntry> palette_;
  std::unordered_map<StateRef, uint32_t, StateRefHash> palette_index_;
  // Neighbouring blocks mostly share their state: the last one's index.
  const BlockState* last_state_ = nullptr;
  uint32_t last_index_ = 0;
  CollectedBlocks blocks_;
  SchematicExtras extras_;
};

}  // namespace kubic
