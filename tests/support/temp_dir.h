// A temporary directory removed with its files at the end, whole files read and written, a
// command's output and (not on Windows) an environment variable set for one scope: shared by the
// tests, the benchmarks and the read-campaign worker.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace xfr::testing {

class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "xfr-",
                   const std::filesystem::path& parent = std::filesystem::temp_directory_path()) {
    std::random_device random;
    do {
      path_ = (parent / (prefix + std::to_string(random()))).string();
    } while (!std::filesystem::create_directory(path_));
  }
  ~TempDir() {
    std::error_code ignored;  // a test may have taken the owner's rights away
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const {
    return (std::filesystem::path(path_) / name).string();
  }
  // The directory as the program writes paths: "/tmp/x" as "\tmp\x".
  std::string windows() const {
    std::string w = path_;
    for (char& c : w) c = c == '/' ? '\\' : c;
    return w;
  }

 private:
  std::string path_;
};

// The file's bytes; "" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Runs a shell command; its standard output, and its exit status in *status when given.
inline std::string Output(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  char buf[4096];
  for (std::size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  const int rc = p ? pclose(p) : -1;
#ifdef WEXITSTATUS
  if (status) *status = rc != -1 && WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
#else
  if (status) *status = rc;
#endif
  return out;
}

#ifndef _WIN32
// An environment variable set (or, given nullptr, unset) until the end of the scope.
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
#endif

}  // namespace xfr::testing
