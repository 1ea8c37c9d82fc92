#pragma once

#include <cstddef>
#include <cstdint>

#include "common/status.h"

namespace kubic {

// A readable stream of bytes, owned by whoever reads it.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `length` bytes into `buffer`; 0 means end of input.
  virtual Result<size_t> read(uint8_t* buffer, size_t length) = 0;
};

// A writable stream of bytes. Destroying a sink writes out what its own
// layers still hold, silently; finish() does the same and reports errors.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Takes up to `length` bytes; returns how many it took.
  virtual Result<size_t> write(const uint8_t* data, size_t length) = 0;
  virtual Status flush() = 0;
  // Writes out everything held by this layer and the ones below it (for a
  // gzip layer, its trailer), without flushing the final sink.
  virtual Status finish() { return Status::Ok(); }
};

// Reads exactly `length` bytes, failing at a short read or an error.
Status read_exact(ByteSource& source, uint8_t* buffer, size_t length);

// Writes all `length` bytes, repeating partial writes.
Status write_all(ByteSink& sink, const uint8_t* data, size_t length);

}  // namespace kubic
