#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <utility>

namespace kubic {

// The outcome of an operation that returns nothing: success, or an error
// carrying its message. The core's errors are messages, never codes.
class [[nodiscard]] Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  static Status Error(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !failed_; }
  const std::string& message() const { return message_; }

  // Returns this error with `prefix` in front of its message.
  Status prefixed(const std::string& prefix) const { return Error(prefix + message_); }

 private:
  explicit Status(std::string message) : message_(std::move(message)), failed_(true) {}

  std::string message_;
  bool failed_ = false;
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
