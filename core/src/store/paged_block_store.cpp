#include "store/paged_block_store.h"

#include <bit>

namespace kubic {

namespace {

constexpr size_t kInitialPageCapacity = 1024;

// About eight pages per axis for large boxes, 8-wide pages for small ones.
uint32_t page_size_for(int32_t size) {
  uint32_t t = uint32_t(size / 8);
  if (t < 8) t = 8;
  if (t > 64) t = 64;
  return std::bit_ceil(t);
}

}  // namespace

PagedBlockStore::PagedBlockStore(const Boundary& boundary) : boundary_(boundary) {
  for (int a = 0; a < 3; ++a) {
    page_size_[a] = page_size_for(boundary.size_of(a));
    page_bits_[a] = uint32_t(std::countr_zero(page_size_[a]));
    page_mask_[a] = page_size_[a] - 1;
  }
  pages_.reserve(kInitialPageCapacity);
}

std::unique_ptr<PagedBlockStore> PagedBlockStore::new_for_boundary(const Boundary& boundary) {
  return std::unique_ptr<PagedBlockStore>(new PagedBlockStore(boundary));
}

std::unique_ptr<PagedBlockStore> PagedBlockStore::new_for_fixed_boundary(const Boundary& boundary) {
  return new_for_boundary(boundary);
}

PagedBlockStore::PageKey PagedBlockStore::page_key(const BlockPosition& p) const {
  return {p.x >> page_bits_[0], p.y >> page_bits_[1], p.z >> page_bits_[2]};
}

void PagedBlockStore::local(const BlockPosition& p, uint32_t& x, uint32_t& y, uint32_t& z) const {
  x = uint32_t(p.x) & page_mask_[0];
  y = uint32_t(p.y) & page_mask_[1];
  z = uint32_t(p.z) & page_mask_[2];
}

ArrayPage* PagedBlockStore::find_page(const BlockPosition& p) const {
  PageKey key = page_key(p);
  if (last_page_ && key == last_key_) return last_page_;
  if (pages_.empty()) return nullptr;
  auto it = pages_.find(key);
  if (it == pages_.end()) return nullptr;
  last_key_ = key;
  last_page_ = it->second.get();
  return last_page_;
}

const ArrayPage* PagedBlockStore::page_at(int32_t px, int32_t py, int32_t pz) const {
  auto it = pages_.find(PageKey{px, py, pz});
  return it == pages_.end() ? nullptr : it->second.get();
}

std::vector<std::array<int32_t, 3>> PagedBlockStore::page_keys() const {
  std::vector<std::array<int32_t, 3>> keys;
  keys.reserve(pages_.size());
  for (const auto& [key, page] : pages_) keys.push_back({key.x, key.y, key.z});
  return keys;
}

std::optional<uint16_t> PagedBlockStore::palette_id_at(const BlockPosition& position) const {
  const ArrayPage* page = find_page(position);
  if (!page) return std::nullopt;
  uint32_t x, y, z;
  local(position, x, y, z);
  return page->load(x, y, z);
}

Result<std::optional<StateRef>> PagedBlockStore::block_at(const BlockPosition& position) const {
  if (!boundary_.contains(position)) return Status::Error("Position out of bounds");
  auto id = palette_id_at(position);
  if (!id || *id >= palette_.size()) return std::optional<StateRef>();
  return std::optional<StateRef>(palette_[*id]);
}

Result<uint16_t> PagedBlockStore::palette_id_for(StateRef state) {
  CachedState& cached = state_cache_[(reinterpret_cast<uintptr_t>(state.get()) >> 4) % kStateCacheSize];
  if (cached.state == state.get()) return cached.id;
  auto found = palette_index_.find(state);
  if (found != palette_index_.end()) {
    // Only the palette's own object is cached: it lives as long as the
    // store, so its address can never be reused by another state.
    if (found->first.get() == state.get()) cached = {state.get(), found->second};
    return found->second;
  }
  if (palette_.size() >= kMaxPaletteSize) {
    return Status::Error("Block store palette is full: at most 65535 distinct states");
  }
  uint16_t id = uint16_t(palette_.size());
  palette_.push_back(state);
  palette_index_.emplace(std::move(state), id);
  return id;
}

Status PagedBlockStore::store_in_page(ArrayPage& page, const BlockPosition& position, uint16_t id) {
  uint32_t x, y, z;
  local(position, x, y, z);
  if (page.dense()) {
    page.store_dense(page.index_of(x, y, z), id);  // masked coordinates are in range
    return Status::Ok();
  }
  // Only dense pages count against the limit: sparse ones grow with the
  // blocks they hold, which the input had to spell out one by one.
  if (page.turns_dense_on_store(x, y, z)) {
    if (page_bytes_ + page.dense_bytes() > kMaxPageBytes) {
      return Status::Error("Block store memory limit of 8 GiB exceeded");
    }
    page_bytes_ += page.dense_bytes();
  }
  return page.store(x, y, z, id);
}

Status PagedBlockStore::set_block_at(const BlockPosition& position, StateRef state) {
  if (!boundary_.contains(position)) KUBIC_RETURN_IF_ERROR(_expand_or_throw(position));
  auto id = palette_id_for(std::move(state));
  if (!id.ok()) return id.status();
  ArrayPage* page = find_page(position);
  if (!page) {
    auto& created = pages_[page_key(position)];
    created = std::make_unique<ArrayPage>(page_size_[0], page_size_[1], page_size_[2]);
    page = created.get();
  }
  return store_in_page(*page, position, *id);
}

Status PagedBlockStore::set_palette_id_at(const BlockPosition& position, uint16_t id) {
  if (!boundary_.contains(position)) return set_block_at(position, palette_[id]);
  ArrayPage* page = find_page(position);
  if (!page) return set_block_at(position, palette_[id]);
  return store_in_page(*page, position, id);
}

Status PagedBlockStore::set_row(const BlockPosition& start, std::span<const uint16_t> cells) {
  for (size_t i = 0; i < cells.size();) {
    if (!cells[i]) {
      ++i;
      continue;
    }
    const BlockPosition first{start.x + int32_t(i), start.y, start.z};
    // The first block in a page makes the page if need be; the rest of the
    // row within the page follows it.
    KUBIC_RETURN_IF_ERROR(set_palette_id_at(first, uint16_t(cells[i] - 1)));
    const size_t page_end = std::min(cells.size(), i + (page_size_[0] - (uint32_t(first.x) & page_mask_[0])));
    ArrayPage* page = boundary_.contains(first) ? find_page(first) : nullptr;
    ++i;
    if (!page || !page->dense()) continue;
    uint32_t x, y, z;
    local(first, x, y, z);
    for (int32_t index = page->index_of(x, y, z) + 1; i < page_end; ++i, ++index) {
      if (cells[i]) page->store_dense(index, uint16_t(cells[i] - 1));
    }
  }
  return Status::Ok();
}

Status PagedBlockStore::remove_block_at(const BlockPosition& position) {
  KUBIC_RETURN_IF_ERROR(_expand_or_throw(position));
  ArrayPage* page = find_page(position);
  if (!page) return Status::Ok();
  uint32_t x, y, z;
  local(position, x, y, z);
  return page->erase(x, y, z);
}

}  // namespace kubic
