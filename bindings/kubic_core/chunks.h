#pragma once

#include <Python.h>

namespace kubic::py {

// _core.chunks(source, format, cx, cy, cz): an iterator of (origin, blocks,
// palette) over the chunks of a schematic that hold blocks, in x, y, z
// order, reading one slab of cx positions along x at a time: memory is the
// reader's (nothing beyond the current run for kub) plus one slab.
PyObject* open_chunks(PyObject* module, PyObject* args);

// The iterator type; made once, on module set-up.
bool ready_chunk_type(PyObject* module);

}  // namespace kubic::py
