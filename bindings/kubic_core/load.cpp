#include "kubic_core/load.h"

#define NO_IMPORT_ARRAY
#define PY_ARRAY_UNIQUE_SYMBOL kubic_core_ARRAY_API
#include <numpy/arrayobject.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/interrupt.h"
#include "support/errors.h"
#include "support/gil.h"
#include "kubic_core/nbt_objects.h"
#include "support/py_ref.h"
#include "support/pystream.h"
#include "io/chains.h"
#include "kubic_core/readers.h"
#include "formats/litematica/litematica_reader.h"
#include "formats/sponge/sponge_reader.h"

namespace kubic::py {

namespace {

// Arrays past this many positions are refused: such a box is read in chunks.
constexpr Volume kMaxArrayPositions = Volume(1) << 31;

PyObject* tuple_of(const BlockPosition& p) { return Py_BuildValue("(iii)", p.x, p.y, p.z); }

// Block entities and entities, positions relative to the box's corner.
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
    PyRef data(nbt_to_python(Tag{entity.data}));
    if (!list || !data) return nullptr;
    const auto& p = entity.position;
    PyRef item(Py_BuildValue("((ddd)O)", p[0] - corner.x, p[1] - corner.y, p[2] - corner.z, data.get()));
    if (!item || PyList_Append(list.get(), item.get()) < 0) return nullptr;
  }
  return list.release();
}

// Every block into an array of palette indices; index 0 is air.
Status fill_array(SchematicInputStream& reader, const Boundary& box, StateRef fill, uint16_t* cells,
                  std::vector<StateRef>& palette) {
  std::unordered_map<StateRef, uint16_t, StateRefHash> index;
  auto index_of = [&](const StateRef& state) -> Result<uint16_t> {
    auto [it, added] = index.emplace(state, uint16_t(palette.size()));
    if (added) {
      if (palette.size() > 65535) return Status::Error("more than 65536 distinct states");
      palette.push_back(state);
    }
    return it->second;
  };
  palette.push_back(BlockState::air_rc());
  index.emplace(BlockState::air_rc(), 0);
  const Volume volume = box.volume();
  if (fill) {
    auto fill_index = index_of(fill);
    if (!fill_index.ok()) return fill_index.status();
    std::fill(cells, cells + size_t(volume), *fill_index);
  }
  const int64_t sy = box.d_y, sz = box.d_z;
  std::vector<Block> batch;
  while (true) {
    KUBIC_RETURN_IF_ERROR(check_interrupt());
    batch.clear();
    auto outcome = reader.read(batch, kBatchSize);
    if (!outcome.ok()) return outcome.status();
    if (!outcome->has_more) return Status::Ok();
    for (const Block& block : batch) {
      auto id = index_of(block.state);
      if (!id.ok()) return id.status();
      int64_t x = int64_t(block.position.x) - box.min_x, y = int64_t(block.position.y) - box.min_y,
              z = int64_t(block.position.z) - box.min_z;
      cells[size_t((x * sy + y) * sz + z)] = *id;
    }
  }
}

// The notices of the load running on this thread, if one is.
thread_local std::vector<std::string>* collected_notices = nullptr;

struct LoadRequest {
  std::string format;
  std::optional<std::string> region;  // of a Litematica file
};

// The regions of a Litematica file as dicts, in the coordinates of the
// schematic's origin: name, origin (minimum corner), size, position (the
// corner the file measures from) and the scheduled ticks.
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

// What a load found, before it becomes Python objects.
struct Loaded {
  std::unique_ptr<SchematicInputStream> reader;
  Boundary box;
  SchematicExtras extras;
  PyRef array;
  std::vector<StateRef> palette;
};

PyObject* new_array(const Boundary& box) {
  if (box.volume() > kMaxArrayPositions) {
    return raise_message(PyExc_MemoryError, "a box of " + volume_string(box.volume()) +
                                                " positions is too large for one array: read it in chunks");
  }
  npy_intp dims[3] = {std::max(box.d_x, 0), std::max(box.d_y, 0), std::max(box.d_z, 0)};
  return PyArray_ZEROS(3, dims, NPY_UINT16, 0);
}

uint16_t* cells_of(const PyRef& array) {
  return static_cast<uint16_t*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array.get())));
}

// Sponge and Litematica files fill the array straight from their block
// data, without the per-block store: the common case at the speed of its
// bytes. Under detection only inputs that can be read twice try it (and
// nothing comes of it when the input is another format); false with an
// exception set on a failure to report.
// Calls work(released): without the interpreter lock when `release`
// (`released` then takes it back for making Python objects), with it and
// a null `released` otherwise.
template <typename Work>
void run_released(bool release, Work&& work) {
  if (!release) return work(static_cast<WithoutGil*>(nullptr));
  WithoutGil released;
  work(&released);
}

// A new array for the box, made with the interpreter lock.
uint16_t* allocate_array(const Boundary& box, Loaded& loaded, WithoutGil* released) {
  auto make = [&] {
    loaded.array = PyRef(new_array(box));
    return loaded.array ? cells_of(loaded.array) : nullptr;
  };
  return released ? released->with_gil(make) : make();
}

template <typename Reader>
bool load_dense(std::unique_ptr<Reader> reader, bool must, bool release, Loaded& loaded, bool& done) {
  Status status;
  std::optional<Result<SchematicExtras>> extras;
  run_released(release, [&](WithoutGil* released) {
    status = reader->read_dense([&](const Boundary& box) { return allocate_array(box, loaded, released); },
                                loaded.palette, AxisOrder::XYZ);
    if (status.ok()) extras = reader->extras();
  });
  if (PyErr_Occurred()) return false;
  if (!status.ok()) {
    if (must) return raise_status(status), false;
    loaded.array = PyRef();
    loaded.palette.clear();
    return true;
  }
  if (!extras->ok()) return raise_status(extras->status()), false;
  loaded.box = **reader->boundary();
  loaded.extras = std::move(**extras);
  loaded.reader = std::move(reader);
  done = true;
  return true;
}

// Whether a path names a .litematic file, in any letter case.
bool litematic_name(std::string_view path) {
  constexpr std::string_view kExtension = ".litematic";
  if (path.size() < kExtension.size()) return false;
  std::string_view end = path.substr(path.size() - kExtension.size());
  return std::equal(end.begin(), end.end(), kExtension.begin(),
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

bool try_dense(PyObject* source_object, const LoadRequest& request, Loaded& loaded, bool& done) {
  done = false;
  const bool path = PyUnicode_Check(source_object);
  const bool rereadable = path || PyBytes_Check(source_object);
  // Under detection, the extension says which array road to try.
  bool litematic_path = false;
  if (path) {
    const char* text = PyUnicode_AsUTF8(source_object);
    if (!text) return false;
    litematic_path = litematic_name(text);
  }
  const bool auto_dense = request.format == "auto" && rereadable;
  auto document = [&]() { return reader_from(source_object); };
  if (request.format == "litematica" || (auto_dense && litematic_path)) {
    auto source = document();
    if (!source) return false;
    auto reader = std::make_unique<LitematicaSchematicInputStream>(make_document_chain(std::move(source)).source);
    if (request.region) reader->select_region(*request.region);
    if (!load_dense(std::move(reader), request.format == "litematica", rereadable, loaded, done)) return false;
  } else if (request.format == "sponge" || auto_dense) {
    auto source = document();
    if (!source) return false;
    auto reader = std::make_unique<SpongeSchematicInputStream>(make_document_chain(std::move(source)).source);
    if (!load_dense(std::move(reader), request.format == "sponge", rereadable, loaded, done)) return false;
  }
  return true;
}

bool load_blocks(PyObject* source_object, const LoadRequest& request, Loaded& loaded) {
  auto source = reader_from(source_object);
  if (!source) return false;
  loaded.reader = reader_for(request.format, std::move(source), request.region);
  loaded.reader->keep_listed_air();
  // A path or bytes: nothing Python behind the reader, other threads may run.
  const bool release = PyUnicode_Check(source_object) || PyBytes_Check(source_object);
  Status status;
  run_released(release, [&](WithoutGil* released) {
    auto declared = loaded.reader->boundary();
    auto extras = declared.ok() ? loaded.reader->extras() : Result<SchematicExtras>(declared.status());
    if (!extras.ok()) {
      status = extras.status();
      return;
    }
    loaded.box = declared->value_or(Boundary());
    loaded.extras = std::move(*extras);
    uint16_t* cells = allocate_array(loaded.box, loaded, released);
    status = cells ? fill_array(*loaded.reader, loaded.box, loaded.extras.fill, cells, loaded.palette)
                   : Status::Error("no memory for the blocks");
  });
  if (PyErr_Occurred()) return false;
  if (!status.ok()) return raise_read_error(loaded.reader.get(), status), false;
  return true;
}

PyObject* load(PyObject* source_object, const LoadRequest& request) {
  // Notices (legacy conversions) come back with the result: printing them
  // through a redirected sys.stdout would mix up loads on other threads.
  std::vector<std::string> notices;
  collected_notices = &notices;
  struct Uncollect {
    ~Uncollect() { collected_notices = nullptr; }
  } uncollect;
  Loaded loaded;
  bool done;
  if (!try_dense(source_object, request, loaded, done)) return nullptr;
  if (!done && !load_blocks(source_object, request, loaded)) return nullptr;
  const Boundary& box = loaded.box;
  const SchematicExtras& extras = loaded.extras;
  PyRef names(palette_texts(loaded.palette));
  if (!names) return nullptr;
  const BlockPosition corner{box.min_x, box.min_y, box.min_z};
  const BlockPosition origin{corner.x + extras.origin.x, corner.y + extras.origin.y, corner.z + extras.origin.z};
  PyRef block_entities(block_entities_of(extras, corner));
  PyRef entities(entities_of(extras, corner));
  PyRef metadata(nbt_to_python(Tag{extras.metadata}));
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
  return Py_BuildValue("(z(iii)NOOOOOOOO)", format_of(loaded.reader.get()), std::max(box.d_x, 0),
                       std::max(box.d_y, 0), std::max(box.d_z, 0), tuple_of(origin), names.get(), loaded.array.get(),
                       block_entities.get(), entities.get(), data_version.get(), metadata.get(), format_version.get(),
                       notice_object.get());
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
  LoadRequest request{format, std::nullopt};
  if (region != Py_None) {
    Py_ssize_t length;
    const char* name = PyUnicode_AsUTF8AndSize(region, &length);
    if (!name) return nullptr;
    request.region = std::string(name, size_t(length));
  }
  return guarded([&] { return load(source, request); });
}

}  // namespace kubic::py
