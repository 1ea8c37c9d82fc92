#pragma once

#include <string_view>
#include <unordered_map>

#include "common/block_state.h"
#include "common/status.h"

namespace kubic {

// Whether a state lies within the state syntax: a name of lower-case
// letters, digits, '_' and '/', with at most one ':' between a namespace and
// a type, and properties whose keys and values are letters, digits, '-',
// '+' or '_'. Files hold states outside it (1.12-era modded names).
bool in_state_syntax(const BlockState& state);

// The one form of a state: the namespace present ("minecraft:" for a name
// without one), a key given twice holding its last value, and properties
// sorted by key, as the game writes them. A state outside the state syntax
// is its own canonical form: it stays exactly as stored. Gives the same
// handle when the state is canonical already.
StateRef canonical_state(const StateRef& state);

// A state typed by a person, in its canonical form: blanks around names,
// brackets, commas and '=' signs are ignored; a state outside the syntax is
// taken as written when its namespace is given and its words are letters,
// digits, '_', '.', '/', '-' or '+'. Fails, naming the text and what is
// wrong with it, for anything else.
Result<StateRef> parse_canonical_state(std::string_view text);

// States to their canonical forms, each distinct state converted once: for
// writers, whose palette maps must never hold one state twice.
class CanonicalStates {
 public:
  const StateRef& of(const StateRef& state);

 private:
  std::unordered_map<StateRef, StateRef, StateRefHash> canonical_;
};

}  // namespace kubic
