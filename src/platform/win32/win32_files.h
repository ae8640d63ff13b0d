// The file system on Windows. Paths are Windows' own, in UTF-8 (a path that is not UTF-8 is read
// in the ANSI code page), so NativePath hands them on as written (Windows already matches names
// without regard to case). A file of the system's Windows directory is the one the tracking
// program sees there under User Account Control: the user's VirtualStore copy when there is one,
// else the real file (win32_virtual_store.h); listing a folder lists the real folder. Raises
// RuntimeError as FileSystem says, and 75 for any other failure (access denied, a directory where
// a file is wanted). Not thread-safe.
#pragma once

#include "platform/files.h"
#include "platform/win32/win32_virtual_store.h"

namespace xfr {

class Win32FileSystem : public FileSystem {
 public:
  explicit Win32FileSystem(VirtualStore store = VirtualStore::ForThisUser())
      : store_(std::move(store)) {}

  std::int64_t FileLength(std::string_view path) override;
  std::vector<std::string> ListPath(std::string_view path) override;
  std::string ReadFirstLine(std::string_view path, bool* line_ended = nullptr) override;
  void DeleteFile(std::string_view path) override;
  // "" when the path holds a NUL.
  std::string NativePath(std::string_view path) override;
  std::string WorkstationName() override;
  std::string UserName() override;

  const VirtualStore& store() const { return store_; }

 private:
  VirtualStore store_;
};

}  // namespace xfr
