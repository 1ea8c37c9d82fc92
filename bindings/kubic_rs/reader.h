#pragma once

#include <Python.h>

namespace kubic::py {

// The KubicReader type, made once per process on first use; null with an
// exception set if it cannot be made.
PyTypeObject* reader_type();

// The module function open(input).
PyObject* open_schematic(PyObject* module, PyObject* args, PyObject* kwargs);

}  // namespace kubic::py
