#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/block_state.h"
#include "io/chains.h"
#include "io/memory_stream.h"
#include "stream/schematic_stream.h"

namespace kubic::testing {

inline StateRef state(const std::string& text) { return *BlockState::from_string(text); }

// gzip-compresses bytes through the library's own output chain.
inline std::vector<uint8_t> gzip(const std::vector<uint8_t>& raw) {
  auto out = std::make_shared<std::vector<uint8_t>>();
  {
    auto chain = make_compressing_chain(std::make_unique<MemorySink>(out));
    (void)write_all(*chain, raw.data(), raw.size());
  }
  return *out;
}

// Decompresses bytes through the library's own input chain.
inline Result<std::vector<uint8_t>> gunzip(const std::vector<uint8_t>& bytes) {
  auto chain = make_decompressing_chain(std::make_unique<MemorySource>(bytes));
  std::vector<uint8_t> out;
  uint8_t buffer[4096];
  while (true) {
    auto n = chain->read(buffer, sizeof buffer);
    if (!n.ok()) return n.status();
    if (*n == 0) return out;
    out.insert(out.end(), buffer, buffer + *n);
  }
}

inline std::unique_ptr<ByteSource> source_of(std::vector<uint8_t> bytes) {
  return std::make_unique<MemorySource>(std::move(bytes));
}

// A writer that records what it was given, shared with the test.
struct RecordingLog {
  std::vector<size_t> write_sizes;
  std::vector<Block> blocks;
  int completes = 0;
  bool destroyed = false;
  size_t fail_on_write = SIZE_MAX;
};

class RecordingWriter final : public SchematicOutputStream {
 public:
  explicit RecordingWriter(std::shared_ptr<RecordingLog> log) : log_(std::move(log)) {}
  ~RecordingWriter() override { log_->destroyed = true; }
  Status write(std::span<const Block> blocks) override {
    if (log_->write_sizes.size() == log_->fail_on_write) return Status::Error("write refused");
    log_->write_sizes.push_back(blocks.size());
    log_->blocks.insert(log_->blocks.end(), blocks.begin(), blocks.end());
    return Status::Ok();
  }
  Status complete() override {
    ++log_->completes;
    return Status::Ok();
  }

 private:
  std::shared_ptr<RecordingLog> log_;
};

inline std::vector<std::string> describe(const std::vector<Block>& blocks) {
  std::vector<std::string> out;
  for (const auto& b : blocks) {
    out.push_back(std::to_string(b.position.x) + "," + std::to_string(b.position.y) + "," +
                  std::to_string(b.position.z) + " " + b.state->to_string());
  }
  return out;
}

}  // namespace kubic::testing
