// The INI files on Windows.
//
// AnsiProfileApi is the profile API itself (GetPrivateProfileStringA,
// WritePrivateProfileStringA, GetWindowsDirectoryA): names, values and paths in the system's
// ANSI code page, as the INI files hold them. A name or value holding a NUL is cut there, as the
// API sees it.
//
// Win32IniService is the program's: names, values and paths in UTF-8, converted to and from the
// ANSI code page here. A file of the system's Windows directory is the one the tracking program
// sees under User Account Control (win32_virtual_store.h): it is read from the user's
// VirtualStore copy when there is one, else from the real file. A write goes to that copy when
// there is one; else to the real file and, when this user may not write the real file, to a new
// copy made from it, as Windows does for a legacy program. write_error() says why the last write
// failed: which file, and what permission is missing.
//
// Neither raises. Not thread-safe.
#pragma once

#include <string>

#include "platform/ini.h"
#include "platform/win32/win32_virtual_store.h"

namespace xfr {

class AnsiProfileApi : public IniService {
 public:
  std::uint32_t GetPrivateProfileString(std::string_view section, std::string_view key,
                                        std::string_view default_value, std::string* buffer,
                                        std::uint32_t size, std::string_view file) override;
  bool WritePrivateProfileString(std::string_view section, std::string_view key,
                                 std::string_view value, std::string_view file) override;
  std::uint32_t GetWindowsDirectory(std::string* buffer, std::uint32_t size) override;
};

class Win32IniService : public IniService {
 public:
  // `profile`: what the files are read and written through (null: the profile API itself).
  explicit Win32IniService(VirtualStore store = VirtualStore::ForThisUser(),
                           IniService* profile = nullptr);

  // A value whose UTF-8 form does not fit is cut to size-1 bytes (size-1 returned), which may
  // end inside a character; ReadIniString asks again with more room.
  std::uint32_t GetPrivateProfileString(std::string_view section, std::string_view key,
                                        std::string_view default_value, std::string* buffer,
                                        std::uint32_t size, std::string_view file) override;
  bool WritePrivateProfileString(std::string_view section, std::string_view key,
                                 std::string_view value, std::string_view file) override;
  std::uint32_t GetWindowsDirectory(std::string* buffer, std::uint32_t size) override;

  const std::string& write_error() const { return write_error_; }

 private:
  AnsiProfileApi api_;
  IniService* profile_;
  VirtualStore store_;
  std::string write_error_;
};

}  // namespace xfr
