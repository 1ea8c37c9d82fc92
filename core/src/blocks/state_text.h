#pragma once

#include <string>
#include <string_view>

#include "common/block_state.h"
#include "common/status.h"

namespace kubic {

// A state as text with its properties in stored order:
// "name[key=value,key=value]", or the bare name.
std::string stored_text(const BlockState& state);

// The state of a palette text: parsed by the state syntax, or else, for
// names the syntax refuses but files hold (1.12-era modded names with
// upper-case letters), taken literally as stored_text() wrote it. Fails
// with the syntax's message when the text is neither.
Result<StateRef> state_of_text(std::string_view text);

}  // namespace kubic
