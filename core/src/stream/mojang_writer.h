#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "io/byte_stream.h"
#include "nbt/nbt_writer.h"
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
class MojangSchematicOutputStream final : public SchematicOutputStream {
 public:
  static constexpr int32_t kDataVersion = 3465;

  // With a box, the structure is exactly that box (positions counted from
  // its minimum corner); without, the box grown around the blocks.
  explicit MojangSchematicOutputStream(std::unique_ptr<ByteSink> writer, std::optional<Boundary> box = std::nullopt);

  Status write(std::span<const Block> blocks) override;
  Status complete() override;
  // Block entities go into their entries' "nbt", entities into "entities";
  // a structure-void fill leaves unwritten positions unlisted.
  Status set_extras(SchematicExtras extras) override;
  uint32_t palette_idx_from_state(const StateRef& state);

 private:
  Status serialize(uint32_t air_index);
  // The palette index listed at a position, or none for a void.
  uint32_t listed_index(const BlockPosition& position, uint32_t air_index) const;
  void write_entities(NbtWriter& nbt, const BlockPosition& min);

  std::unique_ptr<ByteSink> writer_;
  std::vector<PaletteEntry> palette_;
  std::unordered_map<StateRef, uint32_t, StateRefHash> palette_index_;
  std::unordered_map<BlockPosition, uint32_t, BlockPositionHash> blocks_;
  Boundary bounds_;
  std::optional<Boundary> box_;
  SchematicExtras extras_;
  std::unordered_map<BlockPosition, const Compound*, BlockPositionHash> block_entities_;
};

}  // namespace kubic
