#include "store/block_store.h"

namespace kubic {

namespace {
constexpr int32_t kMaxGrownSize = 1024;
}

Status BlockStore::insert(std::span<const Block> blocks) {
  for (const Block& block : blocks) KUBIC_RETURN_IF_ERROR(set_block_at(block.position, block.state));
  return Status::Ok();
}

StoreBlockIterator BlockStore::block_iterator(AxisOrder order) const {
  return StoreBlockIterator(*this, order);
}

Status BlockStore::_expand_or_throw(const BlockPosition& position) {
  if (boundary().contains(position)) return Status::Ok();
  if (!resizable()) return Status::Error("Position out of bounds and store is not resizable");
  Boundary grown = boundary().expand_to_include(position);
  if (uint32_t(grown.d_x) > kMaxGrownSize || uint32_t(grown.d_y) > kMaxGrownSize ||
      uint32_t(grown.d_z) > kMaxGrownSize) {
    return Status::Error("Cannot expand boundary beyond 1024 in any dimension");
  }
  set_boundary(grown);
  return Status::Ok();
}

std::optional<Block> StoreBlockIterator::next() {
  while (auto position = positions_.next()) {
    auto state = store_.block_at(*position);
    if (state.ok() && state->has_value() && !(**state)->is_air()) {
      return Block{*position, std::move(**state)};
    }
  }
  return std::nullopt;
}

}  // namespace kubic
