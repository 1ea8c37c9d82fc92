#include "kubic_core/save.h"

#define NO_IMPORT_ARRAY
#define PY_ARRAY_UNIQUE_SYMBOL kubic_core_ARRAY_API
#include <numpy/arrayobject.h>

#include <cstdio>
#include <filesystem>
#include <type_traits>
#include <optional>
#include <string>

#include "blocks/state_text.h"
#include "io/chains.h"
#include "io/recording_sink.h"
#include "kubic_core/core_results.h"
#include "kubic_core/nbt_objects.h"
#include "kubic_core/states.h"
#include "schematic/save.h"
#include "stream/metadata_keys.h"
#include "support/errors.h"
#include "support/gil.h"
#include "support/py_ref.h"
#include "support/pystream.h"

namespace kubic::py {

namespace {

// A writable format by name, or null with ValueError.
const FormatEntry* format_named(const std::string& name) {
  const FormatEntry* format = find_format(name);
  if (format && format->writable()) return format;
  raise_message(PyExc_ValueError, "cannot write the format '" + name + "'");
  return nullptr;
}

// The compound of one NBT value, or nothing with TypeError naming `what`.
std::optional<Compound> compound_from(PyObject* value, const char* what) {
  auto tag = nbt_from_python(value);
  if (!tag) return std::nullopt;
  if (!tag->as<Compound>()) {
    PyErr_Format(PyExc_TypeError, "a %s is a compound", what);
    return std::nullopt;
  }
  return std::move(*std::get_if<Compound>(&tag->value));
}

template <typename Number>
std::string number_text(Number n) {
  if constexpr (std::is_floating_point_v<Number>) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", double(n));
    return text;
  } else {
    return std::to_string(n);
  }
}

// Calls add(x, y, z, compound, whole) for every (position, compound) pair of
// a sequence; `format` parses the position ("(iii)O", or "(ddd)O|(LLL)" for
// entities, which may add the whole blocks kept apart from their doubles).
template <typename Number, typename Add>
bool for_each_pair(PyObject* sequence, const char* format, const char* what, Add&& add) {
  PyRef items(PySequence_Fast(sequence, "block entities and entities must be sequences"));
  if (!items) return false;
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i) {
    Number x, y, z;
    PyObject* data;
    long long whole[3] = {0, 0, 0};
    if (!PyArg_ParseTuple(PySequence_Fast_GET_ITEM(items.get(), i), format, &x, &y, &z, &data, &whole[0], &whole[1],
                          &whole[2])) {
      return false;
    }
    auto compound = compound_from(data, what);
    if (!compound) {
      prefix_exception(std::string(what) + " at (" + number_text(x) + ", " + number_text(y) + ", " + number_text(z) +
                       "): ");
      return false;
    }
    add(x, y, z, std::move(*compound), whole);
  }
  return true;
}

// Block entities and entities of (position, compound) pairs, moved by `origin`.
bool parse_extras(PyObject* block_entities, PyObject* entities, const BlockPosition& origin, SchematicExtras& extras) {
  return for_each_pair<int>(block_entities, "(iii)O", "block entity",
                            [&](int x, int y, int z, Compound data, const long long*) {
                              extras.block_entities.push_back({moved({x, y, z}, origin), std::move(data)});
                            }) &&
         for_each_pair<double>(entities, "(ddd)O|(LLL)", "entity",
                               [&](double x, double y, double z, Compound data, const long long* whole) {
           Entity entity{{x, y, z}, std::move(data), {whole[0] + origin.x, whole[1] + origin.y, whole[2] + origin.z}};
           shift_entity_tiles(entity.data, origin);
           extras.entities.push_back(std::move(entity));
         });
}

// Three ints from a dict entry, or false with an exception.
bool int_triple(PyObject* dict, const char* key, int32_t out[3]) {
  PyObject* value = PyDict_GetItemString(dict, key);
  if (!value) return PyErr_Format(PyExc_ValueError, "a region needs '%s'", key), false;
  int x, y, z;
  if (!PyArg_ParseTuple(value, "iii", &x, &y, &z)) return false;
  out[0] = x, out[1] = y, out[2] = z;
  return true;
}

// The regions of metadata["regions"] (dicts as a load gives them), in the
// coordinates of the blocks.
bool parse_regions(PyObject* regions, std::vector<SubRegion>& out) {
  if (regions == Py_None) return true;
  PyRef items(PySequence_Fast(regions, "regions must be a sequence of dicts"));
  if (!items) return false;
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i) {
    PyObject* item = PySequence_Fast_GET_ITEM(items.get(), i);
    if (!PyDict_Check(item)) return PyErr_SetString(PyExc_TypeError, "a region is a dict"), false;
    PyObject* name = PyDict_GetItemString(item, "name");
    Py_ssize_t length;
    const char* text = name ? PyUnicode_AsUTF8AndSize(name, &length) : nullptr;
    if (!text) {
      if (!PyErr_Occurred()) PyErr_SetString(PyExc_ValueError, "a region needs a 'name'");
      return false;
    }
    int32_t origin[3], size[3], position[3];
    if (!int_triple(item, "origin", origin) || !int_triple(item, "size", size)) return false;
    if (PyDict_GetItemString(item, "position")) {
      if (!int_triple(item, "position", position)) return false;
    } else {
      std::copy(origin, origin + 3, position);
    }
    SubRegion region{std::string(text, size_t(length)), {position[0], position[1], position[2]}, {}, {}, {}};
    // The file measures a region from one of its corners: the minimum
    // (positive size) or the maximum (negative size) on each axis.
    for (int axis = 0; axis < 3; ++axis) {
      const int64_t last = int64_t(origin[axis]) + size[axis] - 1;
      if (size[axis] < 0 || (position[axis] != origin[axis] && position[axis] != last)) {
        PyErr_Format(PyExc_ValueError, "region '%s': the size must be positive and the position a corner of its box",
                     text);
        return false;
      }
      region.size[size_t(axis)] = position[axis] == origin[axis] ? size[axis] : -size[axis];
    }
    const char* tick_keys[2] = {"pending_block_ticks", "pending_fluid_ticks"};
    Tag* ticks[2] = {&region.pending_block_ticks, &region.pending_fluid_ticks};
    for (int k = 0; k < 2; ++k) {
      if (PyObject* value = PyDict_GetItemString(item, tick_keys[k])) {
        auto tag = nbt_from_python(value);
        if (!tag) return false;
        *ticks[k] = std::move(*tag);
      }
    }
    out.push_back(std::move(region));
  }
  return true;
}

struct SaveRequest {
  const FormatEntry* format;
  std::vector<StateRef> palette;
  PyArrayObject* blocks;
  Boundary box;
  SchematicExtras extras;
  WriterOptions options;
};

// Writes the whole request into `chain`, completing it.
Result<SaveReport> write_request(std::unique_ptr<ByteSink> chain, SaveRequest& request) {
  const void* data = PyArray_DATA(request.blocks);
  const CellArray cells = PyArray_TYPE(request.blocks) == NPY_UINT16 ? CellArray(static_cast<const uint16_t*>(data))
                                                                      : CellArray(static_cast<const uint32_t*>(data));
  return save_schematic(std::move(chain), *request.format, request.box, request.palette, cells,
                        std::move(request.extras), request.options);
}

PyObject* save(PyObject* target_object, SaveRequest& request) {
  OutputTarget target = writer_from(target_object, [](const OpenError& error, const std::string& path) {
    raise_core_error(Status::IoError(error.message, error.error_number, path));
  });
  if (!target.sink) return nullptr;
  auto first_failure = std::make_shared<Status>();
  auto chain = make_output_chain(std::make_unique<RecordingSink>(std::move(target.sink), first_failure),
                                 request.format->gzip_output);
  std::optional<Result<SaveReport>> written;
  if (target.file) {
    // To a path, nothing Python is touched: other threads may run.
    WithoutGil released;
    written = write_request(std::move(chain), request);
  } else {
    written = write_request(std::move(chain), request);
  }
  Status status = written->ok() ? *first_failure : written->status();
  if (!status.ok()) return raise_core_error(status);
  if (target.file) {
    Status committed = target.file->commit();
    if (!committed.ok()) return raise_core_error(committed);
  }
  const std::string warning = (*written)->warning(*request.format);
  if (warning.empty()) Py_RETURN_NONE;
  return PyUnicode_FromStringAndSize(warning.data(), Py_ssize_t(warning.size()));
}

}  // namespace

PyObject* save_schematic(PyObject*, PyObject* args) {
  PyObject *target, *palette, *blocks, *block_entities, *entities, *data_version, *metadata, *regions = Py_None;
  const char* format;
  int ox, oy, oz, sponge_version, refuse_missing = 0;
  if (!PyArg_ParseTuple(args, "OsOO(iii)OOOOi|Op:save", &target, &format, &palette, &blocks, &ox, &oy, &oz,
                        &block_entities, &entities, &data_version, &metadata, &sponge_version, &regions,
                        &refuse_missing)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    SaveRequest request;
    request.format = format_named(format);
    if (!request.format) return nullptr;
    auto states = palette_states(palette);
    if (!states) return nullptr;
    request.palette = std::move(*states);
    PyRef array(PyArray_FROMANY(blocks, NPY_NOTYPE, 3, 3, NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_ALIGNED));
    if (!array) return nullptr;
    request.blocks = reinterpret_cast<PyArrayObject*>(array.get());
    int type = PyArray_TYPE(request.blocks);
    if (type != NPY_UINT16 && type != NPY_UINT32) {
      PyErr_SetString(PyExc_TypeError, "blocks must be an array of uint16 or uint32");
      return nullptr;
    }
    const npy_intp* dims = PyArray_DIMS(request.blocks);
    request.box = Boundary(ox, oy, oz, int32_t(dims[0]), int32_t(dims[1]), int32_t(dims[2]));
    const BlockPosition origin{ox, oy, oz};
    if (!parse_extras(block_entities, entities, origin, request.extras)) return nullptr;
    if (data_version != Py_None) {
      long version = PyLong_AsLong(data_version);
      if (version == -1 && PyErr_Occurred()) return nullptr;
      request.extras.data_version = int32_t(version);
    }
    auto tag = nbt_from_python(metadata);
    if (!tag) return nullptr;
    if (const Compound* compound = tag->as<Compound>()) request.extras.metadata = metadata_for_extras(*compound);
    if (!parse_regions(regions, request.extras.regions)) return nullptr;
    request.options.sponge_version = sponge_version;
    request.options.refuse_missing_states = refuse_missing != 0;
    if (PyUnicode_Check(target)) {
      const char* path = PyUnicode_AsUTF8(target);
      if (!path) return nullptr;
      request.options.default_name = std::filesystem::path(path).stem().string();
    }
    return save(target, request);
  });
}

}  // namespace kubic::py
