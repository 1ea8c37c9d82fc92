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

void gather_planes(const uint16_t* cells, const Extent& size, int64_t y0, int64_t count, uint16_t* planes) {
  const auto [sx, sy, sz] = size;
  const int64_t plane_size = sx * sz;
  // Eight rows of x at a time, so that each z writes eight neighbouring x
  // at once; for each x the planes' rows lie one after another in the
  // cells, so the reads run straight through count * sz cells.
  constexpr int64_t kRows = 8;
  int64_t x0 = 0;
  for (; x0 + kRows <= sx; x0 += kRows) {
    for (int64_t y = 0; y < count; ++y) {
      const uint16_t* rows[kRows];
      for (int64_t k = 0; k < kRows; ++k) rows[k] = cells + ((x0 + k) * sy + y0 + y) * sz;
      uint16_t* plane = planes + y * plane_size + x0;
      for (int64_t z = 0; z < sz; ++z) {
        for (int64_t k = 0; k < kRows; ++k) plane[z * sx + k] = rows[k][z];
      }
    }
  }
  for (; x0 < sx; ++x0) {
    for (int64_t y = 0; y < count; ++y) {
      const uint16_t* row = cells + (x0 * sy + y0 + y) * sz;
      for (int64_t z = 0; z < sz; ++z) planes[y * plane_size + z * sx + x0] = row[z];
    }
  }
}

FirstMetNumbers::FirstMetNumbers(size_t limit) : numbers_(size_t(UINT16_MAX) + 1, kOutside) {
  std::fill_n(numbers_.begin(), std::min(limit, numbers_.size()), kUnmet);
}

}  // namespace kubic
