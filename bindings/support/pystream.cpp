#include "support/pystream.h"

#include <cstring>
#include <vector>

#include "support/errors.h"
#include "io/file_stream.h"
#include "io/memory_stream.h"
#include "support/py_ref.h"

namespace kubic::py {

namespace {

// Holds the interpreter lock for one call into the file object, taking it
// if needed. An exception already pending (the adapter may be called while
// a failing operation unwinds) is set aside and restored afterwards, so
// that the object's own exceptions neither replace nor clear it.
class GilScope {
 public:
  GilScope() : state_(PyGILState_Ensure()) { PyErr_Fetch(&type_, &value_, &traceback_); }
  ~GilScope() {
    if (type_) PyErr_Restore(type_, value_, traceback_);
    PyGILState_Release(state_);
  }

 private:
  PyGILState_STATE state_;
  PyObject *type_ = nullptr, *value_ = nullptr, *traceback_ = nullptr;
};

// Looks an attribute up as hasattr() does: -1 with the exception kept when
// the lookup raised something other than AttributeError.
int has_attribute(PyObject* object, const char* name) {
  PyRef value(PyObject_GetAttrString(object, name));
  if (value) return 1;
  if (PyErr_ExceptionMatches(PyExc_AttributeError)) {
    PyErr_Clear();
    return 0;
  }
  return -1;
}

// The UTF-8 path of a str, or null with an exception; refuses URLs.
const char* path_of(PyObject* text, Py_ssize_t& length) {
  const char* path = PyUnicode_AsUTF8AndSize(text, &length);
  if (!path) return nullptr;
  if (length >= 4 && std::memcmp(path, "http", 4) == 0) {
    PyErr_SetString(PyExc_NotImplementedError, "HTTP not linked");
    return nullptr;
  }
  return path;
}

}  // namespace

PyStreamAdapter::PyStreamAdapter(PyObject* object) : object_(object) { Py_INCREF(object_); }

PyStreamAdapter::~PyStreamAdapter() {
  GilScope gil;
  Py_DECREF(object_);
}

Result<size_t> PyStreamAdapter::read(uint8_t* buffer, size_t length) {
  GilScope gil;
  PyRef result(PyObject_CallMethod(object_, "read", "n", Py_ssize_t(length)));
  if (!result) return Status::Error(take_exception_display());
  if (!PyBytes_Check(result.get())) return Status::Error("Failed to extract bytes ");
  size_t n = std::min(length, size_t(PyBytes_GET_SIZE(result.get())));
  std::memcpy(buffer, PyBytes_AS_STRING(result.get()), n);
  return n;
}

Result<size_t> PyStreamAdapter::write(const uint8_t* data, size_t length) {
  GilScope gil;
  PyRef bytes(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(data), Py_ssize_t(length)));
  if (!bytes) return Status::Error(take_exception_display());
  PyRef result(PyObject_CallMethod(object_, "write", "O", bytes.get()));
  if (!result) return Status::Error(take_exception_display());
  PyRef index(PyNumber_Index(result.get()));
  unsigned long long written = index ? PyLong_AsUnsignedLongLong(index.get()) : 0;
  if (!index || PyErr_Occurred()) {
    PyErr_Clear();
    return Status::Error("Failed to extract written length");
  }
  return size_t(written);
}

Status PyStreamAdapter::flush() {
  GilScope gil;
  PyRef result(PyObject_CallMethod(object_, "flush", nullptr));
  if (!result) return Status::Error(take_exception_display());
  return Status::Ok();
}

std::unique_ptr<ByteSource> reader_from(PyObject* input) {
  if (PyUnicode_Check(input)) {
    Py_ssize_t length;
    const char* path = path_of(input, length);
    if (!path) return nullptr;
    OpenError error;
    auto file = FileSource::open(std::string(path, size_t(length)), error);
    if (!file) raise_open_error(error);
    return file;
  }
  if (PyBytes_Check(input)) {
    const auto* data = reinterpret_cast<const uint8_t*>(PyBytes_AS_STRING(input));
    return std::make_unique<MemorySource>(std::vector<uint8_t>(data, data + PyBytes_GET_SIZE(input)));
  }
  int readable = has_attribute(input, "read");
  if (readable < 0) return nullptr;
  if (readable) return std::make_unique<PyStreamAdapter>(input);
  PyErr_SetString(PyExc_TypeError, "Input must be a path, URL, bytes, or file-like object");
  return nullptr;
}

OutputTarget writer_from(PyObject* output) {
  return writer_from(output, [](const OpenError& error, const std::string&) { raise_open_error(error); });
}

OutputTarget writer_from(PyObject* output, const OpenErrorRaiser& raise_failure) {
  OutputTarget target;
  if (PyUnicode_Check(output)) {
    Py_ssize_t length;
    const char* path = path_of(output, length);
    if (!path) return target;
    OpenError error;
    target.file = AtomicFile::create(std::string(path, size_t(length)), error);
    if (!target.file) {
      raise_failure(error, std::string(path, size_t(length)));
      return target;
    }
    target.sink = target.file->take_sink();
    return target;
  }
  int writable = has_attribute(output, "write");
  if (writable < 0) return target;
  if (writable) {
    target.sink = std::make_unique<PyStreamAdapter>(output);
    return target;
  }
  PyErr_SetString(PyExc_TypeError, "Input must be a path, URL, or file-like object");
  return target;
}

}  // namespace kubic::py
