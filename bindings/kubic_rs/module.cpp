#include <Python.h>

#include "common/interrupt.h"
#include "common/notices.h"
#include "support/errors.h"
#include "kubic_rs/reader.h"

namespace {

PyMethodDef open_definition = {
    "open", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(kubic::py::open_schematic)),
    METH_VARARGS | METH_KEYWORDS,
    "open(input)\n--\n\n"
    "A one-pass KubicReader over `input`: a path, bytes or a binary file object, its format detected\n"
    "(or named by `input.type`). Use it as a context manager: `with kubic_rs.open(path) as reader:`."};

constexpr const char* kModuleDoc =
    "The low-level, one-pass streaming reader of block schematics.\n\n"
    "open(input) gives a KubicReader over a Sponge, structure, Litematica, MCEdit or kub file. The\n"
    "reader goes through the file once, holding one batch of blocks at a time, and every block it\n"
    "hands out is consumed: after iter_bulks() or read_full(), save() writes only what is left, and\n"
    "iterate_blocks(callback) hands over one batch per call. Open the file again to read it again.\n\n"
    "For whole files use the kubic package: kubic.load(path) gives the whole schematic as an\n"
    "editable NumPy array, and kubic.iter_chunks(path) walks files too large to hold, in chunks.";

int kubic_exec(PyObject* module) {
  kubic::set_interrupt_check(&kubic::py::python_interrupt_pending);
  kubic::set_notice_sink(&kubic::py::write_notice_to_sys_stdout);
  PyObject* name = PyModule_GetNameObject(module);
  if (!name) return -1;
  PyObject* open = PyCFunction_NewEx(&open_definition, nullptr, name);
  Py_DECREF(name);
  if (!open || PyModule_AddObject(module, "open", open) < 0) {
    Py_XDECREF(open);
    return -1;
  }
  PyTypeObject* reader = kubic::py::reader_type();
  if (!reader) return -1;
  Py_INCREF(reader);
  if (PyModule_AddObject(module, "KubicReader", reinterpret_cast<PyObject*>(reader)) < 0) {
    Py_DECREF(reader);
    return -1;
  }
  return 0;
}

PyModuleDef_Slot kubic_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(kubic_exec)},
    {0, nullptr},
};

PyModuleDef kubic_module = {
    PyModuleDef_HEAD_INIT, "kubic_rs", kModuleDoc, 0, nullptr, kubic_slots, nullptr, nullptr, nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_kubic_rs() { return PyModuleDef_Init(&kubic_module); }
