#include "stream/collected_blocks.h"

namespace kubic {

CollectedBlocks::CollectedBlocks(std::optional<Boundary> box) : box_(box) {
  if (box_) store_ = PagedBlockStore::new_for_fixed_boundary(*box_);
}

Status CollectedBlocks::add(std::span<const Block> blocks) {
  for (const Block& block : blocks) {
    if (!store_) {
      grown_ = grown_.expand_to_include(block.position);
      unplaced_.push_back(block);
    } else if (box_->contains(block.position)) {
      KUBIC_RETURN_IF_ERROR(store_->set_block_at(block.position, block.state));
    }
  }
  return Status::Ok();
}

Result<const PagedBlockStore*> CollectedBlocks::placed() {
  if (!store_) {
    store_ = PagedBlockStore::new_for_fixed_boundary(grown_);
    KUBIC_RETURN_IF_ERROR(store_->insert(unplaced_));
    std::vector<Block>().swap(unplaced_);
  }
  return store_.get();
}

}  // namespace kubic
