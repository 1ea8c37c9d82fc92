// kubic._core: the native part of the kubic package. The package's Python
// code shapes the API; everything that knows a format is here, in the core.
#include <Python.h>

#define PY_ARRAY_UNIQUE_SYMBOL kubic_core_ARRAY_API
#include <numpy/arrayobject.h>

#include "blocks/game_versions.h"
#include "common/interrupt.h"
#include "common/notices.h"
#include "formats/format_table.h"
#include "support/py_ref.h"
#include "kubic_core/chunks.h"
#include "support/errors.h"
#include "kubic_core/load.h"
#include "kubic_core/materials.h"
#include "kubic_core/nbt_objects.h"
#include "kubic_core/save.h"
#include "kubic_core/states.h"
#include "kubic_core/tally.h"
#include "kubic_core/transform.h"
#include "kubic_core/versions.h"

namespace {

PyObject* register_nbt(PyObject*, PyObject* classes) {
  if (!PyDict_Check(classes)) {
    PyErr_SetString(PyExc_TypeError, "expected a dict of the kubic.nbt classes");
    return nullptr;
  }
  if (!kubic::py::register_nbt_classes(classes)) return nullptr;
  Py_RETURN_NONE;
}

// The format table as a list of dicts, for the package's names, aliases,
// extensions and messages.
PyObject* formats(PyObject*, PyObject*) {
  kubic::py::PyRef list(PyList_New(0));
  if (!list) return nullptr;
  auto text = [](std::string_view value) {
    return PyUnicode_FromStringAndSize(value.data(), Py_ssize_t(value.size()));
  };
  auto strings = [&](const std::vector<std::string_view>& texts) -> PyObject* {
    PyObject* tuple = PyTuple_New(Py_ssize_t(texts.size()));
    for (size_t i = 0; tuple && i < texts.size(); ++i) {
      PyObject* item = text(texts[i]);
      if (!item) {
        Py_DECREF(tuple);
        return nullptr;
      }
      PyTuple_SET_ITEM(tuple, Py_ssize_t(i), item);
    }
    return tuple;
  };
  for (const kubic::FormatEntry& entry : kubic::format_table()) {
    kubic::py::PyRef item(Py_BuildValue("{s:N,s:N,s:N,s:N,s:O,s:O}", "name", text(entry.name), "title",
                                        text(entry.title), "aliases", strings(entry.aliases), "extensions",
                                        strings(entry.extensions), "writable", entry.writable() ? Py_True : Py_False,
                                        "regions", entry.has_regions ? Py_True : Py_False));
    if (!item || PyList_Append(list.get(), item.get()) < 0) return nullptr;
  }
  return list.release();
}

// The release whose files carry a DataVersion, or None.
PyObject* release_of(PyObject*, PyObject* number) {
  const long data_version = PyLong_AsLong(number);
  if (data_version == -1 && PyErr_Occurred()) return nullptr;
  if (data_version < INT32_MIN || data_version > INT32_MAX) Py_RETURN_NONE;
  const auto name = kubic::release_of(int32_t(data_version));
  if (!name) Py_RETURN_NONE;
  return PyUnicode_FromStringAndSize(name->data(), Py_ssize_t(name->size()));
}

PyMethodDef methods[] = {
    {"load", kubic::py::load_schematic, METH_VARARGS, "load(source, format, /)\n--\n\n"},
    {"save", kubic::py::save_schematic, METH_VARARGS,
     "save(target, format, palette, blocks, origin, block_entities, entities, data_version, metadata, "
     "sponge_version, regions, refuse_missing, /)\n--\n\n"},
    {"register_nbt", register_nbt, METH_O, "register_nbt(classes, /)\n--\n\n"},
    {"formats", formats, METH_NOARGS, "formats()\n--\n\nThe formats kubic knows, as dicts."},
    {"canonical_states", kubic::py::canonical_states, METH_O, "canonical_states(texts, /)\n--\n\n"},
    {"edit_state", kubic::py::edit_state, METH_VARARGS, "edit_state(text, data_version, /)\n--\n\n"},
    {"block_name", kubic::py::block_name, METH_VARARGS, "block_name(text, data_version, /)\n--\n\n"},
    {"states_as_block", kubic::py::states_as_block, METH_VARARGS,
     "states_as_block(texts, name, data_version, /)\n--\n\n"},
    {"release_of", release_of, METH_O, "release_of(data_version, /)\n--\n\n"},
    {"game_version", kubic::py::game_version, METH_O, "game_version(text, /)\n--\n\n"},
    {"convert_states", kubic::py::convert_states, METH_VARARGS, "convert_states(texts, from, to, /)\n--\n\n"},
    {"convert_nbt", kubic::py::convert_nbt, METH_VARARGS,
     "convert_nbt(block_entities, entities, from, to, /)\n--\n\n"},
    {"remap", kubic::py::remap_blocks, METH_VARARGS, "remap(blocks, mapping, /)\n--\n\n"},
    {"transform_blocks", kubic::py::transform_blocks, METH_VARARGS,
     "transform_blocks(blocks, palette, map, data_version, /)\n--\n\n"},
    {"map_cells", kubic::py::map_cells, METH_VARARGS, "map_cells(map, size, cells, /)\n--\n\n"},
    {"transform_entities", kubic::py::transform_entities, METH_VARARGS,
     "transform_entities(map, size, entities, /)\n--\n\n"},
    {"axis_map", kubic::py::axis_map, METH_VARARGS, "axis_map(kind, axis, turns, /)\n--\n\n"},
    {"materials", kubic::py::materials, METH_VARARGS,
     "materials(palette, counts, block_entities, entities, /)\n--\n\n"},
    {"item_stack_size", kubic::py::item_stack_size, METH_O, "item_stack_size(item, /)\n--\n\n"},
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
