// Test helpers for the posix platform tests: an environment variable set (or, given nullptr,
// unset) for one test, beside the shared temporary directory and whole-file read and write.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

#include "support/temp_dir.h"

namespace xfr::testing {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(name, value);
  }
  ~ScopedEnv() { Set(name_.c_str(), old_ ? old_->c_str() : nullptr); }

 private:
  static void Set(const char* name, const char* value) {
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace xfr::testing
