// An in-memory file system keyed by Windows-style path, without regard to case.
#pragma once

#include <map>
#include <string>

#include "base/text.h"
#include "platform/files.h"
#include "platform/runtime_error.h"

namespace xfr::testing {

class FakeFiles : public FileSystem {
 public:
  static std::string Key(std::string_view path) { return UCase(path); }
  void Put(std::string_view path, std::string content) { files[Key(path)] = std::move(content); }
  bool Has(std::string_view path) const { return files.count(Key(path)) != 0; }

  std::string WorkstationName() override { return "TEST-PC"; }
  std::string UserName() override { return "tester"; }
  std::int64_t FileLength(std::string_view path) override {
    auto it = files.find(Key(path));
    if (it == files.end()) throw RuntimeError(kErrFileNotFound);
    return static_cast<std::int64_t>(it->second.size());
  }
  std::vector<std::string> ListPath(std::string_view path) override {
    std::string k = Key(path);
    std::vector<std::string> out;
    if (files.count(k)) {
      out.push_back(k.substr(k.rfind('\\') + 1));
      return out;
    }
    if (!k.empty() && k.back() == '\\') {
      for (const auto& [name, content] : files) {
        if (name.rfind(k, 0) == 0 && name.find('\\', k.size()) == std::string::npos) {
          out.push_back(name.substr(k.size()));
        }
      }
    }
    return out;
  }
  std::string ReadFirstLine(std::string_view path, bool* line_ended = nullptr) override {
    auto it = files.find(Key(path));
    if (it == files.end()) throw RuntimeError(kErrFileNotFound);
    if (it->second.empty()) throw RuntimeError(kErrInputPastEnd);
    const std::size_t eol = it->second.find_first_of("\r\n");
    if (line_ended) *line_ended = eol != std::string::npos;
    return it->second.substr(0, eol);
  }
  void DeleteFile(std::string_view path) override {
    if (files.erase(Key(path)) == 0) throw RuntimeError(kErrFileNotFound);
  }
  std::string NativePath(std::string_view path) override { return std::string(path); }

  std::map<std::string, std::string> files;
};

}  // namespace xfr::testing
