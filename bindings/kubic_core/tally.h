#pragma once

#include <Python.h>

namespace kubic::py {

// _core.tally(blocks, length): how many cells of a uint16 or uint32 array
// hold each index below `length`, as a list; indices past it are ignored.
// One pass, no copy of the array (NumPy's bincount widens it first).
PyObject* tally_blocks(PyObject* module, PyObject* args);

// _core.remap(blocks, mapping): a new array of `mapping[i]` for every cell
// `i` of a uint16 or uint32 array, uint16 when every mapped index fits, and
// how many cells held each index of `mapping`: (array, counts), in one pass.
// Every cell must index `mapping`.
PyObject* remap_blocks(PyObject* module, PyObject* args);

}  // namespace kubic::py
