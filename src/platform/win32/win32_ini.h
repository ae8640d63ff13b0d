// The profile (INI) functions on Windows: the profile API itself (GetPrivateProfileStringA,
// WritePrivateProfileStringA) and GetWindowsDirectoryA. Names and values are in the ANSI code
// page, as the INI files are. A name or value holding a NUL is cut there, as the API sees it.
// Never raises. Not thread-safe.
#pragma once

#include "platform/ini.h"

namespace xfr {

class Win32IniService : public IniService {
 public:
  std::uint32_t GetPrivateProfileString(std::string_view section, std::string_view key,
                                        std::string_view default_value, std::string* buffer,
                                        std::uint32_t size, std::string_view file) override;
  bool WritePrivateProfileString(std::string_view section, std::string_view key,
                                 std::string_view value, std::string_view file) override;
  std::uint32_t GetWindowsDirectory(std::string* buffer, std::uint32_t size) override;
};

}  // namespace xfr
