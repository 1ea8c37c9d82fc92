#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "blocks/bedrock_blocks.h"
#include "io/byte_stream.h"
#include "stream/collected_blocks.h"
#include "stream/schematic_stream.h"

namespace kubic {

// Writes a Bedrock .mcstructure file (little-endian NBT, uncompressed): the
// blocks as Bedrock 1.21.0 states through Java 1.21.1 (states of another
// game version converted first), waterlogged blocks with water in the
// second layer, structure voids as -1, block entities and entities
// translated and placed in the world by the origin. A state with no Bedrock
// equivalent is written as air and noted, or fails the save when refused.
class MCStructureOutputStream final : public SchematicOutputStream {
 public:
  // With a box, the structure is exactly that box; without, the box grown
  // around the blocks.
  MCStructureOutputStream(std::unique_ptr<ByteSink> sink, std::optional<Boundary> box, bool refuse_missing);

  Status write(std::span<const Block> blocks) override;
  Status complete() override;
  Status set_extras(SchematicExtras extras) override;
  bool holds_block_entities_outside() const override { return false; }
  std::vector<std::string> take_notes() override { return std::move(notes_); }

 private:
  // A block's two layer entries: its Bedrock state and its water, -1 for none.
  struct Layers {
    int32_t block;
    int32_t liquid;
  };
  Result<Layers> layers_of(const StateRef& state);
  int32_t palette_index(const BedrockState& state);
  Status serialize();

  std::unique_ptr<ByteSink> sink_;
  CollectedBlocks blocks_;
  bool refuse_missing_;
  SchematicExtras extras_;
  std::vector<BedrockState> palette_;
  std::unordered_map<std::string, int32_t> palette_index_;
  std::unordered_map<StateRef, Layers, StateRefHash> layers_;
  std::map<std::string, uint64_t> missing_;  // Java states without a Bedrock one, with their blocks
  int source_table_ = -1;
  std::vector<std::string> notes_;
};

}  // namespace kubic
