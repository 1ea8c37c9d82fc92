#pragma once

#include <vector>

#include "store/xyz_scanner.h"
#include "stream/schematic_stream.h"

namespace kubic {

struct StoredRead {
  size_t count;    // blocks appended
  Volume visited;  // positions passed, empty and air ones included
};

// Hands out the non-air blocks of a filled store in XYZ order, resuming at
// the linear index `position` and advancing it; at most `max` blocks.
// `state_of(palette_id)` gives the state of a stored cell or an error. On
// an error the blocks appended so far stay in `out` and `position` stops at
// the failing position. Air is left out unless `keep_air`.
template <typename StateOf>
Result<StoredRead> read_stored_blocks(const XyzScanner& scanner, Volume& position,
                                      std::vector<Block>& out, size_t max, StateOf&& state_of,
                                      bool keep_air = false) {
  size_t count = 0;
  Status failure;
  Volume failed_at = 0;
  // Each palette id's state, asked for once.
  std::vector<StateRef> known;
  Volume next = scanner.scan(position, [&](const BlockPosition& p, uint16_t id, Volume index) {
    if (id >= known.size()) known.resize(size_t(id) + 1);
    if (!known[id]) [[unlikely]] {
      auto state = state_of(id);
      if (!state.ok()) {
        failure = state.status();
        failed_at = index;
        return false;
      }
      known[id] = std::move(*state);
    }
    if (!keep_air && known[id]->is_air()) return true;
    out.push_back({p, known[id]});
    return ++count < max;
  });
  if (!failure.ok()) {
    position = failed_at;
    return failure;
  }
  StoredRead result{count, next - position};
  position = next;
  return result;
}

}  // namespace kubic
