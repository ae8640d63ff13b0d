// The file system on Linux, for Windows-style paths. "\" and "/" both separate components; a
// leading drive letter "X:" maps to the directory named by the environment variable
// XFR_DRIVE_<X> (a drive nobody mapped names nothing); a path that begins with a separator is
// rooted at "/"; any other path is relative to the working directory. Each component that
// exists is matched without regard to ASCII letter case, as Windows does, so XFR.INI, Trk.Ini
// and PROPERTY.DBF may be stored in any case. Raises RuntimeError as FileSystem says, and 75 for
// any other failure (permissions, a directory where a file is wanted). Not thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace xfr {

class PosixFileSystem : public FileSystem {
 public:
  std::int64_t FileLength(std::string_view path) override;
  std::vector<std::string> ListPath(std::string_view path) override;
  std::string ReadFirstLine(std::string_view path, bool* line_ended = nullptr) override;
  void DeleteFile(std::string_view path) override;
  // "" when the path names a drive that no XFR_DRIVE_<X> maps, or holds a NUL.
  std::string NativePath(std::string_view path) override;
  std::string WorkstationName() override;
  std::string UserName() override;
};

}  // namespace xfr
