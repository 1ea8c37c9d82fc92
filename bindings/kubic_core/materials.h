#pragma once

#include <Python.h>

namespace kubic::py {

// _core.materials(palette, counts, block_entities, entities): the items a
// palette's blocks take (counts[i] blocks of palette[i]), plus those the
// block entities' and entities' compounds hold, as [(item, count)], most
// first, then by name.
PyObject* materials(PyObject* module, PyObject* args);

// _core.item_stack_size(item): how many make a stack (64 when unknown).
PyObject* item_stack_size(PyObject* module, PyObject* item);

}  // namespace kubic::py
