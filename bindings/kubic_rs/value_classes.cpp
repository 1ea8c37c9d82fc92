#include "kubic_rs/value_classes.h"

#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#include <numpy/arrayobject.h>

#include <string>

#include "support/errors.h"
#include "support/py_ref.h"
#include "kubic_rs/static_type.h"

namespace kubic::py {

namespace {

constexpr const char* kStatePath = "kubic_rs::shared::PyBlockState";
constexpr const char* kBlockPath = "kubic_rs::shared::PyBlock";

struct PyBoundaryObject {
  PyObject_HEAD
  int32_t min[3];
  uint32_t size[3];
};

struct PyBlockPositionObject {
  PyObject_HEAD
  BlockPosition position;
};

struct PyBlockStateObject {
  PyObject_HEAD
  const BlockState* state;  // one counted reference
  ThreadConfinement thread;
};

struct PyBlockObject {
  PyObject_HEAD
  const BlockState* state;  // one counted reference
  BlockPosition position;
  ThreadConfinement thread;
};

PyTypeObject boundary_type_object;  // filled on first use
PyTypeObject position_type_object;  // filled on first use
PyTypeObject state_type_object;  // filled on first use
PyTypeObject block_type_object;  // filled on first use

PyObject* text(const std::string& utf8) {
  return PyUnicode_DecodeUTF8(utf8.data(), Py_ssize_t(utf8.size()), "replace");
}

// --- PyBlockPosition -------------------------------------------------------

PyTypeObject* position_type();

PyObject* new_position(const BlockPosition& p) {
  PyTypeObject* type = position_type();
  if (!type) return nullptr;
  auto* self = PyObject_New(PyBlockPositionObject, type);
  if (self) self->position = p;
  return reinterpret_cast<PyObject*>(self);
}

const BlockPosition& position_of(PyObject* self) {
  return reinterpret_cast<PyBlockPositionObject*>(self)->position;
}

PyObject* position_x(PyObject* self, PyObject*) { return PyLong_FromLong(position_of(self).x); }
PyObject* position_y(PyObject* self, PyObject*) { return PyLong_FromLong(position_of(self).y); }
PyObject* position_z(PyObject* self, PyObject*) { return PyLong_FromLong(position_of(self).z); }

std::string position_text(const BlockPosition& p) {
  return "(" + std::to_string(p.x) + ", " + std::to_string(p.y) + ", " + std::to_string(p.z) + ")";
}

PyObject* position_str(PyObject* self) { return text(position_text(position_of(self))); }

PyMethodDef position_methods[] = {
    {"x", position_x, METH_NOARGS, "x($self)\n--\n\n"},
    {"y", position_y, METH_NOARGS, "y($self)\n--\n\n"},
    {"z", position_z, METH_NOARGS, "z($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyTypeObject* position_type() {
  static PyTypeObject* type = ready_static_type(position_type_object, {"PyBlockPosition", sizeof(PyBlockPositionObject), position_methods, position_str, position_str});
  return type;
}

// --- PyBoundary ----------------------------------------------------------

PyTypeObject* boundary_type();

PyBoundaryObject* as_boundary(PyObject* self) { return reinterpret_cast<PyBoundaryObject*>(self); }

bool extract_field(PyObject* value, const char* name, long long low, long long high, long long& out) {
  PyRef index(PyNumber_Index(value));
  if (!index) {
    if (PyErr_ExceptionMatches(PyExc_TypeError)) {
      PyErr_Clear();
      PyErr_Format(PyExc_TypeError, "argument '%s': '%s' object cannot be interpreted as an integer",
                   name, Py_TYPE(value)->tp_name);
    }
    return false;
  }
  int overflow = 0;
  long long v = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
  if (v == -1 && PyErr_Occurred()) return false;
  if (overflow || v < low || v > high) {
    PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
    return false;
  }
  out = v;
  return true;
}

PyObject* boundary_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const char* names[] = {"min_x", "min_y", "min_z", "d_x", "d_y", "d_z", nullptr};
  PyObject* values[6];
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOOOOO:PyBoundary", const_cast<char**>(names),
                                   &values[0], &values[1], &values[2], &values[3], &values[4],
                                   &values[5])) {
    return nullptr;
  }
  long long fields[6];
  for (int i = 0; i < 6; ++i) {
    long long low = i < 3 ? INT32_MIN : 0;
    long long high = i < 3 ? INT32_MAX : UINT32_MAX;
    if (!extract_field(values[i], names[i], low, high, fields[i])) return nullptr;
  }
  auto* self = reinterpret_cast<PyBoundaryObject*>(type->tp_alloc(type, 0));
  if (!self) return nullptr;
  for (int i = 0; i < 3; ++i) {
    self->min[i] = int32_t(fields[i]);
    self->size[i] = uint32_t(fields[3 + i]);
  }
  return reinterpret_cast<PyObject*>(self);
}

PyObject* boundary_min(PyObject* self, PyObject*) {
  auto* b = as_boundary(self);
  return new_position({b->min[0], b->min[1], b->min[2]});
}

PyObject* boundary_max(PyObject* self, PyObject*) {
  auto* b = as_boundary(self);
  auto corner = [&](int a) { return int32_t(uint32_t(b->min[a]) + b->size[a] - 1u); };
  return new_position({corner(0), corner(1), corner(2)});
}

PyObject* boundary_size(PyObject* self, PyObject*) {
  auto* b = as_boundary(self);
  return Py_BuildValue("(kkk)", (unsigned long)b->size[0], (unsigned long)b->size[1],
                       (unsigned long)b->size[2]);
}

template <int I>
PyObject* boundary_min_axis(PyObject* self, PyObject*) {
  return PyLong_FromLong(as_boundary(self)->min[I]);
}

template <int I>
PyObject* boundary_size_axis(PyObject* self, PyObject*) {
  return PyLong_FromUnsignedLong(as_boundary(self)->size[I]);
}

PyObject* boundary_to_numpy(PyObject* self, PyObject*) {
  // NumPy is imported on first use, so that importing the module stays cheap.
  static bool numpy_ready = false;
  if (!numpy_ready) {
    if (_import_array() < 0) return nullptr;
    numpy_ready = true;
  }
  npy_intp dims[1] = {6};
  PyObject* array = PyArray_SimpleNew(1, dims, NPY_FLOAT64);
  if (!array) return nullptr;
  auto* data = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array)));
  auto* b = as_boundary(self);
  for (int i = 0; i < 3; ++i) {
    data[i] = double(b->min[i]);
    data[3 + i] = double(b->size[i]);
  }
  return array;
}

PyObject* boundary_str(PyObject* self) {
  auto* b = as_boundary(self);
  return text("Boundary(min=(" + std::to_string(b->min[0]) + ", " + std::to_string(b->min[1]) + ", " +
              std::to_string(b->min[2]) + "), size=(" + std::to_string(b->size[0]) + ", " +
              std::to_string(b->size[1]) + ", " + std::to_string(b->size[2]) + "))");
}

PyMethodDef boundary_methods[] = {
    {"min", boundary_min, METH_NOARGS, "min($self)\n--\n\n"},
    {"max", boundary_max, METH_NOARGS, "max($self)\n--\n\n"},
    {"size", boundary_size, METH_NOARGS, "size($self)\n--\n\n"},
    {"min_x", boundary_min_axis<0>, METH_NOARGS, "min_x($self)\n--\n\n"},
    {"min_y", boundary_min_axis<1>, METH_NOARGS, "min_y($self)\n--\n\n"},
    {"min_z", boundary_min_axis<2>, METH_NOARGS, "min_z($self)\n--\n\n"},
    {"d_x", boundary_size_axis<0>, METH_NOARGS, "d_x($self)\n--\n\n"},
    {"d_y", boundary_size_axis<1>, METH_NOARGS, "d_y($self)\n--\n\n"},
    {"d_z", boundary_size_axis<2>, METH_NOARGS, "d_z($self)\n--\n\n"},
    {"to_numpy", boundary_to_numpy, METH_NOARGS, "to_numpy($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyTypeObject* boundary_type() {
  static PyTypeObject* type = ready_static_type(boundary_type_object, {"PyBoundary", sizeof(PyBoundaryObject), boundary_methods, boundary_str, boundary_str,
                                            nullptr, boundary_new,
                                            "PyBoundary(min_x, min_y, min_z, d_x, d_y, d_z)\n--\n\n"});
  return type;
}

// --- PyBlockState ----------------------------------------------------------

PyTypeObject* state_type();

std::string state_text(const BlockState& state) {
  std::string out = state.name() + "[";
  const auto& props = state.properties();
  for (size_t i = 0; i < props.size(); ++i) {
    if (i) out += ", ";
    out += props[i].first + "=" + props[i].second;
  }
  return out + "]";
}

PyObject* new_state(const BlockState* shared) {
  PyTypeObject* type = state_type();
  if (!type) return nullptr;
  auto* self = PyObject_New(PyBlockStateObject, type);
  if (!self) return nullptr;
  self->state = StateRef::share(shared).release_pointer();
  new (&self->thread) ThreadConfinement();
  return reinterpret_cast<PyObject*>(self);
}

PyBlockStateObject* checked_state(PyObject* self) {
  auto* s = reinterpret_cast<PyBlockStateObject*>(self);
  return s->thread.check(kStatePath) ? s : nullptr;
}

void state_dealloc(PyObject* self) {
  auto* s = reinterpret_cast<PyBlockStateObject*>(self);
  if (s->thread.may_release(kStatePath)) StateRef::adopt(s->state);
  PyObject_Free(self);
}

PyObject* state_name(PyObject* self, PyObject*) {
  auto* s = checked_state(self);
  return s ? text(s->state->name()) : nullptr;
}

PyObject* state_properties(PyObject* self, PyObject*) {
  auto* s = checked_state(self);
  if (!s) return nullptr;
  const auto& props = s->state->properties();
  PyRef list(PyList_New(Py_ssize_t(props.size())));
  if (!list) return nullptr;
  for (size_t i = 0; i < props.size(); ++i) {
    PyRef key(text(props[i].first));
    PyRef value(text(props[i].second));
    if (!key || !value) return nullptr;
    PyObject* pair = PyTuple_Pack(2, key.get(), value.get());
    if (!pair) return nullptr;
    PyList_SET_ITEM(list.get(), Py_ssize_t(i), pair);
  }
  return list.release();
}

PyObject* state_str(PyObject* self) {
  auto* s = checked_state(self);
  return s ? text(state_text(*s->state)) : nullptr;
}

PyMethodDef state_methods[] = {
    {"id", state_name, METH_NOARGS, "id($self)\n--\n\n"},
    {"name", state_name, METH_NOARGS, "name($self)\n--\n\n"},
    {"properties", state_properties, METH_NOARGS, "properties($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyTypeObject* state_type() {
  static PyTypeObject* type = ready_static_type(state_type_object, {"PyBlockState", sizeof(PyBlockStateObject), state_methods, state_str, nullptr, state_dealloc});
  return type;
}

// --- PyBlock -------------------------------------------------------------

PyTypeObject* block_type();

PyBlockObject* checked_block(PyObject* self) {
  auto* b = reinterpret_cast<PyBlockObject*>(self);
  return b->thread.check(kBlockPath) ? b : nullptr;
}

// Blocks come and go by the thousand in bulks: freed ones are kept for
// reuse instead of going back to the allocator. Only touched with the
// interpreter lock held.
constexpr size_t kFreeBlocks = 8192;
PyBlockObject* free_blocks[kFreeBlocks];
size_t free_block_count = 0;

void block_dealloc(PyObject* self) {
  auto* b = reinterpret_cast<PyBlockObject*>(self);
  if (b->thread.may_release(kBlockPath)) StateRef::adopt(b->state);
  if (free_block_count < kFreeBlocks) {
    free_blocks[free_block_count++] = b;
  } else {
    PyObject_Free(self);
  }
}

PyObject* block_position(PyObject* self, PyObject*) {
  auto* b = checked_block(self);
  return b ? new_position(b->position) : nullptr;
}

PyObject* block_state(PyObject* self, PyObject*) {
  auto* b = checked_block(self);
  return b ? new_state(b->state) : nullptr;
}

PyObject* block_str(PyObject* self) {
  auto* b = checked_block(self);
  if (!b) return nullptr;
  return text("Block at " + position_text(b->position) + " with state " + state_text(*b->state));
}

PyMethodDef block_methods[] = {
    {"position", block_position, METH_NOARGS, "position($self)\n--\n\n"},
    {"state", block_state, METH_NOARGS, "state($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyTypeObject* block_type() {
  static PyTypeObject* type = ready_static_type(block_type_object, {"PyBlock", sizeof(PyBlockObject), block_methods, block_str, block_str, block_dealloc});
  return type;
}

PyObject* make_block(PyTypeObject* type, Block&& block, unsigned long thread) {
  PyBlockObject* self;
  if (free_block_count > 0) {
    self = free_blocks[--free_block_count];
    PyObject_Init(reinterpret_cast<PyObject*>(self), type);
  } else {
    self = PyObject_New(PyBlockObject, type);
    if (!self) return nullptr;
  }
  self->state = block.state.release_pointer();
  self->position = block.position;
  self->thread.owner = thread;
  return reinterpret_cast<PyObject*>(self);
}

}  // namespace

PyObject* new_boundary(const Boundary& boundary) {
  PyTypeObject* type = boundary_type();
  if (!type) return nullptr;
  auto* self = PyObject_New(PyBoundaryObject, type);
  if (!self) return nullptr;
  for (int a = 0; a < 3; ++a) {
    self->min[a] = boundary.min_of(a);
    self->size[a] = uint32_t(boundary.size_of(a));
  }
  return reinterpret_cast<PyObject*>(self);
}

PyObject* new_block(Block&& block) {
  PyTypeObject* type = block_type();
  return type ? make_block(type, std::move(block), PyThread_get_thread_ident()) : nullptr;
}

PyObject* new_block_list(std::vector<Block>&& blocks) {
  PyTypeObject* type = block_type();
  if (!type) return nullptr;
  PyRef list(PyList_New(Py_ssize_t(blocks.size())));
  if (!list) return nullptr;
  const unsigned long thread = PyThread_get_thread_ident();
  for (size_t i = 0; i < blocks.size(); ++i) {
    PyObject* item = make_block(type, std::move(blocks[i]), thread);
    if (!item) return nullptr;
    PyList_SET_ITEM(list.get(), Py_ssize_t(i), item);
  }
  return list.release();
}

}  // namespace kubic::py
