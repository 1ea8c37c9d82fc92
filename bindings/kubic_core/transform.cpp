#include "kubic_core/transform.h"

#define NO_IMPORT_ARRAY
#define PY_ARRAY_UNIQUE_SYMBOL kubic_core_ARRAY_API
#include <numpy/arrayobject.h>

#include <algorithm>
#include <string>
#include <vector>

#include "blocks/state_text.h"
#include "kubic_core/nbt_objects.h"
#include "kubic_core/states.h"
#include "schematic/transform.h"
#include "support/errors.h"
#include "support/py_ref.h"

namespace kubic::py {

namespace {

bool parse_map(PyObject* object, AxisMap& map) {
  int f[3], s[3];
  if (!PyArg_ParseTuple(object, "(iii)(iii)", &f[0], &f[1], &f[2], &s[0], &s[1], &s[2])) return false;
  bool seen[3] = {false, false, false};
  for (size_t i = 0; i < 3; ++i) {
    if (f[i] < 0 || f[i] > 2 || seen[f[i]] || (s[i] != 1 && s[i] != -1)) {
      PyErr_SetString(PyExc_ValueError, "a map is a permutation of the axes with signs of 1 or -1");
      return false;
    }
    seen[f[i]] = true;
    map.from[i] = uint8_t(f[i]);
    map.sign[i] = int8_t(s[i]);
  }
  return true;
}

PyObject* triple(const std::array<int64_t, 3>& v) { return Py_BuildValue("(LLL)", v[0], v[1], v[2]); }

template <typename Cell>
bool every_cell_indexes(const Cell* cells, npy_intp count, size_t length) {
  for (npy_intp i = 0; i < count; ++i) {
    if (size_t(cells[i]) >= length) return false;
  }
  return true;
}

}  // namespace

PyObject* transform_blocks(PyObject*, PyObject* args) {
  PyObject *blocks, *texts, *map_object, *data_version;
  if (!PyArg_ParseTuple(args, "OOOO:transform_blocks", &blocks, &texts, &map_object, &data_version)) return nullptr;
  AxisMap map;
  if (!parse_map(map_object, map)) return nullptr;
  const auto table = block_table_of_schematic(data_version);
  if (!table) return nullptr;
  auto palette = palette_states(texts);
  if (!palette) return nullptr;
  PyRef array(PyArray_FROMANY(blocks, NPY_NOTYPE, 3, 3, NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_ALIGNED));
  if (!array) return nullptr;
  auto* in = reinterpret_cast<PyArrayObject*>(array.get());
  const int type = PyArray_TYPE(in);
  if (type != NPY_UINT16 && type != NPY_UINT32) {
    PyErr_SetString(PyExc_TypeError, "blocks must be an array of uint16 or uint32");
    return nullptr;
  }
  const bool narrow = type == NPY_UINT16;
  const npy_intp count = PyArray_SIZE(in);
  const bool indexed = narrow ? every_cell_indexes(static_cast<const uint16_t*>(PyArray_DATA(in)), count, palette->size())
                              : every_cell_indexes(static_cast<const uint32_t*>(PyArray_DATA(in)), count, palette->size());
  if (!indexed) return raise_message(PyExc_ValueError, "every block must index the palette");
  const TransformedPalette turned = transform_palette(*palette, map, *table);
  const std::array<int64_t, 3> size = {PyArray_DIM(in, 0), PyArray_DIM(in, 1), PyArray_DIM(in, 2)};
  const auto out_size = map.mapped_size(size);
  npy_intp dims[3] = {npy_intp(out_size[0]), npy_intp(out_size[1]), npy_intp(out_size[2])};
  PyRef result(PyArray_SimpleNew(3, dims, type));
  if (!result) return nullptr;
  auto* out = reinterpret_cast<PyArrayObject*>(result.get());
  Py_BEGIN_ALLOW_THREADS if (narrow) {
    transform_cells(static_cast<const uint16_t*>(PyArray_DATA(in)), size, map, turned.mapping,
                    static_cast<uint16_t*>(PyArray_DATA(out)));
  }
  else {
    transform_cells(static_cast<const uint32_t*>(PyArray_DATA(in)), size, map, turned.mapping,
                    static_cast<uint32_t*>(PyArray_DATA(out)));
  }
  Py_END_ALLOW_THREADS
  PyRef new_palette(PyList_New(Py_ssize_t(turned.palette.size()))), kept(PyList_New(0));
  if (!new_palette || !kept) return nullptr;
  for (size_t i = 0; i < turned.palette.size(); ++i) {
    const std::string text = stored_text(*turned.palette[i]);
    PyObject* object = PyUnicode_FromStringAndSize(text.data(), Py_ssize_t(text.size()));
    if (!object) return nullptr;
    PyList_SET_ITEM(new_palette.get(), Py_ssize_t(i), object);
  }
  for (uint32_t index : turned.cannot_show) {
    PyRef number(PyLong_FromUnsignedLong(index));
    if (!number || PyList_Append(kept.get(), number.get()) < 0) return nullptr;
  }
  return Py_BuildValue("(OOO)", result.get(), new_palette.get(), kept.get());
}

PyObject* map_cells(PyObject*, PyObject* args) {
  PyObject *map_object, *cells;
  std::array<int64_t, 3> size;
  if (!PyArg_ParseTuple(args, "O(LLL)O:map_cells", &map_object, &size[0], &size[1], &size[2], &cells)) {
    return nullptr;
  }
  AxisMap map;
  if (!parse_map(map_object, map)) return nullptr;
  PyRef sequence(PySequence_Fast(cells, "cells must be a sequence of (x, y, z)"));
  if (!sequence) return nullptr;
  PyRef out(PyList_New(PySequence_Fast_GET_SIZE(sequence.get())));
  if (!out) return nullptr;
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(sequence.get()); ++i) {
    std::array<int64_t, 3> cell;
    if (!PyArg_ParseTuple(PySequence_Fast_GET_ITEM(sequence.get(), i), "LLL", &cell[0], &cell[1], &cell[2])) {
      return nullptr;
    }
    PyObject* moved = triple(map.map_cell(cell, size));
    if (!moved) return nullptr;
    PyList_SET_ITEM(out.get(), i, moved);
  }
  return out.release();
}

PyObject* transform_entities(PyObject*, PyObject* args) {
  PyObject *map_object, *entities;
  std::array<int64_t, 3> size;
  if (!PyArg_ParseTuple(args, "O(LLL)O:transform_entities", &map_object, &size[0], &size[1], &size[2], &entities)) {
    return nullptr;
  }
  AxisMap map;
  if (!parse_map(map_object, map)) return nullptr;
  PyRef sequence(PySequence_Fast(entities, "entities must be a sequence of (position, compound)"));
  if (!sequence) return nullptr;
  PyRef out(PyList_New(PySequence_Fast_GET_SIZE(sequence.get())));
  if (!out) return nullptr;
  long not_turned = 0;
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(sequence.get()); ++i) {
    Entity entity;
    PyObject* data;
    if (!PyArg_ParseTuple(PySequence_Fast_GET_ITEM(sequence.get(), i), "(ddd)O", &entity.position[0],
                          &entity.position[1], &entity.position[2], &data)) {
      return nullptr;
    }
    auto tag = nbt_from_python(data);
    if (!tag || !std::get_if<Compound>(&tag->value)) {
      if (!PyErr_Occurred()) PyErr_SetString(PyExc_TypeError, "an entity's data is a compound");
      return nullptr;
    }
    entity.data = std::move(*std::get_if<Compound>(&tag->value));
    not_turned += !transform_entity(entity, map, size);
    PyRef compound(nbt_to_python(Tag{std::move(entity.data)}));
    if (!compound) return nullptr;
    PyObject* pair = Py_BuildValue("((ddd)O)", entity.position[0], entity.position[1], entity.position[2],
                                   compound.get());
    if (!pair) return nullptr;
    PyList_SET_ITEM(out.get(), i, pair);
  }
  return Py_BuildValue("(Nl)", out.release(), not_turned);
}

PyObject* axis_map(PyObject*, PyObject* args) {
  const char* kind;
  int axis, turns;
  if (!PyArg_ParseTuple(args, "sii:axis_map", &kind, &axis, &turns)) return nullptr;
  if (axis < 0 || axis > 2) return raise_message(PyExc_ValueError, "the axis is 0, 1 or 2");
  const std::string_view name(kind);
  if (name != "turn" && name != "flip") return raise_message(PyExc_ValueError, "a map is a turn or a flip");
  const AxisMap map = name == "turn" ? AxisMap::turn(axis, turns) : AxisMap::flip(axis);
  return Py_BuildValue("((iii)(iii))", map.from[0], map.from[1], map.from[2], map.sign[0], map.sign[1], map.sign[2]);
}

}  // namespace kubic::py
