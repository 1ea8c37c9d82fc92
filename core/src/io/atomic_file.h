#pragma once

#include <memory>
#include <string>

#include "io/file_stream.h"

namespace kubic {

// Writes a file through a temporary file beside it, so that a failed write
// never destroys or truncates what was there. The target is checked for
// writing first (creating it if absent), so that an unwritable path fails
// at once with the system's error. commit() moves the temporary file over
// the target; destroying an uncommitted AtomicFile removes the temporary
// file and a target it had to create. Targets that are not regular files
// (devices, pipes) and targets in a folder where no temporary file can be
// made are written directly, created or truncated, as a plain open would.
class AtomicFile {
 public:
  static std::unique_ptr<AtomicFile> create(const std::string& path, OpenError& error);
  ~AtomicFile();

  // The sink writing the temporary file; call once.
  std::unique_ptr<ByteSink> take_sink();
  Status commit();

 private:
  AtomicFile(std::string target, std::string temporary, bool created_target,
             std::unique_ptr<FileSink> sink)
      : target_(std::move(target)),
        temporary_(std::move(temporary)),
        created_target_(created_target),
        sink_(std::move(sink)) {}
  static std::unique_ptr<AtomicFile> direct(const std::string& path, OpenError& error);
  bool is_direct() const { return temporary_.empty(); }

  std::string target_;
  std::string temporary_;
  bool created_target_;
  bool committed_ = false;
  std::unique_ptr<FileSink> sink_;
};

}  // namespace kubic
