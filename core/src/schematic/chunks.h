#pragma once

#include <array>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "blocks/canonical_state.h"
#include "blocks/state_palette.h"
#include "stream/schematic_stream.h"

namespace kubic {

// One chunk of a box: its minimum corner in the file's coordinates and its
// size (smaller than the chunk shape at the box's far edges).
struct ChunkPlace {
  std::array<int64_t, 3> origin{};
  std::array<int64_t, 3> size{};
};

// Walks the chunks of a schematic that hold blocks, in x, y, z order, for
// files too large to hold: one slab of `shape[0]` positions along x over
// the whole y-z plane is held at a time, beside what the reader holds.
class ChunkReader {
 public:
  // Reads the reader's header; `shape` must be positive on every axis.
  // Fails when a slab would pass the slab limit.
  static Result<std::unique_ptr<ChunkReader>> open(std::unique_ptr<SchematicInputStream> reader,
                                                    const std::array<int64_t, 3>& shape);

  // The next chunk that holds blocks, or nothing at the end.
  Result<std::optional<ChunkPlace>> next();
  // Copies the cells of the chunk next() just gave, XYZ, into `out`.
  void copy_cells(const ChunkPlace& chunk, uint16_t* out) const;
  // The canonical states the cells index so far (it grows as new states
  // appear; states spelled two ways share an entry).
  const std::vector<StateRef>& palette() const { return palette_.states(); }

 private:
  ChunkReader(std::unique_ptr<SchematicInputStream> reader, const Boundary& box, const std::array<int64_t, 3>& shape)
      : reader_(std::move(reader)), box_(box), shape_(shape) {}
  Result<std::optional<Block>> next_block();
  // Fills the slab that holds the next block; false at the end.
  Result<bool> fill_slab();
  ChunkPlace place_of(int64_t number) const;

  std::unique_ptr<SchematicInputStream> reader_;
  Boundary box_;
  std::array<int64_t, 3> shape_;
  std::deque<Block> pending_;  // read but past the current slab
  bool ended_ = false;
  std::vector<uint16_t> slab_;
  int64_t slab_x_ = 0;      // first x of the slab in the box
  int64_t slab_width_ = 0;  // positions along x
  int64_t next_chunk_ = 0;  // of the slab's chunks, in y, z order
  int64_t slab_chunks_ = 0;
  std::vector<bool> occupied_;  // per chunk of the slab
  StatePalette palette_;
  CanonicalStates canonical_;
  uint16_t fill_ = 0;
};

}  // namespace kubic
