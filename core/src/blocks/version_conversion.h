#pragma once

#include <cstdint>

#include "common/block_state.h"

namespace kubic {

enum class StateOutcome : uint8_t {
  kSame,          // the state reads the same in the target version
  kChanged,       // renamed, properties added, dropped or given new values
  kNoEquivalent,  // the target version has no such state
  kUnknown,       // not a state of the source version: the tables cannot tell
};

struct ConvertedState {
  StateRef state;  // in the target version; the source state when there is none
  StateOutcome outcome;
};

// A canonical state of the game version described by block table `from`,
// as the version of table `to` has it, carried through every table between
// by the version rules. A state of a known block whose properties the
// source version does not allow is first completed as the game would read
// it: missing properties take their defaults, unknown ones go, and a value
// not allowed takes the default.
ConvertedState convert_state(const StateRef& state, int from, int to);

}  // namespace kubic
