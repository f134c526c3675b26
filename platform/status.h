// Status: the result of a platform operation that can fail for reasons
// outside the program (a file system, a locale, a device).
//
// The layers above report failures as message numbers; the platform layer
// has no message table, so it says what went wrong in words and keeps the
// system's errno for callers that translate it.
#pragma once

#include <string>
#include <utility>

namespace qm::platform {

class Status {
 public:
  Status() = default;  // success

  static Status Ok() { return Status(); }
  static Status Error(std::string message, int system_error = 0) {
    return Status(std::move(message), system_error);
  }
  // An error built from the current errno, e.g. ErrorFromErrno("rename", path).
  static Status ErrorFromErrno(const std::string& what, const std::string& path);

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const std::string& message() const { return message_; }
  int system_error() const { return system_error_; }

 private:
  Status(std::string message, int system_error)
      : failed_(true), message_(std::move(message)), system_error_(system_error) {}

  bool failed_ = false;
  std::string message_;
  int system_error_ = 0;
};

}  // namespace qm::platform
