// The file system as the program sees it. Paths are Windows-style ("C:\TRK\PROPERTY.DBF",
// backslashes); the Linux implementation maps drive letters, treats "\" as a separator and
// resolves each path component without regard to case. Raises RuntimeError: 53 file not found,
// 62 input past end of file, 75 path/file access error. Not thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace xfr {

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Length in bytes of a file (53 when it does not exist or is a directory).
  virtual std::int64_t FileLength(std::string_view path) = 0;

  // As the Dir function with normal files: for a path naming a file, that file's name; for a
  // directory path ending in "\", the names of the files in it; otherwise nothing.
  virtual std::vector<std::string> ListPath(std::string_view path) = 0;

  // The first line of a text file, without its line end. 53 when missing, 62 when empty.
  // *line_ended (when given): whether a CR or LF followed the line, or the line was cut at the
  // reader's limit; false while another program may still be writing it.
  virtual std::string ReadFirstLine(std::string_view path, bool* line_ended = nullptr) = 0;

  // Deletes a file (53 when missing).
  virtual void DeleteFile(std::string_view path) = 0;

  // The native path of a Windows-style path, each existing component matched without regard to
  // case; components that do not exist are kept as written. Never raises.
  virtual std::string NativePath(std::string_view path) = 0;

  // Who writes, for the transfer journal: this computer's network name and the name of the
  // user the program runs as ("" when the system does not say). Never raise.
  virtual std::string WorkstationName() = 0;
  virtual std::string UserName() = 0;
};

// A first line longer than this is cut: the files read this way hold one short line.
inline constexpr std::size_t kMaxFirstLine = 1 << 20;

// For the implementations of ReadFirstLine: the first line of what `read` hands out (it fills
// up to `size` bytes of `chunk` and returns how many, 0 at the end, and raises on an error),
// read until a CR or LF or kMaxFirstLine characters (a line cut there counts as ended). 62 when
// `read` hands out nothing.
std::string ReadFirstLineOf(const std::function<std::size_t(char* chunk, std::size_t size)>& read,
                            bool* line_ended);

}  // namespace xfr
