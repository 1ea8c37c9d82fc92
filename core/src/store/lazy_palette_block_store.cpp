#include "store/lazy_palette_block_store.h"

#include <string>

#include "common/text_util.h"

namespace kubic {

std::unique_ptr<LazyPaletteBlockStoreWrapper> LazyPaletteBlockStoreWrapper::empty_fixed_from_size(
    int32_t d_x, int32_t d_y, int32_t d_z) {
  return std::unique_ptr<LazyPaletteBlockStoreWrapper>(new LazyPaletteBlockStoreWrapper(
      PagedBlockStore::new_for_boundary(Boundary(0, 0, 0, d_x, d_y, d_z))));
}

StateRef LazyPaletteBlockStoreWrapper::temp_state_from_temp_id(int64_t id) {
  if (last_temp_state_ && id == last_temp_id_) return last_temp_state_;
  auto found = temporary_states_.find(id);
  if (found == temporary_states_.end()) {
    found = temporary_states_.emplace(id, BlockState::create(std::to_string(id))).first;
  }
  last_temp_id_ = id;
  last_temp_state_ = found->second;
  return found->second;
}

Status LazyPaletteBlockStoreWrapper::set_unknown_block_at(int32_t x, int32_t y, int32_t z,
                                                          int64_t id) {
  return inner_->set_block_at({x, y, z}, temp_state_from_temp_id(id));
}

Status LazyPaletteBlockStoreWrapper::set_unknown_block(const BlockPosition& position, int64_t id) {
  if (last_inner_id_ < 0 || id != last_temp_id_) {
    auto inner_id = inner_->intern(temp_state_from_temp_id(id));
    if (!inner_id.ok()) return inner_id.status();
    last_inner_id_ = *inner_id;
  }
  return inner_->set_palette_id_at(position, uint16_t(last_inner_id_));
}

std::optional<int64_t> LazyPaletteBlockStoreWrapper::state_to_temp_id(const StateRef& state) const {
  if (!actual_palette_) return std::nullopt;
  for (const auto& [id, candidate] : *actual_palette_) {
    if (candidate == state) return id;
  }
  return std::nullopt;
}

void LazyPaletteBlockStoreWrapper::set_actual_palette(Palette palette) {
  actual_palette_ = std::move(palette);
  resolved_.clear();
}

Status LazyPaletteBlockStoreWrapper::check_palette() const {
  if (actual_palette_) return Status::Ok();
  return Status::Error("Can not access blocks if palette is not provided");
}

Result<StateRef> LazyPaletteBlockStoreWrapper::resolve(uint16_t inner_id) const {
  KUBIC_RETURN_IF_ERROR(check_palette());
  if (inner_id < resolved_.size() && resolved_[inner_id]) return *resolved_[inner_id];
  const StateRef& placeholder = inner_->palette()[inner_id];
  auto id = parse_decimal_i64(placeholder->name());
  if (!id) return Status::Error("Invalid temporary ID");
  auto found = actual_palette_->find(*id);
  if (found == actual_palette_->end()) {
    return Status::Error("Temporary ID not found in actual palette");
  }
  if (resolved_.size() <= inner_id) resolved_.resize(size_t(inner_id) + 1);
  resolved_[inner_id] = found->second;
  return found->second;
}

Result<std::optional<StateRef>> LazyPaletteBlockStoreWrapper::block_at(
    const BlockPosition& position) const {
  KUBIC_RETURN_IF_ERROR(check_palette());
  if (!inner_->contains(position)) return Status::Error("Position out of bounds");
  auto inner_id = inner_->palette_id_at(position);
  if (!inner_id) return std::optional<StateRef>();
  auto state = resolve(*inner_id);
  if (!state.ok()) return state.status();
  return std::optional<StateRef>(std::move(*state));
}

}  // namespace kubic
