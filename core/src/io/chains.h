#pragma once

#include <memory>

#include "io/byte_stream.h"

namespace kubic {

// source -> buffered reader -> gzip decoder -> buffered reader (8192 bytes
// each). Reads the gzip header from the source right away.
std::unique_ptr<ByteSource> make_decompressing_chain(std::unique_ptr<ByteSource> source);

// sink <- buffered writer <- gzip encoder (level 6) <- buffered writer.
// finish() on the result writes the trailer and reports errors; destroying
// it without finish() does the same silently.
std::unique_ptr<ByteSink> make_compressing_chain(std::unique_ptr<ByteSink> sink);

}  // namespace kubic
