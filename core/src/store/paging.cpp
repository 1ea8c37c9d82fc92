#include "store/paging.h"

#include <string>

namespace kubic {

namespace {

Status out_of_bounds(uint32_t x, uint32_t y, uint32_t z) {
  return Status::Error("Out of bounds: (" + std::to_string(x) + ", " + std::to_string(y) + ", " +
                       std::to_string(z) + ")");
}

}  // namespace

ArrayPage::ArrayPage(uint32_t size_x, uint32_t size_y, uint32_t size_z)
    : cells_(static_cast<uint16_t*>(std::calloc(size_t(size_x) * size_y * size_z, 2))),
      cell_count_(size_t(size_x) * size_y * size_z),
      size_x_(int32_t(size_x)),
      size_y_(int32_t(size_y)) {}

std::optional<uint16_t> ArrayPage::load(uint32_t x, uint32_t y, uint32_t z) const {
  int32_t index = index_of(x, y, z);
  if (!in_range(index) || cells_[size_t(index)] == 0) return std::nullopt;
  return uint16_t(cells_[size_t(index)] - 1);
}

Status ArrayPage::store(uint32_t x, uint32_t y, uint32_t z, uint16_t id) {
  int32_t index = index_of(x, y, z);
  if (!in_range(index)) return out_of_bounds(x, y, z);
  cells_[size_t(index)] = uint16_t(id + 1);
  return Status::Ok();
}

Status ArrayPage::erase(uint32_t x, uint32_t y, uint32_t z) {
  int32_t index = index_of(x, y, z);
  if (!in_range(index)) return out_of_bounds(x, y, z);
  if (cells_[size_t(index)] == 0) return Status::Error("No block to erase at given coordinates");
  cells_[size_t(index)] = 0;
  return Status::Ok();
}

}  // namespace kubic
