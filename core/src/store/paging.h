#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

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

// A page of cells, 0 for no block and id + 1 otherwise. It starts sparse, a
// sorted list of the cells it holds, and turns dense (one 16-bit cell per
// position, x fastest, then y, then z) once that list would hold more than
// kMaxSparseCells or cost a quarter of the dense form: a file scattering
// single blocks over a huge box costs memory in proportion to its blocks,
// not to the pages they touch, and a page being filled pays for sorted
// inserts only while it is small.
class ArrayPage final : public Page {
 public:
  static constexpr size_t kMaxSparseCells = 256;

  ArrayPage(uint32_t size_x, uint32_t size_y, uint32_t size_z);

  std::optional<uint16_t> load(uint32_t x, uint32_t y, uint32_t z) const override;
  // Fails with "Out of memory for a block store page" when the dense form
  // cannot be allocated.
  Status store(uint32_t x, uint32_t y, uint32_t z, uint16_t id) override;
  Status erase(uint32_t x, uint32_t y, uint32_t z) override;

  // True when storing at these coordinates would turn the page dense.
  bool turns_dense_on_store(uint32_t x, uint32_t y, uint32_t z) const;
  size_t dense_bytes() const { return cell_count_ * sizeof(uint16_t); }
  bool dense() const { return cells_ != nullptr; }
  // The cells of a dense page (null while sparse), for row walks.
  const uint16_t* dense_cells() const { return cells_.get(); }
  // Stores into a dense page; `index` (x fastest) must be in range.
  void store_dense(int32_t index, uint16_t id) { cells_[size_t(index)] = uint16_t(id + 1); }

  // Raw cell access for the store's fast paths; `index` (x fastest) must be
  // in range.
  uint16_t cell(int32_t index) const {
    return cells_ ? cells_[size_t(index)] : sparse_cell(index);
  }
  int32_t index_of(uint32_t x, uint32_t y, uint32_t z) const {
    return int32_t(x) + size_x_ * (int32_t(y) + size_y_ * int32_t(z));
  }

  // A stored cell of a sparse page with its local coordinates.
  struct SparseCell {
    uint32_t key;  // x slowest, then y, z fastest: the order of XYZ walks
    uint16_t value;
  };
  // Sparse cells from local (x, y, z) on, in XYZ order; empty when dense.
  const SparseCell* sparse_from(uint32_t x, uint32_t y, uint32_t z) const;
  const SparseCell* sparse_end() const { return sparse_.data() + sparse_.size(); }
  void local_of(uint32_t key, uint32_t& x, uint32_t& y, uint32_t& z) const {
    z = key % size_z_;
    y = key / size_z_ % size_y_;
    x = key / size_z_ / size_y_;
  }

 private:
  struct FreeCells {
    void operator()(uint16_t* cells) const { std::free(cells); }
  };
  bool in_range(int32_t index) const { return index >= 0 && size_t(index) < cell_count_; }
  uint32_t key_of(uint32_t x, uint32_t y, uint32_t z) const { return (x * size_y_ + y) * size_z_ + z; }
  uint32_t key_of_index(int32_t index) const {
    return key_of(uint32_t(index % size_x_), uint32_t(index / size_x_ % size_y_),
                  uint32_t(index / size_x_ / size_y_));
  }
  uint16_t sparse_cell(int32_t index) const;
  std::vector<SparseCell>::const_iterator find_sparse(uint32_t key) const;
  Status turn_dense();

  std::unique_ptr<uint16_t[], FreeCells> cells_;  // null while sparse
  std::vector<SparseCell> sparse_;                 // sorted by key
  size_t cell_count_;
  int32_t size_x_, size_y_;
  uint32_t size_z_;
};

}  // namespace kubic
