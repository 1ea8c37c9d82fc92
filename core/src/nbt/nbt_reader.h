#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/status.h"
#include "io/byte_stream.h"
#include "nbt/nbt_stream_parser.h"
#include "nbt/tag.h"

namespace kubic {

// Lists longer than this are refused by the value tree (arrays are not:
// real block data exceeds it).
constexpr int32_t kMaxTreeListLength = 10'000'000;

// Decides which compound entries a reader needs: called with the names of
// the compounds that lead to the entry (empty for the root's own entries)
// and the entry's name. Skipped entries are still parsed and checked, but
// not built, so that a reader pays memory only for what it looks at; a
// refused one ends the parse ("unexpected tag 'name'"): the document is
// not what the reader wants.
enum class NbtEntryChoice { Skip, Build, Refuse };
using NbtEntryFilter = std::function<NbtEntryChoice(const std::vector<std::string>& parents, const std::string& name)>;

// Parses a whole document into a value tree. Stops after the root tag; the
// source may have been read further ahead.
Result<NamedTag> parse_nbt(ByteSource& source, const NbtEntryFilter& keep = nullptr,
                           ByteOrder order = ByteOrder::kBigEndian);

// Builds the value whose first event is `start` (a value, or the start of a
// list or compound, which is read to its end), for readers that walk a
// document as events and keep parts of it whole.
Result<Tag> parse_nbt_value(NbtStreamParser& parser, NbtEvent& start);

}  // namespace kubic
