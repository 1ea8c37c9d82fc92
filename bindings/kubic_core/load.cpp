#include "kubic_core/load.h"

#define NO_IMPORT_ARRAY
#define PY_ARRAY_UNIQUE_SYMBOL kubic_core_ARRAY_API
#include <numpy/arrayobject.h>

#include <algorithm>
#include <optional>
#include <string>

#include "io/file_stream.h"
#include "io/memory_stream.h"
#include "kubic_core/core_results.h"
#include "kubic_core/nbt_objects.h"
#include "schematic/load.h"
#include "stream/metadata_keys.h"
#include "support/errors.h"
#include "support/gil.h"
#include "support/py_ref.h"
#include "support/pystream.h"

namespace kubic::py {

namespace {

// Arrays past this many positions are refused: such a box is read in chunks.
constexpr Volume kMaxArrayPositions = Volume(1) << 31;

PyObject* tuple_of(const BlockPosition& p) { return Py_BuildValue("(iii)", p.x, p.y, p.z); }

// Block entities and entities, positions relative to the box's corner; an
// entity's also as the doubles it holds and the whole blocks between their
// frame and the corner, for a save to put back as they were.
PyObject* block_entities_of(const SchematicExtras& extras, const BlockPosition& corner) {
  PyRef list(PyList_New(0));
  for (const BlockEntity& entity : extras.block_entities) {
    PyRef data(nbt_to_python(Tag{entity.data}));
    if (!list || !data) return nullptr;
    BlockPosition at{entity.position.x - corner.x, entity.position.y - corner.y, entity.position.z - corner.z};
    PyRef item(Py_BuildValue("(NO)", tuple_of(at), data.get()));
    if (!item || PyList_Append(list.get(), item.get()) < 0) return nullptr;
  }
  return list.release();
}

PyObject* entities_of(const SchematicExtras& extras, const BlockPosition& corner) {
  PyRef list(PyList_New(0));
  for (const Entity& entity : extras.entities) {
    // Hanging entities' block moves with their position, into the box's frame.
    Compound moved = entity.data;
    shift_entity_tiles(moved, {-corner.x, -corner.y, -corner.z});
    PyRef data(nbt_to_python(Tag{std::move(moved)}));
    if (!list || !data) return nullptr;
    const auto p = entity.coordinates(corner);
    const auto& raw = entity.position;
    PyRef item(Py_BuildValue("((ddd)O(ddd)(LLL))", p[0], p[1], p[2], data.get(), raw[0], raw[1], raw[2],
                             (long long)(entity.offset[0] - corner.x), (long long)(entity.offset[1] - corner.y),
                             (long long)(entity.offset[2] - corner.z)));
    if (!item || PyList_Append(list.get(), item.get()) < 0) return nullptr;
  }
  return list.release();
}

// The notices of the load running on this thread, if one is.
thread_local std::vector<std::string>* collected_notices = nullptr;

// The regions of a schematic as dicts, in the coordinates of its origin:
// name, origin (minimum corner), size, position (the corner the file
// measures from) and the scheduled ticks.
PyObject* regions_of(const std::vector<SubRegion>& regions, const BlockPosition& shift) {
  PyRef list(PyList_New(0));
  for (const SubRegion& region : regions) {
    const Boundary box = region.box();
    PyRef block_ticks(nbt_to_python(region.pending_block_ticks.as<ListTag>() ? region.pending_block_ticks
                                                                             : Tag{ListTag{}}));
    PyRef fluid_ticks(nbt_to_python(region.pending_fluid_ticks.as<ListTag>() ? region.pending_fluid_ticks
                                                                             : Tag{ListTag{}}));
    if (!list || !block_ticks || !fluid_ticks) return nullptr;
    PyRef name(PyUnicode_DecodeUTF8(region.name.data(), Py_ssize_t(region.name.size()), "replace"));
    if (!name) return nullptr;
    PyRef item(Py_BuildValue("{sOsNsNsNsOsO}", "name", name.get(), "origin",
                             tuple_of(moved({box.min_x, box.min_y, box.min_z}, shift)), "size",
                             Py_BuildValue("(iii)", box.d_x, box.d_y, box.d_z), "position",
                             tuple_of(moved(region.position, shift)), "pending_block_ticks", block_ticks.get(),
                             "pending_fluid_ticks", fluid_ticks.get()));
    if (!item || PyList_Append(list.get(), item.get()) < 0) return nullptr;
  }
  return list.release();
}

PyObject* new_array(const Boundary& box, int type) {
  if (box.volume() > kMaxArrayPositions) {
    return raise_message(PyExc_MemoryError, "a box of " + volume_string(box.volume()) +
                                                " positions is too large for one array: read it in chunks");
  }
  npy_intp dims[3] = {std::max(box.d_x, 0), std::max(box.d_y, 0), std::max(box.d_z, 0)};
  return PyArray_ZEROS(3, dims, type, 0);
}

// Opens the source again for every road a load tries: a path or bytes
// (copied once) any number of times, a file object once.
InputOpener opener_of(PyObject* source_object) {
  if (PyUnicode_Check(source_object)) {
    const char* path = PyUnicode_AsUTF8(source_object);
    if (!path) return nullptr;
    return [path = std::string(path)]() -> Result<std::unique_ptr<ByteSource>> {
      OpenError error;
      auto source = FileSource::open(path, error);
      if (!source) return Status::IoError(error.message, error.error_number, path);
      return std::unique_ptr<ByteSource>(std::move(source));
    };
  }
  auto source = reader_from(source_object);
  if (!source) return nullptr;
  if (!PyBytes_Check(source_object)) {
    auto once = std::make_shared<std::unique_ptr<ByteSource>>(std::move(source));
    return [once]() -> Result<std::unique_ptr<ByteSource>> { return std::move(*once); };
  }
  auto bytes = std::make_shared<std::vector<uint8_t>>();
  auto data = reinterpret_cast<const uint8_t*>(PyBytes_AS_STRING(source_object));
  bytes->assign(data, data + PyBytes_GET_SIZE(source_object));
  return [bytes]() -> Result<std::unique_ptr<ByteSource>> {
    return std::unique_ptr<ByteSource>(std::make_unique<MemorySource>(*bytes));
  };
}

struct LoadArguments {
  std::string format;
  std::optional<std::string> region;
};

PyObject* load(PyObject* source_object, const LoadArguments& arguments) {
  // Notices (legacy conversions) come back with the result: printing them
  // through a redirected sys.stdout would mix up loads on other threads.
  std::vector<std::string> notices;
  collected_notices = &notices;
  struct Uncollect {
    ~Uncollect() { collected_notices = nullptr; }
  } uncollect;
  LoadRequest request;
  request.format = find_format(arguments.format);
  request.reader.region = arguments.region;
  // A path or bytes: nothing Python behind the reader, other threads may run.
  request.rereadable = PyUnicode_Check(source_object) || PyBytes_Check(source_object);
  if (PyUnicode_Check(source_object)) {
    const char* path = PyUnicode_AsUTF8(source_object);
    if (!path) return nullptr;
    request.file_name = path;
  }
  InputOpener open = opener_of(source_object);
  if (!open) return nullptr;
  // The 16-bit array stays alive while the 32-bit one takes its cells.
  PyRef array, wide_array;
  std::optional<Result<LoadedSchematic>> outcome;
  auto run = [&](WithoutGil* released) {
    auto make = [&](PyRef& made, const Boundary& box, int type) -> void* {
      auto create = [&]() -> void* {
        made = PyRef(new_array(box, type));
        return made ? PyArray_DATA(reinterpret_cast<PyArrayObject*>(made.get())) : nullptr;
      };
      return released ? released->with_gil(create) : create();
    };
    CellAllocators allocate{
        [&](const Boundary& box) { return static_cast<uint16_t*>(make(array, box, NPY_UINT16)); },
        [&](const Boundary& box) { return static_cast<uint32_t*>(make(wide_array, box, NPY_UINT32)); }};
    outcome = load_schematic(request, open, allocate);
  };
  if (request.rereadable) {
    WithoutGil released;
    run(&released);
  } else {
    run(nullptr);
  }
  if (PyErr_Occurred()) return nullptr;
  if (!outcome->ok()) return raise_core_error(outcome->status());
  LoadedSchematic& loaded = **outcome;
  if (std::holds_alternative<uint32_t*>(loaded.cells)) array = std::move(wide_array);
  const Boundary& box = loaded.box;
  const SchematicExtras& extras = loaded.extras;
  PyRef names(palette_texts(loaded.palette));
  if (!names) return nullptr;
  const BlockPosition corner{box.min_x, box.min_y, box.min_z};
  const BlockPosition origin = moved(corner, extras.origin);
  PyRef block_entities(block_entities_of(extras, corner));
  PyRef entities(entities_of(extras, corner));
  PyRef metadata(nbt_to_python(Tag{metadata_for_callers(extras.metadata)}));
  if (!block_entities || !entities || !metadata) return nullptr;
  if (!extras.regions.empty()) {
    PyRef regions(regions_of(extras.regions, extras.origin));
    if (!regions || PyDict_SetItemString(metadata.get(), "regions", regions.get()) < 0) return nullptr;
  }
  PyRef data_version(extras.data_version ? PyLong_FromLong(*extras.data_version) : Py_NewRef(Py_None));
  PyRef format_version(extras.format_version ? PyLong_FromLong(*extras.format_version) : Py_NewRef(Py_None));
  std::string notice_text;
  for (const std::string& line : notices) notice_text += line + "\n";
  PyRef notice_object(PyUnicode_DecodeUTF8(notice_text.data(), Py_ssize_t(notice_text.size()), "replace"));
  if (!notice_object) return nullptr;
  const char* format = loaded.format ? loaded.format->name.data() : nullptr;
  return Py_BuildValue("(z(iii)NOOOOOOOO)", format, std::max(box.d_x, 0), std::max(box.d_y, 0), std::max(box.d_z, 0),
                       tuple_of(origin), names.get(), array.get(), block_entities.get(), entities.get(),
                       data_version.get(), metadata.get(), format_version.get(), notice_object.get());
}

}  // namespace

void collect_notice(const std::string& line) {
  if (collected_notices) {
    collected_notices->push_back(line);
  } else {
    write_notice_to_sys_stdout(line);
  }
}

PyObject* load_schematic(PyObject*, PyObject* args) {
  PyObject* source;
  const char* format;
  PyObject* region = Py_None;
  if (!PyArg_ParseTuple(args, "Os|O:load", &source, &format, &region)) return nullptr;
  LoadArguments arguments{format, std::nullopt};
  if (region != Py_None) {
    Py_ssize_t length;
    const char* name = PyUnicode_AsUTF8AndSize(region, &length);
    if (!name) return nullptr;
    arguments.region = std::string(name, size_t(length));
  }
  return guarded([&] { return load(source, arguments); });
}

}  // namespace kubic::py
