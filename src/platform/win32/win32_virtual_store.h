// The Windows directory as Windows shows it to a legacy program under User Account Control. A
// program without a manifest (the tracking program) that writes a file of the system's Windows
// directory without the right to write there writes the user's own copy of it instead, under
// %LOCALAPPDATA%\VirtualStore ("C:\Windows\xfr.dat" as "...\VirtualStore\Windows\xfr.dat"), and
// from then on reads that copy. This program has a manifest, so Windows gives it no such view:
// the file and profile services ask this class where the tracking program's copy of a file is.
// The Windows directory of a Remote Desktop user (a folder of the user's own) is no part of the
// system's Windows directory and has no copies. Paths are UTF-8. Never raises.
#pragma once

#include <string>
#include <string_view>

namespace xfr {

class VirtualStore {
 public:
  // `windows_dir`: the system's Windows directory; `store`: the user's VirtualStore folder. An
  // empty one of the two: no copies.
  VirtualStore(std::string windows_dir, std::string store);
  // This user's: GetSystemWindowsDirectory and %LOCALAPPDATA%\VirtualStore.
  static VirtualStore ForThisUser();

  // Where the user's copy of a file (or, for a path ending in "\", of a folder) in the system's
  // Windows directory is or would be; "" for a path anywhere else.
  std::string CopyOf(std::string_view path) const;
  // What a legacy program reads for `path`: its copy when that file exists, else `path`.
  std::string Seen(std::string_view path) const;

 private:
  std::string windows_dir_, store_;
};

// Whether a file (not a folder) exists at a UTF-8 path.
bool IsFile(std::string_view path);

}  // namespace xfr
