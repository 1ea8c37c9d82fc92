#pragma once

#include <array>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "nbt/nbt_stream_parser.h"
#include "stream/schematic_stream.h"

namespace kubic {

// Reads a Bedrock .mcstructure file (little-endian NBT): its two layers of
// palette indices (-1: no block, a structure void), the palette's Bedrock
// states as Java 1.21.1 states (water in the second layer waterlogs the
// block in the first), block entities and entities translated, the origin.
// The whole document is read at the first question; blocks come out in
// XYZ order. Failures say "Bedrock: ...".
class MCStructureInputStream final : public SchematicInputStream {
 public:
  explicit MCStructureInputStream(std::unique_ptr<ByteSource> document);

  Result<ReadOutcome> read(std::vector<Block>& out, size_t max) override;
  Result<std::optional<Boundary>> boundary() override;
  Result<SchematicExtras> extras() override;
  void keep_listed_air() override { keep_air_ = true; }
  void as_candidate() override { candidate_ = true; }
  bool reads_dense() const override { return !blocks_read_; }
  Status read_dense(const DenseAllocator& allocate, std::vector<StateRef>& palette, AxisOrder layout) override;

 private:
  Status ensure_read();
  Status read_document();
  Status read_root_entry();
  Status read_structure();
  Status read_layers();
  Status read_triple(std::optional<std::array<int32_t, 3>>& out);
  Status check_document();
  Status resolve_palette();
  // The Java state of a position's two layer entries.
  StateRef state_of(int32_t block, int32_t liquid);
  // Says how many second-layer blocks Java could not hold, once read.
  void note_lost_liquids();
  Status error(const std::string& what) const;

  NbtStreamParser parser_;
  NbtEvent event_;
  bool candidate_ = false;
  bool keep_air_ = false;
  bool read_ = false;
  bool blocks_read_ = false;
  Status read_status_;
  std::optional<int32_t> format_version_;
  std::optional<std::array<int32_t, 3>> size_;
  std::optional<std::array<int32_t, 3>> origin_;
  // The two layers of block_indices, each index held plus one (so that -1,
  // nothing, is 0) in half the memory of the file's Ints.
  using Layer = std::vector<uint16_t>;
  static int32_t index_at(const Layer& layer, size_t cell) { return int32_t(layer[cell]) - 1; }
  Status read_layer(Layer& layer);
  std::vector<Layer> layers_;
  bool layers_seen_ = false;
  std::optional<Tag> palette_;
  Tag entities_;
  // Per Bedrock palette entry: its Java state, and whether it is water.
  std::vector<StateRef> java_;
  std::vector<bool> water_;
  // Per pair of layer entries: the state, and whether the second is lost.
  struct Pair {
    StateRef state;
    bool loses_liquid = false;
  };
  std::unordered_map<uint64_t, Pair> pairs_;
  uint64_t layer_lost_ = 0;
  size_t next_cell_ = 0;
  SchematicExtras extras_;
};

}  // namespace kubic
