#pragma once

#include <Python.h>

namespace kubic::py {

// What differs between the module's static types.
struct TypeSpec {
  const char* name;  // no dot: the type reports "builtins" as its module
  Py_ssize_t basic_size;
  PyMethodDef* methods;
  reprfunc str = nullptr;
  reprfunc repr = nullptr;
  destructor dealloc = nullptr;
  newfunc new_instance = nullptr;  // none: calling the class raises TypeError
  const char* doc = nullptr;
  getiterfunc iter = nullptr;
  iternextfunc iternext = nullptr;
};

// Fills and readies a static type object once; null with an exception set
// if that failed. Instances are plain objects, not tracked by the garbage
// collector: they hold no references that could form a cycle.
inline PyTypeObject* ready_static_type(PyTypeObject& t, const TypeSpec& spec) {
  Py_SET_REFCNT(&t, 1);  // static: never freed
  t.tp_name = spec.name;
  t.tp_basicsize = spec.basic_size;
  t.tp_flags = Py_TPFLAGS_DEFAULT;
  t.tp_methods = spec.methods;
  t.tp_str = spec.str;
  t.tp_repr = spec.repr;
  t.tp_dealloc = spec.dealloc;
  t.tp_new = spec.new_instance;
  t.tp_doc = spec.doc;
  t.tp_iter = spec.iter;
  t.tp_iternext = spec.iternext;
  return PyType_Ready(&t) == 0 ? &t : nullptr;
}

}  // namespace kubic::py
