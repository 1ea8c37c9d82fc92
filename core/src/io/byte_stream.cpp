#include "io/byte_stream.h"

namespace kubic {

Status read_exact(ByteSource& source, uint8_t* buffer, size_t length) {
  size_t done = 0;
  while (done < length) {
    auto n = source.read(buffer + done, length - done);
    if (!n.ok()) return n.status();
    if (*n == 0) return Status::Error("failed to fill whole buffer");
    done += *n;
  }
  return Status::Ok();
}

Status write_all(ByteSink& sink, const uint8_t* data, size_t length) {
  size_t done = 0;
  while (done < length) {
    auto n = sink.write(data + done, length - done);
    if (!n.ok()) return n.status();
    if (*n == 0) return Status::Error("failed to write whole buffer");
    // A sink that claims more than it was given took what it was given.
    done += *n > length - done ? length - done : *n;
  }
  return Status::Ok();
}

}  // namespace kubic
