#include "schematic/chunks.h"

#include <algorithm>

#include "common/interrupt.h"

namespace kubic {

namespace {

// A slab holds shape[0] positions along x over the whole y-z plane.
constexpr Volume kMaxSlabCells = Volume(1) << 28;

int64_t chunks_along(int64_t length, int64_t shape) { return (length + shape - 1) / shape; }

}  // namespace

Result<std::unique_ptr<ChunkReader>> ChunkReader::open(std::unique_ptr<SchematicInputStream> reader,
                                                       const std::array<int64_t, 3>& shape) {
  reader->keep_listed_air();
  auto declared = reader->boundary();
  if (!declared.ok()) return declared.status();
  auto extras = reader->extras();
  if (!extras.ok()) return extras.status();
  const Boundary box = declared->value_or(Boundary());
  if (Volume(uint64_t(shape[0])) * Volume(uint64_t(std::max(box.d_y, 0))) * Volume(uint64_t(std::max(box.d_z, 0))) >
      kMaxSlabCells) {
    return Status::Error("a slab of this box is too large: choose a smaller chunk along x", ErrorKind::TooLarge);
  }
  std::unique_ptr<ChunkReader> chunks(new ChunkReader(std::move(reader), box, shape));
  if (extras->fill) {
    auto fill = chunks->palette_.index_of(canonical_state(extras->fill));
    if (!fill.ok()) return fill.status();
    chunks->fill_ = *fill;
  }
  return chunks;
}

Result<std::optional<Block>> ChunkReader::next_block() {
  while (pending_.empty() && !ended_) {
    KUBIC_RETURN_IF_ERROR(check_interrupt());
    std::vector<Block> batch;
    auto outcome = reader_->read(batch, kBatchSize);
    if (!outcome.ok()) return outcome.status();
    if (!outcome->has_more) ended_ = true;
    for (Block& block : batch) pending_.push_back(std::move(block));
  }
  if (pending_.empty()) return std::optional<Block>();
  Block block = std::move(pending_.front());
  pending_.pop_front();
  return std::optional<Block>(std::move(block));
}

namespace {

Status outside(const BlockPosition& position) {
  return Status::Error("a block at " + position.debug_string() + " lies outside the box");
}

}  // namespace

Result<bool> ChunkReader::fill_slab() {
  auto first = next_block();
  if (!first.ok()) return first.status();
  if (!*first) return false;
  pending_.push_front(std::move(**first));
  const int64_t sy = box_.d_y, sz = box_.d_z, cx = shape_[0];
  // Empty stretches along x are skipped, not walked.
  const auto first_offset = box_.offset_of(pending_.front().position);
  if (!first_offset) return outside(pending_.front().position);
  slab_x_ = (*first_offset)[0] / cx * cx;
  slab_width_ = std::min<int64_t>(cx, box_.d_x - slab_x_);
  slab_.assign(size_t(slab_width_ * sy * sz), fill_);
  const int64_t per_z = chunks_along(sz, shape_[2]);
  slab_chunks_ = chunks_along(sy, shape_[1]) * per_z;
  occupied_.assign(size_t(slab_chunks_), fill_ != 0);
  next_chunk_ = 0;
  while (true) {
    auto block = next_block();
    if (!block.ok()) return block.status();
    if (!*block) break;
    const auto offset = box_.offset_of((*block)->position);
    if (!offset) return outside((*block)->position);
    const int64_t x = (*offset)[0] - slab_x_, y = (*offset)[1], z = (*offset)[2];
    if (x >= slab_width_ || x < 0) {
      pending_.push_front(std::move(**block));
      break;
    }
    auto id = palette_.index_of(canonical_.of((*block)->state));
    if (!id.ok()) return id.status();
    slab_[size_t((x * sy + y) * sz + z)] = *id;
    if (*id != 0) occupied_[size_t(y / shape_[1] * per_z + z / shape_[2])] = true;
  }
  return true;
}

ChunkPlace ChunkReader::place_of(int64_t number) const {
  const int64_t per_z = chunks_along(box_.d_z, shape_[2]);
  const int64_t y0 = number / per_z * shape_[1], z0 = number % per_z * shape_[2];
  return {{box_.min_x + slab_x_, box_.min_y + y0, box_.min_z + z0},
          {slab_width_, std::min(shape_[1], int64_t(box_.d_y) - y0), std::min(shape_[2], int64_t(box_.d_z) - z0)}};
}

Result<std::optional<ChunkPlace>> ChunkReader::next() {
  while (true) {
    while (next_chunk_ < slab_chunks_) {
      const int64_t number = next_chunk_++;
      if (occupied_[size_t(number)]) return std::optional<ChunkPlace>(place_of(number));
    }
    auto more = fill_slab();
    if (!more.ok()) return more.status();
    if (!*more) return std::optional<ChunkPlace>();
  }
}

void ChunkReader::copy_cells(const ChunkPlace& chunk, uint16_t* out) const {
  const int64_t sy = box_.d_y, sz = box_.d_z;
  const int64_t y0 = chunk.origin[1] - box_.min_y, z0 = chunk.origin[2] - box_.min_z;
  for (int64_t x = 0; x < chunk.size[0]; ++x) {
    for (int64_t y = 0; y < chunk.size[1]; ++y) {
      const uint16_t* row = slab_.data() + size_t((x * sy + y0 + y) * sz + z0);
      std::copy(row, row + chunk.size[2], out + (x * chunk.size[1] + y) * chunk.size[2]);
    }
  }
}

}  // namespace kubic
