#include "io/file_stream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kubic {

std::string os_error_message(int error_number) {
  return std::string(std::strerror(error_number)) + " (os error " + std::to_string(error_number) +
         ")";
}

std::unique_ptr<FileSource> FileSource::open(const std::string& path, OpenError& error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = {errno, os_error_message(errno)};
    return nullptr;
  }
  return std::unique_ptr<FileSource>(new FileSource(fd));
}

FileSource::~FileSource() { ::close(fd_); }

Result<size_t> FileSource::read(uint8_t* buffer, size_t length) {
  while (true) {
    ssize_t n = ::read(fd_, buffer, length);
    if (n >= 0) return size_t(n);
    if (errno != EINTR) return Status::IoError(os_error_message(errno), errno);
  }
}

std::unique_ptr<FileSink> FileSink::create(const std::string& path, OpenError& error) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = {errno, os_error_message(errno)};
    return nullptr;
  }
  return std::unique_ptr<FileSink>(new FileSink(fd));
}

FileSink::~FileSink() { ::close(fd_); }

Result<size_t> FileSink::write(const uint8_t* data, size_t length) {
  while (true) {
    ssize_t n = ::write(fd_, data, length);
    if (n >= 0) return size_t(n);
    if (errno != EINTR) return Status::IoError(os_error_message(errno), errno);
  }
}

}  // namespace kubic
