#include "kubic_core/chunks.h"

#define NO_IMPORT_ARRAY
#define PY_ARRAY_UNIQUE_SYMBOL kubic_core_ARRAY_API
#include <numpy/arrayobject.h>

#include <deque>
#include <unordered_map>

#include "common/interrupt.h"
#include "support/errors.h"
#include "support/py_ref.h"
#include "support/pystream.h"
#include "kubic_core/readers.h"

namespace kubic::py {

namespace {

// A slab holds cx positions along x over the whole y-z plane.
constexpr Volume kMaxSlabCells = Volume(1) << 28;

struct ChunkState {
  std::unique_ptr<SchematicInputStream> reader;
  Boundary box;
  int64_t chunk[3];
  std::deque<Block> pending;  // read but past the current slab
  bool ended = false;
  std::vector<uint16_t> slab;
  int64_t slab_x = 0;      // first x of the slab in the box
  int64_t next_chunk = 0;  // of the slab's chunks, in y, z order
  int64_t slab_chunks = 0;
  std::vector<bool> occupied;  // per chunk of the slab
  std::vector<StateRef> palette{BlockState::air_rc()};
  std::unordered_map<StateRef, uint16_t, StateRefHash> index{{BlockState::air_rc(), 0}};
  uint16_t fill = 0;
};

struct ChunkIterator {
  PyObject_HEAD
  ChunkState* state;
};

PyTypeObject* chunk_type = nullptr;

Result<uint16_t> index_of(ChunkState& s, const StateRef& state) {
  auto [it, added] = s.index.emplace(state, uint16_t(s.palette.size()));
  if (added) {
    if (s.palette.size() > 65535) return Status::Error("more than 65536 distinct states");
    s.palette.push_back(state);
  }
  return it->second;
}

// The next block in read order, or nothing at the end.
Result<std::optional<Block>> next_block(ChunkState& s) {
  while (s.pending.empty() && !s.ended) {
    KUBIC_RETURN_IF_ERROR(check_interrupt());
    std::vector<Block> batch;
    auto outcome = s.reader->read(batch, 4096);
    if (!outcome.ok()) return outcome.status();
    if (!outcome->has_more) s.ended = true;
    for (Block& block : batch) s.pending.push_back(std::move(block));
  }
  if (s.pending.empty()) return std::optional<Block>();
  Block block = std::move(s.pending.front());
  s.pending.pop_front();
  return std::optional<Block>(std::move(block));
}

// Fills the slab that holds the next block; false at the end.
Result<bool> fill_slab(ChunkState& s) {
  auto first = next_block(s);
  if (!first.ok()) return first.status();
  if (!*first) return false;
  s.pending.push_front(std::move(**first));
  const int64_t sy = s.box.d_y, sz = s.box.d_z, cx = s.chunk[0];
  // Empty stretches along x are skipped, not walked.
  s.slab_x = (int64_t(s.pending.front().position.x) - s.box.min_x) / cx * cx;
  const int64_t width = std::min<int64_t>(cx, s.box.d_x - s.slab_x);
  s.slab.assign(size_t(width * sy * sz), s.fill);
  const int64_t per_y = (sy + s.chunk[1] - 1) / s.chunk[1], per_z = (sz + s.chunk[2] - 1) / s.chunk[2];
  s.slab_chunks = per_y * per_z;
  s.occupied.assign(size_t(s.slab_chunks), s.fill != 0);
  s.next_chunk = 0;
  while (true) {
    auto block = next_block(s);
    if (!block.ok()) return block.status();
    if (!*block) break;
    int64_t x = int64_t((*block)->position.x) - s.box.min_x - s.slab_x;
    if (x >= width) {
      s.pending.push_front(std::move(**block));
      break;
    }
    int64_t y = int64_t((*block)->position.y) - s.box.min_y, z = int64_t((*block)->position.z) - s.box.min_z;
    auto id = index_of(s, (*block)->state);
    if (!id.ok()) return id.status();
    s.slab[size_t((x * sy + y) * sz + z)] = *id;
    if (*id != 0) s.occupied[size_t(y / s.chunk[1] * per_z + z / s.chunk[2])] = true;
  }
  return true;
}

PyObject* chunk_of(ChunkState& s, int64_t number) {
  const int64_t sy = s.box.d_y, sz = s.box.d_z;
  const int64_t per_z = (sz + s.chunk[2] - 1) / s.chunk[2];
  const int64_t y0 = number / per_z * s.chunk[1], z0 = number % per_z * s.chunk[2];
  const int64_t width = int64_t(s.slab.size()) / (sy * sz);
  npy_intp dims[3] = {npy_intp(width), npy_intp(std::min(s.chunk[1], sy - y0)), npy_intp(std::min(s.chunk[2], sz - z0))};
  PyRef array(PyArray_SimpleNew(3, dims, NPY_UINT16));
  if (!array) return nullptr;
  auto* out = static_cast<uint16_t*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array.get())));
  for (npy_intp x = 0; x < dims[0]; ++x) {
    for (npy_intp y = 0; y < dims[1]; ++y) {
      const uint16_t* row = s.slab.data() + size_t((x * sy + y0 + y) * sz + z0);
      std::copy(row, row + dims[2], out + (x * dims[1] + y) * dims[2]);
    }
  }
  PyRef names(palette_texts(s.palette));
  if (!names) return nullptr;
  return Py_BuildValue("((LLL)OO)", (long long)(s.box.min_x + s.slab_x), (long long)(s.box.min_y + y0),
                       (long long)(s.box.min_z + z0), array.get(), names.get());
}

PyObject* chunk_next(PyObject* self) {
  ChunkState& s = *reinterpret_cast<ChunkIterator*>(self)->state;
  return guarded([&]() -> PyObject* {
    while (true) {
      while (s.next_chunk < s.slab_chunks) {
        int64_t number = s.next_chunk++;
        if (s.occupied[size_t(number)]) return chunk_of(s, number);
      }
      auto more = fill_slab(s);
      if (!more.ok()) return raise_status(more.status());
      if (!*more) return nullptr;  // StopIteration
    }
  });
}

void chunk_dealloc(PyObject* self) {
  delete reinterpret_cast<ChunkIterator*>(self)->state;
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
    auto state = std::make_unique<ChunkState>();
    state->reader = reader_for(format, std::move(source));
    state->reader->keep_listed_air();
    auto declared = state->reader->boundary();
    if (!declared.ok()) return raise_read_error(state->reader.get(), declared.status());
    auto extras = state->reader->extras();
    if (!extras.ok()) return raise_read_error(state->reader.get(), extras.status());
    state->box = declared->value_or(Boundary());
    state->chunk[0] = cx;
    state->chunk[1] = cy;
    state->chunk[2] = cz;
    if (Volume(uint64_t(cx)) * Volume(uint64_t(std::max(state->box.d_y, 0))) * Volume(uint64_t(std::max(state->box.d_z, 0))) >
        kMaxSlabCells) {
      return raise_message(PyExc_MemoryError, "a slab of this box is too large: choose a smaller chunk along x");
    }
    if (extras->fill) {
      auto fill = index_of(*state, extras->fill);
      if (!fill.ok()) return raise_status(fill.status());
      state->fill = *fill;
    }
    auto* self = PyObject_New(ChunkIterator, chunk_type);
    if (!self) return nullptr;
    self->state = state.release();
    return reinterpret_cast<PyObject*>(self);
  });
}

}  // namespace kubic::py
