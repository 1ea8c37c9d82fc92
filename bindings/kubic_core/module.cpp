// kubic._core: the native part of the kubic package. The package's Python
// code shapes the API; everything that knows a format is here, in the core.
#include <Python.h>

#define PY_ARRAY_UNIQUE_SYMBOL kubic_core_ARRAY_API
#include <numpy/arrayobject.h>

#include "common/interrupt.h"
#include "common/notices.h"
#include "kubic_core/chunks.h"
#include "support/errors.h"
#include "kubic_core/load.h"
#include "kubic_core/nbt_objects.h"
#include "kubic_core/save.h"
#include "kubic_core/tally.h"

namespace {

PyObject* register_nbt(PyObject*, PyObject* classes) {
  if (!PyDict_Check(classes)) {
    PyErr_SetString(PyExc_TypeError, "expected a dict of the kubic.nbt classes");
    return nullptr;
  }
  if (!kubic::py::register_nbt_classes(classes)) return nullptr;
  Py_RETURN_NONE;
}

PyMethodDef methods[] = {
    {"load", kubic::py::load_schematic, METH_VARARGS, "load(source, format, /)\n--\n\n"},
    {"save", kubic::py::save_schematic, METH_VARARGS,
     "save(target, format, palette, blocks, origin, block_entities, entities, data_version, metadata, "
     "sponge_version, /)\n--\n\n"},
    {"register_nbt", register_nbt, METH_O, "register_nbt(classes, /)\n--\n\n"},
    {"tally", kubic::py::tally_blocks, METH_VARARGS, "tally(blocks, length, /)\n--\n\n"},
    {"chunks", kubic::py::open_chunks, METH_VARARGS, "chunks(source, format, cx, cy, cz, /)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

int core_exec(PyObject* module) {
  if (_import_array() < 0) return -1;
  if (!kubic::py::ready_chunk_type(module)) return -1;
  kubic::set_interrupt_check(&kubic::py::python_interrupt_pending);
  kubic::set_notice_sink(&kubic::py::collect_notice);
  return 0;
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(core_exec)},
    {0, nullptr},
};

PyModuleDef definition = {PyModuleDef_HEAD_INIT, "kubic._core", "The kubic package's native part.", 0, methods,
                          slots, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit__core() { return PyModuleDef_Init(&definition); }
