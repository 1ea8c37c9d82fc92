#pragma once

#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "io/memory_stream.h"
#include "stream/schematic_stream.h"

namespace kubic::fuzz {

inline std::unique_ptr<ByteSource> source(const uint8_t* data, size_t size) {
  return std::make_unique<MemorySource>(std::vector<uint8_t>(data, data + size));
}

// Reads a reader to its end in batches, giving up after `limit` blocks: a
// tiny file may rightly declare billions of blocks, and the harness looks
// for crashes, not for large outputs.
inline void drain(SchematicInputStream& reader, size_t limit = 1 << 20) {
  (void)reader.boundary();
  (void)reader.extras();
  std::vector<Block> batch;
  size_t total = 0;
  for (int empty = 0; total < limit && empty < 16;) {
    batch.clear();
    auto outcome = reader.read(batch, 4096);
    if (!outcome.ok() || !outcome->has_more) return;
    total += outcome->count;
    empty = outcome->count == 0 ? empty + 1 : 0;
  }
}

// The MCEdit reader prints notices; keep the fuzzer's output readable.
inline void silence_stdout() {
  static bool done = [] { return std::freopen("/dev/null", "w", stdout) != nullptr; }();
  (void)done;
}

}  // namespace kubic::fuzz
