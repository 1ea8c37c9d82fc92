#pragma once

#include <string>
#include <string_view>

#include "common/block_state.h"
#include "common/status.h"

namespace kubic {

// The difference text that turns `old_state` into `new_state`: a name part,
// then "+k=v,..." for added or changed pairs and "-k,..." for removed keys.
// Equal states give the empty text. Never fails.
std::string difference(const BlockState& old_state, const BlockState& new_state);

// The length of difference()'s name part alone, for searches that bound
// the length of many differences at once.
size_t name_part_length(const std::string& old_name, const std::string& new_name);

// Like difference, but applying the text keeps the new state's property
// order too: from the first property that `difference` would move to the
// end, every property is written again. Same limits of syntax.
std::string ordered_difference(const BlockState& old_state, const BlockState& new_state);

// Applies a difference text to `old_state`, making a new state.
Result<StateRef> update(const BlockState& old_state, std::string_view text);

}  // namespace kubic
