#include "store/dense_cells.h"

#include <algorithm>

namespace kubic {

namespace {

constexpr int64_t kTile = 64;

}  // namespace

void place_planes(const uint16_t* planes, const Extent& size, int64_t y0, int64_t count, uint16_t* cells,
                  const Extent& cells_size, const Extent& offset, bool skip_zero, AxisOrder layout) {
  const auto [sx, sy, sz] = size;
  if (layout == AxisOrder::YZX) {
    // Rows of x lie in a row in the cells too.
    for (int64_t y = 0; y < count; ++y) {
      for (int64_t z = 0; z < sz; ++z) {
        const uint16_t* from = planes + (y * sz + z) * sx;
        uint16_t* to = cells + cell_index(cells_size, layout, offset[0], y0 + y + offset[1], z + offset[2]);
        for (int64_t x = 0; x < sx; ++x) {
          if (from[x] || !skip_zero) to[x] = from[x];
        }
      }
    }
    return;
  }
  const int64_t plane_size = sx * sz, cy = cells_size[1], cz = cells_size[2];
  auto row_of = [&](int64_t x, int64_t y) { return cells + ((x + offset[0]) * cy + y0 + y + offset[1]) * cz + offset[2]; };
  // Eight rows of x at a time, as gather_planes reads them.
  constexpr int64_t kRows = 8;
  int64_t x0 = 0;
  for (; x0 + kRows <= sx; x0 += kRows) {
    for (int64_t y = 0; y < count; ++y) {
      uint16_t* rows[kRows];
      for (int64_t k = 0; k < kRows; ++k) rows[k] = row_of(x0 + k, y);
      const uint16_t* plane = planes + y * plane_size + x0;
      for (int64_t z = 0; z < sz; ++z) {
        for (int64_t k = 0; k < kRows; ++k) {
          const uint16_t cell = plane[z * sx + k];
          if (cell || !skip_zero) rows[k][z] = cell;
        }
      }
    }
  }
  for (; x0 < sx; ++x0) {
    for (int64_t y = 0; y < count; ++y) {
      uint16_t* row = row_of(x0, y);
      for (int64_t z = 0; z < sz; ++z) {
        const uint16_t cell = planes[y * plane_size + z * sx + x0];
        if (cell || !skip_zero) row[z] = cell;
      }
    }
  }
}

void place_file_order(const uint16_t* file_order, const Extent& size, uint16_t* cells, const Extent& cells_size,
                      const Extent& offset, bool skip_zero) {
  const int64_t plane_size = size[0] * size[2];
  for (int64_t y = 0; y < size[1]; y += kPlanesAtOnce) {
    place_planes(file_order + y * plane_size, size, y, std::min(kPlanesAtOnce, size[1] - y), cells, cells_size, offset,
                 skip_zero, AxisOrder::XYZ);
  }
}

void gather_planes(const uint16_t* cells, const Extent& size, int64_t y0, int64_t count, uint16_t* planes,
                   AxisOrder layout) {
  const auto [sx, sy, sz] = size;
  const int64_t plane_size = sx * sz;
  if (layout == AxisOrder::YZX) return std::copy_n(cells + y0 * plane_size, count * plane_size, planes), void();
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

void fill_walk_run_across(uint16_t* cells, const Extent& size, AxisOrder layout, AxisOrder order, uint64_t start,
                          uint64_t count, uint16_t value) {
  Extent stride;
  const auto [cells_outer, cells_middle, cells_inner] = axes_of(layout);
  stride[size_t(cells_inner)] = 1;
  stride[size_t(cells_middle)] = size[size_t(cells_inner)];
  stride[size_t(cells_outer)] = size[size_t(cells_inner)] * size[size_t(cells_middle)];
  const auto [outer, middle, inner] = axes_of(order);
  const uint64_t inner_size = uint64_t(size[inner]), middle_size = uint64_t(size[middle]);
  uint64_t in = start % inner_size, mid = start / inner_size % middle_size, out = start / inner_size / middle_size;
  // A row of the walk's inner axis at a time: a straight run when it is
  // the cells' inner axis too.
  while (count > 0) {
    const uint64_t length = std::min(count, inner_size - in);
    uint16_t* row = cells + out * uint64_t(stride[outer]) + mid * uint64_t(stride[middle]);
    if (inner == cells_inner) {
      std::fill_n(row + in, length, value);
    } else {
      for (uint64_t k = in; k < in + length; ++k) row[k * uint64_t(stride[inner])] = value;
    }
    count -= length;
    in = 0;
    if (++mid == middle_size) mid = 0, ++out;
  }
}

FirstMetNumbers::FirstMetNumbers(size_t limit) : numbers_(size_t(UINT16_MAX) + 1, kOutside) {
  std::fill_n(numbers_.begin(), std::min(limit, numbers_.size()), kUnmet);
}

}  // namespace kubic
