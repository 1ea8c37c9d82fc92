#pragma once

#include <Python.h>

#include <functional>
#include <memory>
#include <string>

#include "io/atomic_file.h"
#include "io/byte_stream.h"

namespace kubic::py {

// A byte source or sink over a Python object's read, write and flush. It
// holds a strong reference for its whole life; failures of the object
// become I/O errors carrying the exception's display form.
class PyStreamAdapter final : public ByteSource, public ByteSink {
 public:
  explicit PyStreamAdapter(PyObject* object);
  ~PyStreamAdapter() override;

  Result<size_t> read(uint8_t* buffer, size_t length) override;
  Result<size_t> write(const uint8_t* data, size_t length) override;
  Status flush() override;

 private:
  PyObject* object_;
};

// A byte source for a path (str), a bytes object (copied) or an object with
// a "read" attribute; null with a Python exception set otherwise.
std::unique_ptr<ByteSource> reader_from(PyObject* input);

// Where save() writes: a sink, and for a path the file that commit() puts
// in place once the whole save succeeded.
struct OutputTarget {
  std::unique_ptr<ByteSink> sink;
  std::unique_ptr<AtomicFile> file;
};

// How a failure to open a path for writing is raised.
using OpenErrorRaiser = std::function<void(const OpenError& error, const std::string& path)>;

// The output for a path (str) or an object with a "write" attribute; an
// empty target with a Python exception set otherwise (`raise_failure` for
// a path that cannot be opened).
OutputTarget writer_from(PyObject* output, const OpenErrorRaiser& raise_failure);
OutputTarget writer_from(PyObject* output);

}  // namespace kubic::py
