#include "store/xyz_scanner.h"

#include <algorithm>

namespace kubic {

XyzScanner::XyzScanner(const PagedBlockStore& store) : store_(store) {
  const Boundary& b = store.boundary();
  volume_ = b.volume();
  for (int a = 0; a < 3; ++a) {
    min_[a] = b.min_of(a);
    size_[a] = volume_ ? b.size_of(a) : 0;
    max_[a] = min_[a] + size_[a] - 1;
    bits_[a] = store.page_bits(a);
    page_size_[a] = int32_t(store.page_size(a));
  }
  auto keys = store.page_keys();
  std::sort(keys.begin(), keys.end());
  for (const auto& [px, py, pz] : keys) {
    auto& columns = columns_[px];
    if (columns.empty() || columns.back().py != py) columns.push_back({py, {}});
    columns.back().pzs.push_back(pz);
  }
}

}  // namespace kubic
