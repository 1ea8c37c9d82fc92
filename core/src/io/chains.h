#pragma once

#include <memory>

#include "io/byte_stream.h"

namespace kubic {

// source -> buffered reader -> gzip decoder -> buffered reader (8192 bytes
// each). Reads the gzip header from the source right away.
std::unique_ptr<ByteSource> make_decompressing_chain(std::unique_ptr<ByteSource> source);

// The input as a decompressed document: gzip input (starting with the gzip
// magic bytes) through make_decompressing_chain, anything else unchanged
// behind a buffered reader, since NBT files are often stored uncompressed.
struct DocumentInput {
  std::unique_ptr<ByteSource> source;
  bool gzip;  // the input was gzip
};
DocumentInput make_document_chain(std::unique_ptr<ByteSource> source);

// sink <- buffered writer <- gzip encoder (level 6) <- buffered writer.
// finish() on the result writes the trailer and reports errors; destroying
// it without finish() does the same silently.
std::unique_ptr<ByteSink> make_compressing_chain(std::unique_ptr<ByteSink> sink);

// What a format's writer writes into: the compressing chain, or for
// formats stored plain (Bedrock's), the sink behind a buffered writer.
std::unique_ptr<ByteSink> make_output_chain(std::unique_ptr<ByteSink> sink, bool gzip);

}  // namespace kubic
