#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>

#include "common/status.h"

namespace kubic {

// One page of a paged store, addressed with local coordinates.
class Page {
 public:
  virtual ~Page() = default;
  virtual std::optional<uint16_t> load(uint32_t x, uint32_t y, uint32_t z) const = 0;
  virtual Status store(uint32_t x, uint32_t y, uint32_t z, uint16_t id) = 0;
  virtual Status erase(uint32_t x, uint32_t y, uint32_t z) = 0;
};

// A dense page: one 16-bit cell per position, 0 for no block and id + 1
// otherwise; x varies fastest, then y, then z.
class ArrayPage final : public Page {
 public:
  ArrayPage(uint32_t size_x, uint32_t size_y, uint32_t size_z);

  std::optional<uint16_t> load(uint32_t x, uint32_t y, uint32_t z) const override;
  Status store(uint32_t x, uint32_t y, uint32_t z, uint16_t id) override;
  Status erase(uint32_t x, uint32_t y, uint32_t z) override;

  // Raw cell access for the store's fast paths; `index` must be in range.
  uint16_t cell(int32_t index) const { return cells_[size_t(index)]; }
  void set_cell(int32_t index, uint16_t value) { cells_[size_t(index)] = value; }
  bool allocated() const { return cells_ != nullptr; }
  int32_t index_of(uint32_t x, uint32_t y, uint32_t z) const {
    return int32_t(x) + size_x_ * (int32_t(y) + size_y_ * int32_t(z));
  }

 private:
  struct FreeCells {
    void operator()(uint16_t* cells) const { std::free(cells); }
  };
  bool in_range(int32_t index) const { return index >= 0 && size_t(index) < cell_count_; }

  // calloc'ed: the system hands out zero pages that cost memory only once
  // touched, so a sparse page holding a few blocks stays cheap.
  std::unique_ptr<uint16_t[], FreeCells> cells_;
  size_t cell_count_;
  int32_t size_x_, size_y_;
};

}  // namespace kubic
