#pragma once

#include <memory>
#include <string>

#include "io/byte_stream.h"

namespace kubic {

// Opening failures carry the system's error number beside the message, so
// that callers can map them to their own error classes.
struct OpenError {
  int error_number = 0;
  std::string message;  // "{system text} (os error {number})"
};

class FileSource final : public ByteSource {
 public:
  static std::unique_ptr<FileSource> open(const std::string& path, OpenError& error);
  ~FileSource() override;
  Result<size_t> read(uint8_t* buffer, size_t length) override;

 private:
  explicit FileSource(int fd) : fd_(fd) {}
  int fd_;
};

// Creates or truncates the file, with permission bits 0666 before umask.
class FileSink final : public ByteSink {
 public:
  static std::unique_ptr<FileSink> create(const std::string& path, OpenError& error);
  ~FileSink() override;
  Result<size_t> write(const uint8_t* data, size_t length) override;
  Status flush() override { return Status::Ok(); }

 private:
  explicit FileSink(int fd) : fd_(fd) {}
  int fd_;
};

// "{system text} (os error {number})" for an errno value.
std::string os_error_message(int error_number);

}  // namespace kubic
