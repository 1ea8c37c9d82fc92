#pragma once

#include <Python.h>

namespace kubic::py {

// _core.game_version(text): the DataVersion of a release name or of a
// DataVersion's digits; ValueError for anything else.
PyObject* game_version(PyObject* module, PyObject* text);

// _core.convert_states(texts, from, to): canonical states of DataVersion
// `from` as DataVersion `to` has them, as (texts, outcomes): an outcome is
// "same", "changed", "none" (the target has no such state: its text is the
// source's) or "unknown" (not a state of the source version; kept).
PyObject* convert_states(PyObject* module, PyObject* args);

// _core.convert_nbt(block_entities, entities, from, to): lists of compounds
// converted between DataVersions, as (block_entities, entities, notes): new
// compounds, and a dict of what was done or kept, with how often.
PyObject* convert_nbt(PyObject* module, PyObject* args);

}  // namespace kubic::py
