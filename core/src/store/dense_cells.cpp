#include "store/dense_cells.h"

#include <algorithm>

namespace kubic {

namespace {

constexpr int64_t kTile = 64;

}  // namespace

void place_file_order(const uint16_t* file_order, const Extent& size, uint16_t* cells, const Extent& cells_size,
                      const Extent& offset, bool skip_zero) {
  const int64_t sx = size[0], sz = size[2], cy = cells_size[1], cz = cells_size[2];
  for_each_in_tiles(size, [&](int64_t x, int64_t y, int64_t z) {
    const uint16_t cell = file_order[(y * sz + z) * sx + x];
    if (cell || !skip_zero) cells[((x + offset[0]) * cy + y + offset[1]) * cz + z + offset[2]] = cell;
  });
}

void gather_plane(const uint16_t* cells, const Extent& size, int64_t y, uint16_t* plane) {
  const auto [sx, sy, sz] = size;
  // Eight rows of z at a time, so that each z writes eight neighbouring
  // x at once while the eight rows are read straight through.
  constexpr int64_t kRows = 8;
  int64_t x0 = 0;
  for (; x0 + kRows <= sx; x0 += kRows) {
    const uint16_t* rows[kRows];
    for (int64_t k = 0; k < kRows; ++k) rows[k] = cells + ((x0 + k) * sy + y) * sz;
    for (int64_t z = 0; z < sz; ++z) {
      uint16_t* out = plane + z * sx + x0;
      for (int64_t k = 0; k < kRows; ++k) out[k] = rows[k][z];
    }
  }
  for (; x0 < sx; ++x0) {
    const uint16_t* row = cells + (x0 * sy + y) * sz;
    for (int64_t z = 0; z < sz; ++z) plane[z * sx + x0] = row[z];
  }
}

void gather_file_order(const uint16_t* cells, const Extent& size, uint16_t* file_order) {
  const auto [sx, sy, sz] = size;
  for (int64_t y = 0; y < sy; ++y) gather_plane(cells, size, y, file_order + y * sz * sx);
}

FirstMetNumbers::FirstMetNumbers(size_t limit) : numbers_(size_t(UINT16_MAX) + 1, kOutside) {
  std::fill_n(numbers_.begin(), std::min(limit, numbers_.size()), kUnmet);
}

}  // namespace kubic
