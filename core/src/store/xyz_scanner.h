#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "store/paged_block_store.h"

namespace kubic {

// Visits the stored cells of a paged store in XYZ order of its boundary (x
// slowest, z fastest), touching only pages that exist and, in sparse pages,
// only the rows that hold cells: a huge, mostly empty box costs what it
// holds, not what it declares. Build it once the store is filled; later
// pages are not seen.
class XyzScanner {
 public:
  explicit XyzScanner(const PagedBlockStore& store);

  // Visits stored cells from linear index `from` on, calling
  // visit(position, palette_id, index) until it returns false. Returns the
  // index after the last cell visited, or the volume when the walk ended.
  template <typename Visit>
  Volume scan(Volume from, Visit&& visit) const;

  Volume volume() const { return volume_; }

 private:
  struct PageEntry {
    int32_t px, py, pz;
    const ArrayPage* page;
  };
  using Entries = std::vector<PageEntry>::const_iterator;

  // The first x from `x` to `x_last` at which a page of the slice holds a
  // cell; x_last + 1 when none does.
  int64_t next_occupied_x(Entries begin, Entries end, int64_t x, int64_t x_last) const;
  // Likewise for rows y of one column of pages at x.
  int64_t next_occupied_y(Entries begin, Entries end, int64_t x, int64_t y, int64_t y_last) const;
  uint32_t local(int axis, int64_t coordinate) const { return uint32_t(coordinate) & uint32_t(page_size_[axis] - 1); }
  // Dense pages lay x fastest, so an XYZ walk through them would miss the
  // cache on every cell: the dense pages of the slab of x being walked are
  // kept turned, z fastest, while they fit in kMaxTurnedBytes.
  void turn_slab(Entries begin, Entries end) const;
  // The turned cells of a page of the current slab ([x][y][z] locally), or
  // null.
  const uint16_t* turned(Entries entry) const {
    const int64_t offset = turned_offset_[size_t(entry - pages_.begin())];
    return offset < 0 ? nullptr : turned_.data() + offset;
  }
  static constexpr size_t kMaxTurnedBytes = size_t(16) << 20;

  std::vector<PageEntry> pages_;  // sorted by px, py, pz
  mutable std::vector<uint16_t> turned_;
  mutable std::vector<int64_t> turned_offset_;  // by entry, -1 when not turned
  mutable size_t turned_first_ = 0, turned_end_ = 0;  // the entries turned_ holds
  int64_t min_[3], max_[3], size_[3];
  uint32_t bits_[3];
  int32_t page_size_[3];
  Volume volume_;
};

template <typename Visit>
Volume XyzScanner::scan(Volume from, Visit&& visit) const {
  if (from >= volume_) return volume_;
  const Volume plane = Volume(size_[1]) * Volume(size_[2]);
  int64_t x = min_[0] + int64_t(from / plane);
  int64_t y_first = min_[1] + int64_t(from / Volume(size_[2]) % Volume(size_[1]));
  int64_t z_first = min_[2] + int64_t(from % Volume(size_[2]));
  Volume stopped_after = 0;
  // Visits one cell; false (with stopped_after set) when the walk stops.
  // `row` is the index of the row's first position, worked out once a row.
  auto emit = [&](int64_t y, int64_t z, uint16_t cell, Volume row) {
    const Volume index = row + Volume(z - min_[2]);
    if (visit(BlockPosition{int32_t(x), int32_t(y), int32_t(z)}, uint16_t(cell - 1), index)) return true;
    stopped_after = index + 1;
    return false;
  };
  auto visit_row = [&](Entries entry, int64_t y, int64_t z_begin, int64_t z_end) {
    const ArrayPage& page = *entry->page;
    const Volume row_index = Volume(x - min_[0]) * plane + Volume((y - min_[1]) * size_[2]);
    uint32_t lx = local(0, x), ly = local(1, y);
    if (const uint16_t* cells = turned(entry)) {
      const uint16_t* row = cells + (size_t(lx) * size_t(page_size_[1]) + ly) * size_t(page_size_[2]);
      const int64_t z_base = z_begin - local(2, z_begin);
      for (int64_t z = z_begin; z <= z_end; ++z) {
        uint16_t cell = row[z - z_base];
        if (cell != 0 && !emit(y, z, cell, row_index)) return false;
      }
      return true;
    }
    if (const uint16_t* cells = page.dense_cells()) {
      int32_t row = page.index_of(lx, ly, local(2, z_begin));
      const int32_t stride = page_size_[0] * page_size_[1];
      for (int64_t z = z_begin; z <= z_end; ++z, row += stride) {
        uint16_t cell = cells[row];
        if (cell != 0 && !emit(y, z, cell, row_index)) return false;
      }
      return true;
    }
    const int64_t z_base = z_begin - local(2, z_begin);
    for (auto* cell = page.sparse_from(lx, ly, local(2, z_begin)); cell != page.sparse_end(); ++cell) {
      uint32_t cx, cy, cz;
      page.local_of(cell->key, cx, cy, cz);
      if (cx != lx || cy != ly || z_base + cz > z_end) break;
      if (!emit(y, z_base + cz, cell->value, row_index)) return false;
    }
    return true;
  };
  while (x <= max_[0]) {
    const int32_t px = int32_t(x) >> bits_[0];
    auto slice_begin = std::lower_bound(pages_.begin(), pages_.end(), px,
                                        [](const PageEntry& e, int32_t p) { return e.px < p; });
    if (slice_begin == pages_.end()) return volume_;
    if (slice_begin->px != px) {
      x = std::max<int64_t>(x + 1, int64_t(slice_begin->px) << bits_[0]);
      y_first = min_[1];
      z_first = min_[2];
      continue;
    }
    auto slice_end = std::find_if(slice_begin, pages_.end(), [&](const PageEntry& e) { return e.px != px; });
    turn_slab(slice_begin, slice_end);
    const int64_t x_last = std::min<int64_t>(max_[0], ((int64_t(px) + 1) << bits_[0]) - 1);
    if (int64_t next = next_occupied_x(slice_begin, slice_end, x, x_last); next != x) {
      x = next;
      y_first = min_[1];
      z_first = min_[2];
      continue;
    }
    for (auto column = slice_begin; column != slice_end;) {
      auto column_end = std::find_if(column, slice_end, [&](const PageEntry& e) { return e.py != column->py; });
      const int64_t y_begin = std::max<int64_t>(y_first, int64_t(column->py) << bits_[1]);
      const int64_t y_last = std::min<int64_t>(max_[1], ((int64_t(column->py) + 1) << bits_[1]) - 1);
      for (int64_t y = next_occupied_y(column, column_end, x, y_begin, y_last); y <= y_last;
           y = next_occupied_y(column, column_end, x, y + 1, y_last)) {
        const int64_t z_from = (y == y_first) ? z_first : min_[2];
        for (auto entry = column; entry != column_end; ++entry) {
          const int64_t z_begin = std::max<int64_t>(z_from, int64_t(entry->pz) << bits_[2]);
          const int64_t z_end = std::min<int64_t>(max_[2], ((int64_t(entry->pz) + 1) << bits_[2]) - 1);
          if (z_begin <= z_end && !visit_row(entry, y, z_begin, z_end)) return stopped_after;
        }
      }
      column = column_end;
    }
    ++x;
    y_first = min_[1];
    z_first = min_[2];
  }
  return volume_;
}

}  // namespace kubic
