#pragma once

#include <Python.h>

#include <vector>

#include "common/block_state.h"
#include "common/boundary.h"

namespace kubic::py {

// The value classes handed to Python: PyBoundary, PyBlockPosition,
// PyBlockState and PyBlock. Their type objects are made on first use and
// live for the rest of the process. Each function returns a new reference,
// or null with an exception set.

PyObject* new_boundary(const Boundary& boundary);
// A block's state handle is moved into the new object, never copied.
PyObject* new_block(Block&& block);
// A new list of new PyBlock objects, in order; the blocks are consumed.
PyObject* new_block_list(std::vector<Block>&& blocks);

}  // namespace kubic::py
