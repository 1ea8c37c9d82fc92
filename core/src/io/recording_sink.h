#pragma once

#include <memory>

#include "io/byte_stream.h"

namespace kubic {

// Forwards to a sink and remembers its first failure, so that a caller can
// still hear of errors that happened while a chain was finished silently
// on destruction.
class RecordingSink final : public ByteSink {
 public:
  RecordingSink(std::unique_ptr<ByteSink> inner, std::shared_ptr<Status> first_failure)
      : inner_(std::move(inner)), first_failure_(std::move(first_failure)) {}

  Result<size_t> write(const uint8_t* data, size_t length) override {
    auto n = inner_->write(data, length);
    if (!n.ok()) (void)record(n.status());
    return n;
  }
  Status flush() override { return record(inner_->flush()); }
  Status finish() override { return record(inner_->finish()); }

 private:
  Status record(Status status) {
    if (!status.ok() && first_failure_->ok()) *first_failure_ = status;
    return status;
  }

  std::unique_ptr<ByteSink> inner_;
  std::shared_ptr<Status> first_failure_;
};

}  // namespace kubic
