// A temporary directory removed with its files at the end, and whole files read and written:
// shared by the tests, the benchmarks and the read-campaign worker.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace xfr::testing {

class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "xfr-") {
    std::random_device random;
    do {
      path_ =
          (std::filesystem::temp_directory_path() / (prefix + std::to_string(random()))).string();
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
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace xfr::testing
