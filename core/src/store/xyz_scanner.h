#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "store/paged_block_store.h"

namespace kubic {

// Visits the stored cells of a paged store in XYZ order of its boundary (x
// slowest, z fastest), touching only pages that exist: a huge, mostly empty
// box costs what it holds, not what it declares. Build it once the store is
// filled; later pages are not seen.
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
  struct Column {
    int32_t py;
    std::vector<int32_t> pzs;  // ascending
  };

  const PagedBlockStore& store_;
  std::map<int32_t, std::vector<Column>> columns_;  // by px, columns by ascending py
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
  while (x <= max_[0]) {
    int32_t px = int32_t(x) >> bits_[0];
    auto it = columns_.lower_bound(px);
    if (it == columns_.end()) return volume_;
    if (it->first != px) {
      x = std::max<int64_t>(x + 1, int64_t(it->first) << bits_[0]);
      y_first = min_[1];
      z_first = min_[2];
      continue;
    }
    for (const Column& column : it->second) {
      int64_t y_begin = std::max<int64_t>(y_first, int64_t(column.py) << bits_[1]);
      int64_t y_end = std::min<int64_t>(max_[1], ((int64_t(column.py) + 1) << bits_[1]) - 1);
      for (int64_t y = y_begin; y <= y_end; ++y) {
        int64_t z_from = (y == y_first) ? z_first : min_[2];
        for (int32_t pz : column.pzs) {
          int64_t z_begin = std::max<int64_t>(z_from, int64_t(pz) << bits_[2]);
          int64_t z_end = std::min<int64_t>(max_[2], ((int64_t(pz) + 1) << bits_[2]) - 1);
          if (z_begin > z_end) continue;
          const ArrayPage* page = store_.page_at(px, column.py, pz);
          int32_t row = int32_t(x & (page_size_[0] - 1)) +
                        page_size_[0] * (int32_t(y & (page_size_[1] - 1)) +
                                         page_size_[1] * int32_t(z_begin & (page_size_[2] - 1)));
          const int32_t stride = page_size_[0] * page_size_[1];
          for (int64_t z = z_begin; z <= z_end; ++z, row += stride) {
            uint16_t cell = page->cell(row);
            if (cell == 0) continue;
            Volume index = Volume(x - min_[0]) * plane + Volume((y - min_[1]) * size_[2] + (z - min_[2]));
            if (!visit(BlockPosition{int32_t(x), int32_t(y), int32_t(z)}, uint16_t(cell - 1), index)) {
              return index + 1;
            }
          }
        }
      }
    }
    ++x;
    y_first = min_[1];
    z_first = min_[2];
  }
  return volume_;
}

}  // namespace kubic
