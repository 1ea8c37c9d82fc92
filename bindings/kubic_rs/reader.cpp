#include "kubic_rs/reader.h"

#include <memory>
#include <string>

#include "support/errors.h"
#include "support/gil.h"
#include "io/chains.h"
#include "io/recording_sink.h"
#include "support/py_ref.h"
#include "support/pystream.h"
#include "kubic_rs/value_classes.h"
#include "kubic_rs/static_type.h"
#include "formats/format_table.h"
#include "schematic/conversion.h"

namespace kubic::py {

namespace {

constexpr const char* kReaderPath = "kubic_rs::reader::KubicReader";
constexpr size_t kBulkSize = 8192;
constexpr size_t kCallbackBatch = 1024;

struct KubicReaderObject {
  PyObject_HEAD
  SchematicInputStream* reader;  // owned; null once closed
  bool entered;
  bool iterated;
  bool consumed;  // blocks were read: save() then writes what is left
  bool in_use;
  bool python_free;  // read from a path or bytes: no Python object behind it
  ThreadConfinement thread;
};

PyTypeObject reader_type_object;  // filled on first use

KubicReaderObject* as_reader(PyObject* self) { return reinterpret_cast<KubicReaderObject*>(self); }

// Exclusive use of a reader object for one operation; a nested operation
// (from a callback or a file object) is refused.
class Borrow {
 public:
  explicit Borrow(PyObject* self, const char* refusal = "Already borrowed") : self_(as_reader(self)) {
    if (!self_->thread.check(kReaderPath)) {
      self_ = nullptr;
    } else if (self_->in_use) {
      PyErr_SetString(PyExc_RuntimeError, refusal);
      self_ = nullptr;
    } else {
      self_->in_use = true;
    }
  }
  ~Borrow() {
    if (self_) self_->in_use = false;
  }
  explicit operator bool() const { return self_ != nullptr; }
  KubicReaderObject* operator->() const { return self_; }

 private:
  KubicReaderObject* self_;
};

PyObject* fail(const char* message) {
  PyErr_SetString(PyExc_RuntimeError, message);
  return nullptr;
}

void close_reader(KubicReaderObject* self) {
  delete self->reader;
  self->reader = nullptr;
}

std::string ascii_upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  }
  return text;
}

// The boundary as boundary() gives it, with its checks; false with the
// exception set on failure.
bool checked_boundary(KubicReaderObject* self, Boundary& out, bool release_gil = false) {
  const char* refusal = !self->entered ? "Cannot get boundary without entering context"
                        : !self->reader ? "Reader is closed"
                                        : nullptr;
  if (refusal) {
    fail(refusal);
    return false;
  }
  auto read_boundary = [&] {
    if (!release_gil) return self->reader->boundary();
    WithoutGil released;
    return self->reader->boundary();
  };
  auto boundary = read_boundary();
  if (!boundary.ok()) {
    raise_status(boundary.status());
    return false;
  }
  if (!boundary->has_value()) {
    fail("Failed to read boundary");
    return false;
  }
  out = **boundary;
  return true;
}

PyObject* reader_enter(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    Borrow r(self);
    if (!r) return nullptr;
    if (r->entered) return fail("Cannot enter context multiple times");
    if (!r->reader) return fail("Reader is already closed");
    if (r->iterated) return fail("Cannot enter context again after iterating");
    r->entered = true;
    return Py_NewRef(self);
  });
}

PyObject* reader_exit(PyObject* self, PyObject* args, PyObject* kwargs) {
  static const char* names[] = {"_exc_type", "_exc_val", "_exc_tb", nullptr};
  PyObject *type, *value, *traceback;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOO:__exit__", const_cast<char**>(names), &type,
                                   &value, &traceback)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    Borrow r(self);
    if (!r) return nullptr;
    if (!r->entered) return fail("Cannot exit context without entering");
    if (!r->reader) return fail("Reader is already closed");
    close_reader(r.operator->());
    Py_RETURN_NONE;
  });
}

PyObject* reader_close(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    Borrow r(self);
    if (!r) return nullptr;
    close_reader(r.operator->());
    Py_RETURN_NONE;
  });
}

PyObject* reader_boundary(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    Borrow r(self);
    Boundary boundary;
    if (!r || !checked_boundary(r.operator->(), boundary)) return nullptr;
    return new_boundary(boundary);
  });
}

PyObject* reader_iter_bulks(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    Borrow r(self);
    if (!r) return nullptr;
    if (!r->reader) return fail("Reader is closed");
    if (r->iterated) return fail("Iterator already called");
    r->iterated = true;
    return Py_NewRef(self);
  });
}

PyObject* reader_iter(PyObject* self) {
  Borrow r(self, "Already mutably borrowed");
  return r ? Py_NewRef(self) : nullptr;
}

PyObject* reader_next(PyObject* self) {
  return guarded([&]() -> PyObject* {
    Borrow r(self);
    if (!r) return nullptr;
    if (!r->entered) return fail("Cannot iterate without entering context");
    if (!r->reader) return fail("Reader is closed");
    if (!r->iterated) return fail("Iterator not initialized, call iter_bulks() first");
    r->consumed = true;
    auto bulk = r->reader->read_next(kBulkSize);
    if (!bulk.ok()) return raise_status(bulk.status());
    if (!bulk->has_value()) {
      PyErr_SetString(PyExc_StopIteration, "End of stream");
      return nullptr;
    }
    return new_block_list(std::move(**bulk));
  });
}

PyObject* reader_read_full(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    Borrow r(self);
    if (!r) return nullptr;
    if (!r->entered) return fail("Cannot read without entering context");
    if (!r->reader) return fail("Reader is closed");
    if (r->iterated) return fail("Cannot read full after iterating");
    // Every remaining block, as read_to_end_into_vec() gathers them, but
    // turned into Python objects batch by batch: no second list of core
    // blocks as large as the whole schematic.
    PyRef all(PyList_New(0));
    if (!all) return nullptr;
    r->consumed = true;
    while (true) {
      auto batch = r->reader->read_next(kBatchSize);
      if (!batch.ok()) return raise_status(batch.status());
      if (!batch->has_value()) return all.release();
      PyRef bulk(new_block_list(std::move(**batch)));
      if (!bulk) return nullptr;
      Py_ssize_t end = PyList_GET_SIZE(all.get());
      if (PyList_SetSlice(all.get(), end, end, bulk.get()) < 0) return nullptr;
    }
  });
}

PyObject* reader_iterate_blocks(PyObject* self, PyObject* args, PyObject* kwargs) {
  static const char* names[] = {"callback", nullptr};
  PyObject* callback;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:iterate_blocks", const_cast<char**>(names), &callback)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    Borrow r(self);
    if (!r) return nullptr;
    if (!r->entered) return fail("Cannot iterate without entering context");
    if (!r->reader) return fail("Reader is closed");
    if (r->iterated) return fail("Iterator already called");
    r->consumed = true;
    auto batch = r->reader->read_next(kCallbackBatch);
    if (!batch.ok()) return raise_status(batch.status());
    if (!batch->has_value() || (*batch)->empty()) Py_RETURN_NONE;
    if (!PyCallable_Check(callback)) {
      PyErr_Format(PyExc_TypeError, "'%s' object is not callable", Py_TYPE(callback)->tp_name);
      return nullptr;
    }
    for (Block& block : **batch) {
      PyRef item(new_block(std::move(block)));
      if (!item) return nullptr;
      // The callback's result is ignored and its exceptions are discarded.
      PyRef result(PyObject_CallOneArg(callback, item.get()));
      if (!result) PyErr_Clear();
    }
    Py_RETURN_NONE;
  });
}

// The writable format of a type name (any letter case), or null with
// ValueError.
const FormatEntry* format_for(const std::string& format) {
  const FormatEntry* entry = find_stream_type(format);
  if (entry && entry->writable()) return entry;
  if (ascii_upper(format) == "AUTO") {
    PyErr_SetString(PyExc_ValueError, "Must specify a concrete type when saving");
  } else {
    raise_message(PyExc_ValueError, "Unknown format: " + format);
  }
  return nullptr;
}

// Everything the reader holds goes through the conversion engine; once
// blocks were read, the blocks left are written with the reader's extras.
Status save_into(KubicReaderObject* self, const FormatEntry& format, std::unique_ptr<ByteSink> chain,
                 const Boundary& boundary) {
  if (!self->consumed) return convert_schematic(*self->reader, format.id, std::move(chain));
  auto extras = self->reader->extras();
  if (!extras.ok()) return extras.status();
  auto box = format.sized_by_its_blocks ? std::nullopt : std::optional<Boundary>(boundary);
  auto writer = format.make_writer(std::move(chain), box, {});
  KUBIC_RETURN_IF_ERROR(writer->set_extras(std::move(*extras)));
  return self->reader->transfer_into(std::move(writer));
}

PyObject* reader_save(PyObject* self, PyObject* args, PyObject* kwargs) {
  static const char* names[] = {"output", "format", nullptr};
  PyObject* output;
  const char* format = "kub";
  Py_ssize_t format_length = 3;
  PyObject* format_object = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O:save", const_cast<char**>(names), &output, &format_object)) {
    return nullptr;
  }
  if (format_object && !PyUnicode_Check(format_object)) {
    PyErr_Format(PyExc_TypeError, "argument 'format': '%s' object cannot be converted to 'PyString'",
                 Py_TYPE(format_object)->tp_name);
    return nullptr;
  }
  if (format_object && !(format = PyUnicode_AsUTF8AndSize(format_object, &format_length))) return nullptr;
  return guarded([&]() -> PyObject* {
    Borrow r(self);
    if (!r) return nullptr;
    if (!r->reader) return fail("Reader is closed");
    OutputTarget target = writer_from(output);
    if (!target.sink) return nullptr;
    // Failures of the final write-out happen while the chain is destroyed;
    // the recorder keeps them so that they are reported, not lost.
    auto first_failure = std::make_shared<Status>();
    Boundary boundary;
    // Path to path: nothing Python is touched, other threads may run.
    const bool release_gil = r->python_free && target.file;
    if (!checked_boundary(r.operator->(), boundary, release_gil)) return nullptr;
    auto output_format = format_for(std::string(format, size_t(format_length)));
    if (!output_format) return nullptr;
    auto chain = make_output_chain(std::make_unique<RecordingSink>(std::move(target.sink), first_failure),
                                   output_format->gzip_output);
    Status status;
    if (release_gil) {
      WithoutGil released;
      status = save_into(r.operator->(), *output_format, std::move(chain), boundary);
    } else {
      status = save_into(r.operator->(), *output_format, std::move(chain), boundary);
    }
    if (!status.ok()) return raise_status(status);
    if (!first_failure->ok()) return raise_status(*first_failure);
    if (target.file) {
      Status committed = target.file->commit();
      if (!committed.ok()) return raise_status(committed);
    }
    Py_RETURN_NONE;
  });
}

PyObject* reader_str(PyObject* self) {
  Borrow r(self, "Already mutably borrowed");
  return r ? PyUnicode_FromString("kubic_rs.read() block") : nullptr;
}

void reader_dealloc(PyObject* self) {
  auto* r = as_reader(self);
  if (r->thread.may_release(kReaderPath)) close_reader(r);
  PyObject_Free(self);
}

PyMethodDef reader_methods[] = {
    {"__enter__", reader_enter, METH_NOARGS,
     "__enter__($self)\n--\n\nEnters the reader's context: its other methods work only inside it."},
    {"__exit__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(reader_exit)),
     METH_VARARGS | METH_KEYWORDS,
     "__exit__($self, _exc_type, _exc_val, _exc_tb)\n--\n\nLeaves the context and closes the reader."},
    {"close", reader_close, METH_NOARGS, "close($self)\n--\n\nCloses the reader and its input."},
    {"boundary", reader_boundary, METH_NOARGS,
     "boundary($self)\n--\n\nThe box the file declares, as a PyBoundary (the header is read first if\n"
     "needed; no block is consumed). RuntimeError 'Failed to read boundary' when it declares none."},
    {"iter_bulks", reader_iter_bulks, METH_NOARGS,
     "iter_bulks($self)\n--\n\nAn iterator of lists of PyBlock: the blocks not yet read, one batch at a\n"
     "time, in file order. One pass: the blocks it yields are consumed."},
    {"iter_blocks", reader_iter_bulks, METH_NOARGS, "iter_blocks($self)\n--\n\nThe same as iter_bulks()."},
    {"read_full", reader_read_full, METH_NOARGS,
     "read_full($self)\n--\n\nEvery block not yet read, as one list; they are consumed, so a second call\n"
     "gives an empty list. For a whole file as an array, use kubic.load()."},
    {"iterate_blocks", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(reader_iterate_blocks)),
     METH_VARARGS | METH_KEYWORDS,
     "iterate_blocks($self, callback)\n--\n\nCalls callback(block) for each block of one batch (up to 1024\n"
     "blocks), then returns: call it again for the next batch."},
    {"save", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(reader_save)),
     METH_VARARGS | METH_KEYWORDS,
     "save($self, output, format=\"kub\")\n--\n\nWrites the blocks not yet read, with the file's block\n"
     "entities, entities and metadata, to a path (replaced only once written whole) or a binary file\n"
     "object, as \"kub\", \"sponge\", \"mojang\" or \"litematica\". One pass: on a fresh reader that is the\n"
     "whole file; after read_full() it is what is left."},
    {nullptr, nullptr, 0, nullptr},
};

constexpr const char* kReaderDoc =
    "A one-pass reader of one schematic file, made by kubic_rs.open(). It holds one batch of blocks\n"
    "at a time; every block it hands out (iter_bulks, read_full, iterate_blocks) is consumed, and\n"
    "save() writes what is left. Use it as a context manager.";

// The format name from input.type (a str, or an object whose .name is a
// str); "auto" in every other case, lookup errors discarded.
std::string format_name_of(PyObject* input) {
  PyRef type(PyObject_GetAttrString(input, "type"));
  if (!type) {
    PyErr_Clear();
    return "auto";
  }
  PyRef name = PyUnicode_Check(type.get()) ? PyRef::borrowed(type.get())
                                           : PyRef(PyObject_GetAttrString(type.get(), "name"));
  const char* text = (name && PyUnicode_Check(name.get())) ? PyUnicode_AsUTF8(name.get()) : nullptr;
  if (!text) {
    PyErr_Clear();
    return "auto";
  }
  return text;
}

// The reader of a type name (upper-cased; "AUTO" detects), or null with
// ValueError.
std::unique_ptr<SchematicInputStream> reader_for(const std::string& name, std::unique_ptr<ByteSource> source) {
  const FormatEntry* format = find_stream_type(name);
  if (!format && name != "AUTO") {
    raise_message(PyExc_ValueError, "Unknown type: " + name);
    return nullptr;
  }
  return open_reader(format, std::move(source));
}

}  // namespace

PyTypeObject* reader_type() {
  static PyTypeObject* type = ready_static_type(
      reader_type_object, {"KubicReader", sizeof(KubicReaderObject), reader_methods, reader_str, nullptr,
                           reader_dealloc, nullptr, kReaderDoc, reader_iter, reader_next});
  return type;
}

PyObject* open_schematic(PyObject*, PyObject* args, PyObject* kwargs) {
  static const char* names[] = {"input", nullptr};
  PyObject* input;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:open", const_cast<char**>(names), &input)) return nullptr;
  return guarded([&]() -> PyObject* {
    std::string name = ascii_upper(format_name_of(input));
    auto source = reader_from(input);
    if (!source) return nullptr;
    auto reader = reader_for(name, std::move(source));
    if (!reader) return nullptr;
    PyTypeObject* type = reader_type();
    if (!type) return nullptr;
    auto* self = PyObject_New(KubicReaderObject, type);
    if (!self) return nullptr;
    self->reader = reader.release();
    self->entered = false;
    self->iterated = false;
    self->consumed = false;
    self->in_use = false;
    self->python_free = PyUnicode_Check(input) || PyBytes_Check(input);
    new (&self->thread) ThreadConfinement();
    return reinterpret_cast<PyObject*>(self);
  });
}

}  // namespace kubic::py
