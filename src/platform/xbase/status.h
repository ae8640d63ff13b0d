// Status: the outcome of an engine operation, LevelDB style. The engine never throws; the table
// adapter of the program turns a failed Status into a run-time error.
#pragma once

#include <string>
#include <utility>

namespace xbase {

class Status {
 public:
  enum class Code {
    kOk,
    kNotFound,      // file, field, tag or key not there
    kCorruption,    // a DBF, FPT or CDX that does not decode
    kIOError,       // the file system failed
    kLocked,        // a FoxPro lock could not be had within the wait
    kNotSupported,  // an expression, collation or type the engine cannot maintain
    kInvalidArgument,
    kDuplicate,     // a key already present in a unique/candidate tag
  };

  Status() = default;
  static Status OK() { return Status(); }
  static Status NotFound(std::string msg) { return Status(Code::kNotFound, std::move(msg)); }
  static Status Corruption(std::string msg) { return Status(Code::kCorruption, std::move(msg)); }
  static Status IOError(std::string msg) { return Status(Code::kIOError, std::move(msg)); }
  static Status Locked(std::string msg) { return Status(Code::kLocked, std::move(msg)); }
  static Status NotSupported(std::string msg) { return Status(Code::kNotSupported, std::move(msg)); }
  static Status InvalidArgument(std::string msg) {
    return Status(Code::kInvalidArgument, std::move(msg));
  }
  static Status Duplicate(std::string msg) { return Status(Code::kDuplicate, std::move(msg)); }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  bool IsNotFound() const { return code_ == Code::kNotFound; }
  bool IsCorruption() const { return code_ == Code::kCorruption; }
  bool IsLocked() const { return code_ == Code::kLocked; }
  const std::string& message() const { return message_; }
  std::string ToString() const;

 private:
  Status(Code code, std::string msg) : code_(code), message_(std::move(msg)) {}
  Code code_ = Code::kOk;
  std::string message_;
};

}  // namespace xbase
