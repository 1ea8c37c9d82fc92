#include "kubic_core/tally.h"

#define NO_IMPORT_ARRAY
#define PY_ARRAY_UNIQUE_SYMBOL kubic_core_ARRAY_API
#include <numpy/arrayobject.h>

#include <vector>

#include "support/py_ref.h"

namespace kubic::py {

namespace {

template <typename Cell>
void count(PyArrayObject* array, std::vector<uint64_t>& counts) {
  const Cell* cells = static_cast<const Cell*>(PyArray_DATA(array));
  const npy_intp size = PyArray_SIZE(array);
  for (npy_intp i = 0; i < size; ++i) {
    if (size_t(cells[i]) < counts.size()) ++counts[size_t(cells[i])];
  }
}

}  // namespace

PyObject* tally_blocks(PyObject*, PyObject* args) {
  PyObject* blocks;
  Py_ssize_t length;
  if (!PyArg_ParseTuple(args, "On:tally", &blocks, &length)) return nullptr;
  if (length < 0) {
    PyErr_SetString(PyExc_ValueError, "length must not be negative");
    return nullptr;
  }
  PyRef array(PyArray_FROMANY(blocks, NPY_NOTYPE, 0, 0, NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_ALIGNED));
  if (!array) return nullptr;
  auto* a = reinterpret_cast<PyArrayObject*>(array.get());
  std::vector<uint64_t> counts(size_t(length), 0);
  if (PyArray_TYPE(a) == NPY_UINT16) {
    Py_BEGIN_ALLOW_THREADS count<uint16_t>(a, counts);
    Py_END_ALLOW_THREADS
  } else if (PyArray_TYPE(a) == NPY_UINT32) {
    Py_BEGIN_ALLOW_THREADS count<uint32_t>(a, counts);
    Py_END_ALLOW_THREADS
  } else {
    PyErr_SetString(PyExc_TypeError, "blocks must be an array of uint16 or uint32");
    return nullptr;
  }
  PyRef list(PyList_New(length));
  if (!list) return nullptr;
  for (Py_ssize_t i = 0; i < length; ++i) {
    PyObject* n = PyLong_FromUnsignedLongLong(counts[size_t(i)]);
    if (!n) return nullptr;
    PyList_SET_ITEM(list.get(), i, n);
  }
  return list.release();
}

}  // namespace kubic::py
