#include "store/xyz_scanner.h"

#include <algorithm>
#include <tuple>

namespace kubic {

XyzScanner::XyzScanner(const PagedBlockStore& store) {
  const Boundary& b = store.boundary();
  volume_ = b.volume();
  for (int a = 0; a < 3; ++a) {
    min_[a] = b.min_of(a);
    size_[a] = volume_ ? b.size_of(a) : 0;
    max_[a] = min_[a] + size_[a] - 1;
    bits_[a] = store.page_bits(a);
    page_size_[a] = int32_t(store.page_size(a));
  }
  for (const auto& [px, py, pz] : store.page_keys()) pages_.push_back({px, py, pz, store.page_at(px, py, pz)});
  std::sort(pages_.begin(), pages_.end(), [](const PageEntry& a, const PageEntry& b) {
    return std::tie(a.px, a.py, a.pz) < std::tie(b.px, b.py, b.pz);
  });
  turned_offset_.assign(pages_.size(), -1);
}

void XyzScanner::turn_slab(Entries begin, Entries end) const {
  const auto first = size_t(begin - pages_.begin());
  if (turned_end_ > turned_first_ && first == turned_first_) return;
  std::fill(turned_offset_.begin() + ptrdiff_t(turned_first_), turned_offset_.begin() + ptrdiff_t(turned_end_), -1);
  turned_first_ = first, turned_end_ = size_t(end - pages_.begin());
  const size_t sx = size_t(page_size_[0]), sy = size_t(page_size_[1]), sz = size_t(page_size_[2]);
  const size_t page_cells = sx * sy * sz;
  const auto dense = size_t(std::count_if(begin, end, [](const PageEntry& e) { return e.page->dense(); }));
  if (dense * page_cells * sizeof(uint16_t) > kMaxTurnedBytes) return;
  turned_.resize(dense * page_cells);
  int64_t offset = 0;
  for (auto entry = begin; entry != end; ++entry) {
    const uint16_t* cells = entry->page->dense_cells();
    if (!cells) continue;
    turned_offset_[size_t(entry - pages_.begin())] = offset;
    uint16_t* out = turned_.data() + offset;
    // Plane by plane of y, eight rows of x read at a time and written as
    // runs of eight z.
    constexpr size_t kRows = 8;
    for (size_t y = 0; y < sy; ++y) {
      for (size_t z0 = 0; z0 < sz; z0 += kRows) {
        const size_t z1 = std::min(z0 + kRows, sz);
        for (size_t x = 0; x < sx; ++x) {
          for (size_t z = z0; z < z1; ++z) out[(x * sy + y) * sz + z] = cells[x + sx * (y + sy * z)];
        }
      }
    }
    offset += int64_t(page_cells);
  }
}

int64_t XyzScanner::next_occupied_x(Entries begin, Entries end, int64_t x, int64_t x_last) const {
  const int64_t base = x - local(0, x);
  int64_t next = x_last + 1;
  for (auto entry = begin; entry != end; ++entry) {
    const ArrayPage& page = *entry->page;
    if (page.dense()) return x;
    auto* cell = page.sparse_from(local(0, x), 0, 0);
    if (cell == page.sparse_end()) continue;
    uint32_t cx, cy, cz;
    page.local_of(cell->key, cx, cy, cz);
    next = std::min<int64_t>(next, base + cx);
    if (next == x) break;
  }
  return next;
}

int64_t XyzScanner::next_occupied_y(Entries begin, Entries end, int64_t x, int64_t y, int64_t y_last) const {
  if (y > y_last) return y;
  const int64_t base = y - local(1, y);
  int64_t next = y_last + 1;
  for (auto entry = begin; entry != end; ++entry) {
    const ArrayPage& page = *entry->page;
    if (page.dense()) return y;
    auto* cell = page.sparse_from(local(0, x), local(1, y), 0);
    if (cell == page.sparse_end()) continue;
    uint32_t cx, cy, cz;
    page.local_of(cell->key, cx, cy, cz);
    if (cx != local(0, x)) continue;
    next = std::min<int64_t>(next, base + cy);
    if (next == y) break;
  }
  return next;
}

}  // namespace kubic
