// The Windows profile (INI) functions on Linux, over the engine in ini_text.h. Files are named
// by Windows-style paths and found through PosixFileSystem; a bare file name lives in the
// Windows directory, as with the Windows functions. A missing, unreadable or non-regular file
// reads as empty (defaults come back). The writer changes one line and keeps every other byte,
// creates a missing file (never a missing directory), refuses to touch a file it cannot read or
// may not write (no write permission bit counts as read-only, even for root), and replaces the
// file atomically (a temporary file in the same directory, then rename), keeping its mode.
// Never raises. Not thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ini.h"
#include "platform/posix/posix_files.h"

namespace xfr {

class PosixIniService : public IniService {
 public:
  std::uint32_t GetPrivateProfileString(std::string_view section, std::string_view key,
                                        std::string_view default_value, std::string* buffer,
                                        std::uint32_t size, std::string_view file) override;

  // False, leaving the file as it was, when the names or value cannot be written (empty names,
  // line breaks or NUL, "=" in the key), the directory is missing, the existing file cannot be
  // read or may not be written, or the new file cannot be written.
  bool WritePrivateProfileString(std::string_view section, std::string_view key,
                                 std::string_view value, std::string_view file) override;

  // $XFR_WINDIR when set, else $XDG_CONFIG_HOME/transfer-info (~/.config/transfer-info), which
  // is created when missing. Given in Windows form: a POSIX path "/a/b" as "\a\b" (the file
  // layer maps it back); a value already in Windows form (drive letter or backslashes) as it is.
  // 0 when it cannot tell or the name does not fit in size-1 characters.
  std::uint32_t GetWindowsDirectory(std::string* buffer, std::uint32_t size) override;

  // The native path of an INI file name as the functions above resolve it ("" when none).
  std::string IniPath(std::string_view file);

 private:
  PosixFileSystem files_;
};

}  // namespace xfr
