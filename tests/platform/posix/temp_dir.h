// Test helpers for the posix platform tests: an environment variable set for one test, beside the
// shared temporary directory and whole-file read and write.
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
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      ::setenv(name_.c_str(), old_->c_str(), 1);
    else
      ::unsetenv(name_.c_str());
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace xfr::testing
