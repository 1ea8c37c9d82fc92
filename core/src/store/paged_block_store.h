#pragma once

#include <algorithm>
#include <array>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "store/block_store.h"
#include "store/paging.h"

namespace kubic {

// A block store that keeps a palette of distinct states and, per position, a
// 16-bit palette id in pages created on first use. Page sizes (8 to 64 per
// axis) follow the boundary given at construction and never change.
class PagedBlockStore final : public BlockStore {
 public:
  // Pages are refused beyond this much cell memory, so that a small file
  // declaring a huge, scattered box cannot exhaust the machine.
  static constexpr uint64_t kMaxPageBytes = uint64_t(8) << 30;
  // Cells hold id + 1 in 16 bits.
  static constexpr size_t kMaxPaletteSize = 65535;

  static std::unique_ptr<PagedBlockStore> new_for_boundary(const Boundary& boundary);
  static std::unique_ptr<PagedBlockStore> new_for_fixed_boundary(const Boundary& boundary);

  Result<std::optional<StateRef>> block_at(const BlockPosition& position) const override;
  Status set_block_at(const BlockPosition& position, StateRef state) override;
  Status remove_block_at(const BlockPosition& position) override;
  const Boundary& boundary() const override { return boundary_; }
  void set_boundary(const Boundary& boundary) override { boundary_ = boundary; }
  bool resizable() const override { return !fixed_; }

  // The palette id stored at a position inside the boundary, or nothing.
  std::optional<uint16_t> palette_id_at(const BlockPosition& position) const;
  const std::vector<StateRef>& palette() const { return palette_; }
  uint32_t page_size(int axis) const { return page_size_[axis]; }
  uint32_t page_bits(int axis) const { return page_bits_[axis]; }
  // Calls visit(cell) for every position of the boundary in YZX order (x
  // fastest, then z, then y): 0 for no block, palette id + 1 otherwise.
  // Reads page rows directly; positions in missing pages give 0.
  template <typename Visit>
  void for_each_yzx_cell(Visit&& visit) const;
  // The same for the positions of plane `y` alone (x fastest, then z).
  template <typename Visit>
  void for_each_zx_cell(int32_t y, Visit&& visit) const;
  // Stores a palette id already in the palette; for callers that looked
  // the state up once for many positions.
  Status set_palette_id_at(const BlockPosition& position, uint16_t id);
  // The same for a row of positions from `start` along x: cells are a
  // palette id + 1, 0 leaving the position as it is. Dense pages take the
  // row straight into their cells.
  Status set_row(const BlockPosition& start, std::span<const uint16_t> cells);
  // The palette id of a state, entering it if new.
  Result<uint16_t> intern(StateRef state) { return palette_id_for(std::move(state)); }
  // The page with these page coordinates, or null.
  const ArrayPage* page_at(int32_t px, int32_t py, int32_t pz) const;
  // Page coordinates of every page, in no particular order.
  std::vector<std::array<int32_t, 3>> page_keys() const;

 private:
  struct PageKey {
    int32_t x, y, z;
    bool operator==(const PageKey&) const = default;
  };
  struct PageKeyHash {
    size_t operator()(const PageKey& k) const {
      return BlockPositionHash()(BlockPosition{k.x, k.y, k.z});
    }
  };

  explicit PagedBlockStore(const Boundary& boundary);
  PageKey page_key(const BlockPosition& p) const;
  void local(const BlockPosition& p, uint32_t& x, uint32_t& y, uint32_t& z) const;
  ArrayPage* find_page(const BlockPosition& p) const;
  Status store_in_page(ArrayPage& page, const BlockPosition& position, uint16_t id);
  Result<uint16_t> palette_id_for(StateRef state);

  std::vector<StateRef> palette_;
  std::unordered_map<StateRef, uint16_t, StateRefHash> palette_index_;
  std::unordered_map<PageKey, std::unique_ptr<ArrayPage>, PageKeyHash> pages_;
  uint32_t page_size_[3];
  uint32_t page_bits_[3];
  uint32_t page_mask_[3];
  uint64_t page_bytes_ = 0;
  // Neighbouring positions mostly share a page and a state: remember the
  // last of each to skip the hash lookups.
  mutable PageKey last_key_{};
  mutable ArrayPage* last_page_ = nullptr;
  // Recent states by address (the palette's own objects, alive as long as
  // the store), so that alternating states also skip the hash lookup.
  static constexpr size_t kStateCacheSize = 64;
  struct CachedState {
    const BlockState* state = nullptr;
    uint16_t id = 0;
  };
  CachedState state_cache_[kStateCacheSize];
  Boundary boundary_;
  bool fixed_ = true;
};

template <typename Visit>
void PagedBlockStore::for_each_yzx_cell(Visit&& visit) const {
  if (boundary_.empty()) return;
  for (int64_t y = boundary_.min_y, y_end = y + boundary_.d_y; y < y_end; ++y) for_each_zx_cell(int32_t(y), visit);
}

template <typename Visit>
void PagedBlockStore::for_each_zx_cell(int32_t y, Visit&& visit) const {
  if (boundary_.empty()) return;
  const int64_t x0 = boundary_.min_x, x1 = x0 + boundary_.d_x;
  for (int64_t z = boundary_.min_z, z_end = z + boundary_.d_z; z < z_end; ++z) {
    for (int64_t x = x0; x < x1;) {
      int64_t page_end = std::min<int64_t>(x1, ((x >> page_bits_[0]) + 1) << page_bits_[0]);
      const ArrayPage* page = page_at(int32_t(x) >> page_bits_[0], y >> page_bits_[1], int32_t(z) >> page_bits_[2]);
      if (!page) {
        for (; x < page_end; ++x) visit(uint16_t(0));
        continue;
      }
      int32_t cell = page->index_of(uint32_t(x) & page_mask_[0], uint32_t(y) & page_mask_[1],
                                    uint32_t(z) & page_mask_[2]);
      if (const uint16_t* cells = page->dense_cells()) {
        for (; x < page_end; ++x, ++cell) visit(cells[cell]);
      } else {
        for (; x < page_end; ++x, ++cell) visit(page->cell(cell));
      }
    }
  }
}

}  // namespace kubic
