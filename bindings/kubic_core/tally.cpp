#include "kubic_core/tally.h"

#define NO_IMPORT_ARRAY
#define PY_ARRAY_UNIQUE_SYMBOL kubic_core_ARRAY_API
#include <numpy/arrayobject.h>

#include <algorithm>
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

// Counts into `counts`, whose size the caller checked every cell against.
template <typename Cell, typename Out>
bool remap(PyArrayObject* in, PyArrayObject* out, const std::vector<uint32_t>& mapping,
           std::vector<uint64_t>& counts) {
  const Cell* cells = static_cast<const Cell*>(PyArray_DATA(in));
  Out* target = static_cast<Out*>(PyArray_DATA(out));
  const npy_intp size = PyArray_SIZE(in);
  for (npy_intp i = 0; i < size; ++i) {
    const size_t index = cells[i];
    if (index >= mapping.size()) return false;
    target[i] = Out(mapping[index]);
    ++counts[index];
  }
  return true;
}

template <typename Cell>
bool remap_from(PyArrayObject* in, PyArrayObject* out, const std::vector<uint32_t>& mapping,
                std::vector<uint64_t>& counts) {
  return PyArray_TYPE(out) == NPY_UINT16 ? remap<Cell, uint16_t>(in, out, mapping, counts)
                                         : remap<Cell, uint32_t>(in, out, mapping, counts);
}

PyObject* counts_list(const std::vector<uint64_t>& counts) {
  PyRef list(PyList_New(Py_ssize_t(counts.size())));
  if (!list) return nullptr;
  for (size_t i = 0; i < counts.size(); ++i) {
    PyObject* n = PyLong_FromUnsignedLongLong(counts[i]);
    if (!n) return nullptr;
    PyList_SET_ITEM(list.get(), Py_ssize_t(i), n);
  }
  return list.release();
}

}  // namespace

PyObject* remap_blocks(PyObject*, PyObject* args) {
  PyObject *blocks, *indices;
  if (!PyArg_ParseTuple(args, "OO:remap", &blocks, &indices)) return nullptr;
  PyRef array(PyArray_FROMANY(blocks, NPY_NOTYPE, 0, 0, NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_ALIGNED));
  if (!array) return nullptr;
  auto* in = reinterpret_cast<PyArrayObject*>(array.get());
  if (PyArray_TYPE(in) != NPY_UINT16 && PyArray_TYPE(in) != NPY_UINT32) {
    PyErr_SetString(PyExc_TypeError, "blocks must be an array of uint16 or uint32");
    return nullptr;
  }
  PyRef sequence(PySequence_Fast(indices, "the mapping must be a list of indices"));
  if (!sequence) return nullptr;
  std::vector<uint32_t> mapping;
  uint32_t largest = 0;
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(sequence.get()); ++i) {
    const unsigned long value = PyLong_AsUnsignedLong(PySequence_Fast_GET_ITEM(sequence.get(), i));
    if (value == (unsigned long)-1 && PyErr_Occurred()) return nullptr;
    if (value > UINT32_MAX) {
      PyErr_SetString(PyExc_OverflowError, "an index past 32 bits");
      return nullptr;
    }
    mapping.push_back(uint32_t(value));
    largest = std::max(largest, uint32_t(value));
  }
  PyRef result(PyArray_SimpleNew(PyArray_NDIM(in), PyArray_DIMS(in), largest <= UINT16_MAX ? NPY_UINT16 : NPY_UINT32));
  if (!result) return nullptr;
  auto* out = reinterpret_cast<PyArrayObject*>(result.get());
  std::vector<uint64_t> counts(mapping.size(), 0);
  bool complete;
  Py_BEGIN_ALLOW_THREADS complete = PyArray_TYPE(in) == NPY_UINT16 ? remap_from<uint16_t>(in, out, mapping, counts)
                                                                    : remap_from<uint32_t>(in, out, mapping, counts);
  Py_END_ALLOW_THREADS
  if (!complete) {
    PyErr_SetString(PyExc_ValueError, "a block indexes past the mapping");
    return nullptr;
  }
  PyRef list(counts_list(counts));
  if (!list) return nullptr;
  return Py_BuildValue("(OO)", result.get(), list.get());
}

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
  return counts_list(counts);
}

}  // namespace kubic::py
