#pragma once

#include <memory>

#include "common/status.h"
#include "io/byte_stream.h"
#include "nbt/tag.h"

namespace kubic {

// Lists longer than this are refused by the value tree (arrays are not:
// real block data exceeds it).
constexpr int32_t kMaxTreeListLength = 10'000'000;

// Parses a whole document into a value tree. Stops after the root tag; the
// source may have been read further ahead.
Result<NamedTag> parse_nbt(ByteSource& source);

}  // namespace kubic
