#pragma once

#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "common/status.h"
#include "store/paged_block_store.h"

namespace kubic {

// The blocks a writer is given, held until it writes them all at once. With
// a box, they go straight into a store over it (those outside are left
// out); without one, they wait for the box that grows around them.
class CollectedBlocks {
 public:
  explicit CollectedBlocks(std::optional<Boundary> box);

  Status add(std::span<const Block> blocks);
  // The box given, else the one grown around the blocks so far.
  Boundary bounds() const { return box_.value_or(grown_); }
  const std::optional<Boundary>& given_box() const { return box_; }
  // Every block in a store over bounds(); the first call places the ones
  // that waited.
  Result<const PagedBlockStore*> placed();

 private:
  std::optional<Boundary> box_;
  std::unique_ptr<PagedBlockStore> store_;
  std::vector<Block> unplaced_;
  Boundary grown_;
};

}  // namespace kubic
