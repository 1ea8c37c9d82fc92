#include "io/atomic_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kubic {

namespace {

// Symbolic links are followed, so that the file they name is replaced.
std::string resolved(const std::string& path) {
  char buffer[PATH_MAX];
  struct stat info;
  if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode) && realpath(path.c_str(), buffer)) {
    return buffer;
  }
  return path;
}

std::string temporary_beside(const std::string& target) {
  size_t slash = target.rfind('/');
  std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  return dir + "." + name + ".kubic-" + std::to_string(getpid()) + "-" + std::to_string(rand());
}

}  // namespace

std::unique_ptr<AtomicFile> AtomicFile::direct(const std::string& path, OpenError& error) {
  auto sink = FileSink::create(path, error);
  if (!sink) return nullptr;
  return std::unique_ptr<AtomicFile>(new AtomicFile(path, "", false, std::move(sink)));
}

std::unique_ptr<AtomicFile> AtomicFile::create(const std::string& path, OpenError& error) {
  std::string target = resolved(path);
  struct stat info;
  bool existed = stat(target.c_str(), &info) == 0;
  // Replacing a device or a pipe by a regular file would be a disaster.
  if (existed && !S_ISREG(info.st_mode)) return direct(path, error);
  int probe = ::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (probe < 0) {
    error = {errno, os_error_message(errno)};
    return nullptr;
  }
  if (!existed) fstat(probe, &info);
  ::close(probe);
  std::string temporary = temporary_beside(target);
  OpenError ignored;
  auto sink = FileSink::create(temporary, ignored);
  if (!sink) return direct(path, error);
  // The replacement keeps the permission bits of the file it replaces.
  if (existed) chmod(temporary.c_str(), info.st_mode & 07777);
  return std::unique_ptr<AtomicFile>(new AtomicFile(target, temporary, !existed, std::move(sink)));
}

AtomicFile::~AtomicFile() {
  if (committed_ || is_direct()) return;
  sink_.reset();
  unlink(temporary_.c_str());
  if (created_target_) unlink(target_.c_str());
}

std::unique_ptr<ByteSink> AtomicFile::take_sink() { return std::move(sink_); }

Status AtomicFile::commit() {
  sink_.reset();
  if (is_direct()) return Status::Ok();
  if (rename(temporary_.c_str(), target_.c_str()) != 0) return Status::IoError(os_error_message(errno), errno, target_);
  committed_ = true;
  return Status::Ok();
}

}  // namespace kubic
