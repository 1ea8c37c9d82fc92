#pragma once

#include <cassert>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace kubic {

// What kind of failure an error is, so that callers branch on the kind and
// never on the message text.
enum class ErrorKind {
  Corrupt,       // the input is this format, but broken (the default)
  Unrecognised,  // the input is not this format at all
  Io,            // the system failed a read, a write or an open
  Missing,       // the input lacks what the caller asked for by name
  TooLarge,      // the work would need more memory than its limit
  Unwritable,    // the format cannot hold what a save was given; nothing is written
};

// The outcome of an operation that returns nothing: success, or an error
// carrying its message and kind; an I/O error also carries the system's
// error number and the path involved, and a detection failure the failure
// of the reader that recognised its input, if one did.
class [[nodiscard]] Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  static Status Error(std::string message, ErrorKind kind = ErrorKind::Corrupt) {
    return Status(std::move(message), kind);
  }
  static Status Unrecognised(std::string message) { return Status(std::move(message), ErrorKind::Unrecognised); }
  static Status IoError(std::string message, int error_number, std::string path = {}) {
    Status status(std::move(message), ErrorKind::Io);
    status.error_number_ = error_number;
    status.path_ = std::move(path);
    return status;
  }

  bool ok() const { return !failed_; }
  const std::string& message() const { return message_; }
  ErrorKind kind() const { return kind_; }
  int error_number() const { return error_number_; }
  const std::string& path() const { return path_; }
  // For a detection failure: what the reader that recognised the input said.
  const Status* cause() const { return cause_.get(); }

  // Returns this error, kind and all, with `prefix` in front of its message.
  Status prefixed(const std::string& prefix) const {
    Status status = *this;
    status.message_ = prefix + message_;
    return status;
  }
  // Returns this error with `cause` kept beside it.
  Status with_cause(Status cause) const {
    Status status = *this;
    status.cause_ = std::make_shared<const Status>(std::move(cause));
    return status;
  }

 private:
  Status(std::string message, ErrorKind kind) : message_(std::move(message)), kind_(kind), failed_(true) {}

  std::string message_;
  ErrorKind kind_ = ErrorKind::Corrupt;
  bool failed_ = false;
  int error_number_ = 0;
  std::string path_;
  std::shared_ptr<const Status> cause_;
};

// A value or a failed Status. Kept to the surface of std::expected so that
// it can be swapped for it mechanically.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design
  Result(Status status) : status_(std::move(status)) { assert(!status_.ok()); }  // NOLINT

  bool ok() const { return value_.has_value(); }
  const Status& status() const { return status_; }
  const std::string& message() const { return status_.message(); }

  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }
  T&& operator*() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace kubic

// Returns early from the enclosing function when `expr` (a Status) failed.
#define KUBIC_RETURN_IF_ERROR(expr)          \
  do {                                       \
    ::kubic::Status kubic_status_ = (expr);  \
    if (!kubic_status_.ok()) return kubic_status_; \
  } while (false)
