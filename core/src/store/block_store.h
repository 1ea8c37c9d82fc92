#pragma once

#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "common/block_state.h"
#include "common/boundary.h"
#include "common/status.h"

namespace kubic {

class StoreBlockIterator;

// Random-access block containers addressed by position.
class BlockStore {
 public:
  virtual ~BlockStore() = default;
  bool contains(const BlockPosition& position) const { return boundary().contains(position); }

  // The state at the position, or nothing; fails outside the boundary.
  virtual Result<std::optional<StateRef>> block_at(const BlockPosition& position) const = 0;
  virtual Status set_block_at(const BlockPosition& position, StateRef state) = 0;
  virtual Status remove_block_at(const BlockPosition& position) = 0;
  virtual const Boundary& boundary() const = 0;
  virtual void set_boundary(const Boundary& boundary) = 0;
  virtual bool resizable() const = 0;

  // Sets the blocks in order, stopping at the first error (earlier ones stay).
  Status insert(std::span<const Block> blocks);
  // Every stored, non-air block of the boundary in the order. The iterator
  // refers to this store and must not outlive it.
  StoreBlockIterator block_iterator(AxisOrder order) const;
  // Makes sure the position is inside the boundary, growing it (up to 1024
  // per axis) when the store is resizable.
  Status _expand_or_throw(const BlockPosition& position);
};

class StoreBlockIterator {
 public:
  StoreBlockIterator(const BlockStore& store, AxisOrder order)
      : store_(store), positions_(store.boundary(), order) {}
  std::optional<Block> next();

 private:
  const BlockStore& store_;
  BoundaryIterator positions_;
};

}  // namespace kubic
