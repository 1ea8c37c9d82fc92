#include "store/paging.h"

#include <algorithm>
#include <string>

namespace kubic {

namespace {

Status out_of_bounds(uint32_t x, uint32_t y, uint32_t z) {
  return Status::Error("Out of bounds: (" + std::to_string(x) + ", " + std::to_string(y) + ", " +
                       std::to_string(z) + ")");
}

}  // namespace

ArrayPage::ArrayPage(uint32_t size_x, uint32_t size_y, uint32_t size_z)
    : cell_count_(size_t(size_x) * size_y * size_z),
      size_x_(int32_t(size_x)),
      size_y_(int32_t(size_y)),
      size_z_(size_z) {}

std::vector<ArrayPage::SparseCell>::const_iterator ArrayPage::find_sparse(uint32_t key) const {
  return std::lower_bound(sparse_.begin(), sparse_.end(), key,
                          [](const SparseCell& cell, uint32_t k) { return cell.key < k; });
}

uint16_t ArrayPage::sparse_cell(int32_t index) const {
  uint32_t key = key_of_index(index);
  auto it = find_sparse(key);
  return (it != sparse_.end() && it->key == key) ? it->value : uint16_t(0);
}

const ArrayPage::SparseCell* ArrayPage::sparse_from(uint32_t x, uint32_t y, uint32_t z) const {
  return sparse_.data() + (find_sparse(key_of(x, y, z)) - sparse_.begin());
}

std::optional<uint16_t> ArrayPage::load(uint32_t x, uint32_t y, uint32_t z) const {
  int32_t index = index_of(x, y, z);
  if (!in_range(index)) return std::nullopt;
  uint16_t value = cell(index);
  if (value == 0) return std::nullopt;
  return uint16_t(value - 1);
}

bool ArrayPage::turns_dense_on_store(uint32_t x, uint32_t y, uint32_t z) const {
  int32_t index = index_of(x, y, z);
  if (cells_ || !in_range(index)) return false;
  if (sparse_.size() < kMaxSparseCells && sparse_.size() < cell_count_ / 16) return false;
  return sparse_cell(index) == 0;
}

Status ArrayPage::turn_dense() {
  cells_.reset(static_cast<uint16_t*>(std::calloc(cell_count_, sizeof(uint16_t))));
  if (!cells_) return Status::Error("Out of memory for a block store page");
  for (const SparseCell& stored : sparse_) {
    uint32_t x, y, z;
    local_of(stored.key, x, y, z);
    cells_[size_t(index_of(x, y, z))] = stored.value;
  }
  std::vector<SparseCell>().swap(sparse_);
  return Status::Ok();
}

Status ArrayPage::store(uint32_t x, uint32_t y, uint32_t z, uint16_t id) {
  int32_t index = index_of(x, y, z);
  if (!in_range(index)) return out_of_bounds(x, y, z);
  if (cells_) {
    cells_[size_t(index)] = uint16_t(id + 1);
    return Status::Ok();
  }
  if (turns_dense_on_store(x, y, z)) {
    KUBIC_RETURN_IF_ERROR(turn_dense());
    cells_[size_t(index)] = uint16_t(id + 1);
    return Status::Ok();
  }
  uint32_t key = key_of_index(index);
  auto it = find_sparse(key);
  if (it != sparse_.end() && it->key == key) {
    sparse_[size_t(it - sparse_.begin())].value = uint16_t(id + 1);
  } else {
    sparse_.insert(it, SparseCell{key, uint16_t(id + 1)});
  }
  return Status::Ok();
}

Status ArrayPage::erase(uint32_t x, uint32_t y, uint32_t z) {
  int32_t index = index_of(x, y, z);
  if (!in_range(index)) return out_of_bounds(x, y, z);
  auto no_block = [] { return Status::Error("No block to erase at given coordinates"); };
  if (cells_) {
    uint16_t& stored = cells_[size_t(index)];
    if (stored == 0) return no_block();
    stored = 0;
    return Status::Ok();
  }
  uint32_t key = key_of_index(index);
  auto it = find_sparse(key);
  if (it == sparse_.end() || it->key != key) return no_block();
  sparse_.erase(it);
  return Status::Ok();
}

}  // namespace kubic
