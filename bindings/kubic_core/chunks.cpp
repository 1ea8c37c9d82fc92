#include "kubic_core/chunks.h"

#define NO_IMPORT_ARRAY
#define PY_ARRAY_UNIQUE_SYMBOL kubic_core_ARRAY_API
#include <numpy/arrayobject.h>

#include "formats/format_table.h"
#include "kubic_core/core_results.h"
#include "schematic/chunks.h"
#include "support/errors.h"
#include "support/py_ref.h"
#include "support/pystream.h"

namespace kubic::py {

namespace {

struct ChunkIterator {
  PyObject_HEAD
  ChunkReader* chunks;
};

PyTypeObject* chunk_type = nullptr;

PyObject* chunk_of(const ChunkReader& chunks, const ChunkPlace& place) {
  npy_intp dims[3] = {npy_intp(place.size[0]), npy_intp(place.size[1]), npy_intp(place.size[2])};
  PyRef array(PyArray_SimpleNew(3, dims, NPY_UINT16));
  if (!array) return nullptr;
  chunks.copy_cells(place, static_cast<uint16_t*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array.get()))));
  PyRef names(palette_texts(chunks.palette()));
  if (!names) return nullptr;
  return Py_BuildValue("((LLL)OO)", (long long)place.origin[0], (long long)place.origin[1],
                       (long long)place.origin[2], array.get(), names.get());
}

PyObject* chunk_next(PyObject* self) {
  ChunkReader& chunks = *reinterpret_cast<ChunkIterator*>(self)->chunks;
  return guarded([&]() -> PyObject* {
    auto place = chunks.next();
    if (!place.ok()) return raise_core_error(place.status());
    if (!*place) return nullptr;  // StopIteration
    return chunk_of(chunks, **place);
  });
}

void chunk_dealloc(PyObject* self) {
  delete reinterpret_cast<ChunkIterator*>(self)->chunks;
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

PyType_Slot chunk_slots[] = {
    {Py_tp_iter, reinterpret_cast<void*>(PyObject_SelfIter)},
    {Py_tp_iternext, reinterpret_cast<void*>(chunk_next)},
    {Py_tp_dealloc, reinterpret_cast<void*>(chunk_dealloc)},
    {Py_tp_doc, const_cast<char*>("Chunks of a schematic: (origin, blocks, palette).")},
    {0, nullptr},
};

PyType_Spec chunk_spec = {"kubic._core.ChunkIterator", sizeof(ChunkIterator), 0, Py_TPFLAGS_DEFAULT, chunk_slots};

}  // namespace

bool ready_chunk_type(PyObject*) {
  if (!chunk_type) chunk_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&chunk_spec));
  return chunk_type != nullptr;
}

PyObject* open_chunks(PyObject*, PyObject* args) {
  PyObject* source_object;
  const char* format;
  long long cx, cy, cz;
  if (!PyArg_ParseTuple(args, "OsLLL:chunks", &source_object, &format, &cx, &cy, &cz)) return nullptr;
  return guarded([&]() -> PyObject* {
    if (cx <= 0 || cy <= 0 || cz <= 0) {
      PyErr_SetString(PyExc_ValueError, "chunk sizes must be positive");
      return nullptr;
    }
    auto source = reader_from(source_object);
    if (!source) return nullptr;
    auto chunks = ChunkReader::open(open_reader(find_format(format), std::move(source)), {cx, cy, cz});
    if (!chunks.ok()) return raise_core_error(chunks.status());
    auto* self = PyObject_New(ChunkIterator, chunk_type);
    if (!self) return nullptr;
    self->chunks = chunks->release();
    return reinterpret_cast<PyObject*>(self);
  });
}

}  // namespace kubic::py
