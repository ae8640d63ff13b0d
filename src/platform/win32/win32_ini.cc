#include "platform/win32/win32_ini.h"

#include <string>

#include "platform/win32/windows_api.h"

namespace xfr {

std::uint32_t Win32IniService::GetPrivateProfileString(std::string_view section,
                                                       std::string_view key,
                                                       std::string_view default_value,
                                                       std::string* buffer, std::uint32_t size,
                                                       std::string_view file) {
  buffer->resize(size);
  if (size == 0) return 0;
  // The API takes NUL-terminated texts; a key is always given (no listing of names here).
  const std::string s(section), k(key), d(default_value), f(file);
  return ::GetPrivateProfileStringA(s.c_str(), k.c_str(), d.c_str(), buffer->data(), size,
                                    f.c_str());
}

bool Win32IniService::WritePrivateProfileString(std::string_view section, std::string_view key,
                                                std::string_view value, std::string_view file) {
  const std::string s(section), k(key), v(value), f(file);
  return ::WritePrivateProfileStringA(s.c_str(), k.c_str(), v.c_str(), f.c_str()) != 0;
}

std::uint32_t Win32IniService::GetWindowsDirectory(std::string* buffer, std::uint32_t size) {
  buffer->resize(size);
  return ::GetWindowsDirectoryA(size ? buffer->data() : nullptr, size);
}

}  // namespace xfr
