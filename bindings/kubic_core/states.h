#pragma once

#include <Python.h>

namespace kubic::py {

// _core.canonical_states(texts): the canonical texts of a palette typed by a
// caller, each state once, as (texts, renumbering): renumbering[i] is the
// new index of texts[i], or None when no two texts named one state. A text
// that is not a block state raises ValueError naming it.
PyObject* canonical_states(PyObject* module, PyObject* texts);

}  // namespace kubic::py
