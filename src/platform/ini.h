// The Windows profile (INI) functions, with the semantics the program relies on: section and
// key names without regard to case, the default for a missing key, the count returned and the
// cut when the value does not fit the buffer, and a writer that changes one key and keeps every
// other byte of the file. Files are named by Windows-style paths. Never raises. Not thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace xfr {

class IniService {
 public:
  virtual ~IniService() = default;

  // As GetPrivateProfileStringA: writes at most size-1 characters and a NUL into *buffer
  // (resized to `size`, the rest left as it was) and returns the number of characters copied,
  // without the NUL. A value that does not fit returns size-1.
  virtual std::uint32_t GetPrivateProfileString(std::string_view section, std::string_view key,
                                                std::string_view default_value, std::string* buffer,
                                                std::uint32_t size, std::string_view file) = 0;

  // As WritePrivateProfileStringA with a section, key and value: true when written.
  virtual bool WritePrivateProfileString(std::string_view section, std::string_view key,
                                         std::string_view value, std::string_view file) = 0;

  // As GetWindowsDirectoryA: writes the directory (no trailing backslash) and a NUL into
  // *buffer (resized to `size`), returns its length, or 0 when it cannot tell. When the buffer
  // is too small nothing is written and the size needed (length + 1) is returned.
  virtual std::uint32_t GetWindowsDirectory(std::string* buffer, std::uint32_t size) = 0;
};

}  // namespace xfr
