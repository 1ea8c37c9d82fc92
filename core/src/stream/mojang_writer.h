#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "io/byte_stream.h"
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
// of the box grown around them, empty ones as plain air, streaming the
// document straight into the sink.
class MojangSchematicOutputStream final : public SchematicOutputStream {
 public:
  static constexpr int32_t kDataVersion = 3465;

  explicit MojangSchematicOutputStream(std::unique_ptr<ByteSink> writer);

  Status write(std::span<const Block> blocks) override;
  Status complete() override;
  uint32_t palette_idx_from_state(const StateRef& state);

 private:
  Status serialize(uint32_t air_index);

  std::unique_ptr<ByteSink> writer_;
  std::vector<PaletteEntry> palette_;
  std::unordered_map<StateRef, uint32_t, StateRefHash> palette_index_;
  std::unordered_map<BlockPosition, uint32_t, BlockPositionHash> blocks_;
  Boundary bounds_;
};

}  // namespace kubic
