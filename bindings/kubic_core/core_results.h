#pragma once

#include <Python.h>

#include <string>
#include <vector>

#include "common/block_state.h"
#include "common/status.h"

namespace kubic::py {

// Raises a core error for the package: MemoryError for work past a memory
// limit; otherwise RuntimeError(message, kind, cause, errno, path), kind
// one of "corrupt", "unrecognised", "io", "missing", cause the message of
// the reader that recognised an input no format took (or None), so that
// the package picks its exception by kind, never by message text.
PyObject* raise_core_error(const Status& status);

// A new list of the states' stored texts, or null with an exception.
PyObject* palette_texts(const std::vector<StateRef>& palette);

}  // namespace kubic::py
