#include <Python.h>

namespace {

int kubic_exec(PyObject* /*module*/) { return 0; }

PyModuleDef_Slot kubic_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(kubic_exec)},
    {0, nullptr},
};

PyModuleDef kubic_module = {
    PyModuleDef_HEAD_INIT, "kubic_rs", "", 0, nullptr, kubic_slots, nullptr, nullptr, nullptr,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) PyObject* PyInit_kubic_rs() {
  return PyModuleDef_Init(&kubic_module);
}
