#pragma once

#include <chrono>
#include <cstdint>

namespace kubic {

// Now, in milliseconds since the epoch: the date writers give a file whose
// source has none.
inline int64_t milliseconds_since_epoch() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return int64_t(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace kubic
