#pragma once

#include <array>
#include <memory>
#include <optional>
#include <unordered_map>

#include "store/paged_block_store.h"

namespace kubic {

// Holds blocks under temporary ids until the real palette is known. Each id
// is stored as a placeholder state named by the id in decimal; reading a
// block turns the placeholder back into its id and looks it up.
class LazyPaletteBlockStoreWrapper final {
 public:
  using Palette = std::unordered_map<int64_t, StateRef>;
  static constexpr size_t kBatchSize = 4096;

  static std::unique_ptr<LazyPaletteBlockStoreWrapper> empty_fixed_from_size(int32_t d_x,
                                                                             int32_t d_y,
                                                                             int32_t d_z);

  Status set_unknown_block_at(int32_t x, int32_t y, int32_t z, int64_t id);
  Status set_unknown_block(const BlockPosition& position, int64_t id);
  // The inner store's palette id for a temporary id, entering it if new.
  Result<uint16_t> inner_id(int64_t id) { return inner_->intern(temp_state_from_temp_id(id)); }

  // The temporary id whose real state is this one (or equal to it).
  std::optional<int64_t> state_to_temp_id(const StateRef& state) const;
  void set_actual_palette(Palette palette);

  // Fails with "Can not access blocks if palette is not provided" until a
  // palette is installed.
  Status check_palette() const;

  // The real state at the position; fails before a palette is installed,
  // outside the boundary, and for ids the palette lacks.
  Result<std::optional<StateRef>> block_at(const BlockPosition& position) const;

  bool contains(const BlockPosition& position) const { return inner_->contains(position); }
  const Boundary& boundary() const { return inner_->boundary(); }
  // The store of placeholders; for callers that know what they put there.
  PagedBlockStore& inner() { return *inner_; }
  const PagedBlockStore& inner() const { return *inner_; }
  // The real state behind a palette id of the inner store (a placeholder),
  // resolved once per installed palette; fails like block_at().
  Result<StateRef> resolve(uint16_t inner_id) const;

 private:
  explicit LazyPaletteBlockStoreWrapper(std::unique_ptr<PagedBlockStore> inner)
      : inner_(std::move(inner)) {}
  StateRef temp_state_from_temp_id(int64_t id);

  std::unique_ptr<PagedBlockStore> inner_;
  std::unordered_map<int64_t, StateRef> temporary_states_;
  // Neighbouring blocks mostly share their id: the last one's placeholder
  // and its id in the inner palette.
  int64_t last_temp_id_ = 0;
  StateRef last_temp_state_;
  int32_t last_inner_id_ = -1;
  std::optional<Palette> actual_palette_;
  // Resolved states by inner palette id, so that a placeholder's name is
  // parsed and looked up once per palette, not once per block.
  mutable std::vector<std::optional<StateRef>> resolved_;
};

}  // namespace kubic
