#pragma once

#include <Python.h>

#include <optional>
#include <vector>

#include "common/block_state.h"

namespace kubic::py {

// _core.canonical_states(texts): the canonical texts of a palette typed by a
// caller, each state once, as (texts, renumbering): renumbering[i] is the
// new index of texts[i], or None when no two texts named one state. A text
// that is not a block state raises ValueError naming it.
PyObject* canonical_states(PyObject* module, PyObject* texts);

// The states of a schematic's palette texts: canonical texts, and old
// modded names outside the state syntax taken as written; nothing, with
// ValueError naming the entry, for a text that is neither.
std::optional<std::vector<StateRef>> palette_states(PyObject* texts);

// The block table a schematic's `data_version` (an int or None) checks its
// states against; nothing, with an exception, for a value that is not one.
std::optional<int> block_table_of_schematic(PyObject* data_version);

// _core.edit_state(text, data_version): the canonical text of a state a
// person gives for an edit; ValueError when it is not a state of that
// version (its block, exactly its properties, allowed values).
PyObject* edit_state(PyObject* module, PyObject* args);

// _core.block_name(text, data_version): the namespaced name of a block a
// person names; ValueError when it is not a block of that version.
PyObject* block_name(PyObject* module, PyObject* args);

// _core.states_as_block(texts, name, data_version): each state as block
// `name`, keeping the properties both have; ValueError when `name` is not a
// block of that version.
PyObject* states_as_block(PyObject* module, PyObject* args);

}  // namespace kubic::py
