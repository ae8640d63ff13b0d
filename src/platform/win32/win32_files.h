// The file system on Windows. Paths are Windows' own, so NativePath hands them on as written
// (Windows already matches names without regard to case). Raises RuntimeError as FileSystem
// says, and 75 for any other failure (access denied, a directory where a file is wanted).
// Not thread-safe.
#pragma once

#include "platform/files.h"

namespace xfr {

class Win32FileSystem : public FileSystem {
 public:
  std::int64_t FileLength(std::string_view path) override;
  std::vector<std::string> ListPath(std::string_view path) override;
  std::string ReadFirstLine(std::string_view path, bool* line_ended = nullptr) override;
  void DeleteFile(std::string_view path) override;
  // "" when the path holds a NUL.
  std::string NativePath(std::string_view path) override;
  std::string WorkstationName() override;
  std::string UserName() override;
};

}  // namespace xfr
