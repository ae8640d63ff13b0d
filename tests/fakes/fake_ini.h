// An in-memory profile service: sections and keys without regard to case, the default for a
// missing key, and the buffer cut of the real reader.
#pragma once

#include <algorithm>
#include <map>
#include <string>

#include "base/text.h"
#include "platform/ini.h"

namespace xfr::testing {

class FakeIni : public IniService {
 public:
  static std::string Up(std::string_view s) { return UCase(s); }
  void Set(std::string_view file, std::string_view section, std::string_view key,
           std::string value) {
    data[Up(file)][Up(section)][Up(key)] = std::move(value);
  }
  std::string Get(std::string_view file, std::string_view section, std::string_view key) {
    return data[Up(file)][Up(section)][Up(key)];
  }
  bool Has(std::string_view file, std::string_view section, std::string_view key) {
    return data[Up(file)][Up(section)].count(Up(key)) != 0;
  }

  std::uint32_t GetPrivateProfileString(std::string_view section, std::string_view key,
                                        std::string_view default_value, std::string* buffer,
                                        std::uint32_t size, std::string_view file) override {
    ++reads;
    std::string value(default_value);
    while (!value.empty() && value.back() == ' ') value.pop_back();
    auto& sec = data[Up(file)][Up(section)];
    auto it = sec.find(Up(key));
    if (it != sec.end()) value = it->second;
    buffer->resize(size, ' ');
    if (size == 0) return 0;
    const auto n = std::min(static_cast<std::uint32_t>(value.size()), size - 1);
    buffer->replace(0, n, value.substr(0, n));
    (*buffer)[n] = '\0';
    return n;
  }
  bool WritePrivateProfileString(std::string_view section, std::string_view key,
                                 std::string_view value, std::string_view file) override {
    Set(file, section, key, std::string(value));
    return true;
  }
  std::uint32_t GetWindowsDirectory(std::string* buffer, std::uint32_t size) override {
    if (windows_dir.empty()) return 0;
    buffer->assign(size, ' ');
    std::uint32_t n = static_cast<std::uint32_t>(windows_dir.size());
    if (n + 1 > size) return n + 1;
    buffer->replace(0, n, windows_dir);
    (*buffer)[n] = '\0';
    return n;
  }

  std::map<std::string, std::map<std::string, std::map<std::string, std::string>>> data;
  std::string windows_dir = "C:\\WINDOWS";
  int reads = 0;
};

}  // namespace xfr::testing
