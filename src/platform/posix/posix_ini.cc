#include "platform/posix/posix_ini.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>

#include "platform/posix/ini_text.h"

namespace xfr {
namespace {

// INI files are small; anything larger is treated as unreadable rather than loaded.
constexpr off_t kMaxIniBytes = 64 << 20;

enum class ReadResult { kOk, kMissing, kUnreadable };

ReadResult ReadWholeFile(const std::string& native, std::string* text, struct stat* st) {
  text->clear();
  if (native.empty()) return ReadResult::kMissing;
  // Non-blocking, so that a FIFO in the file's place cannot hang the program.
  int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    return (errno == ENOENT || errno == ENOTDIR) ? ReadResult::kMissing : ReadResult::kUnreadable;
  }
  ReadResult result = ReadResult::kOk;
  if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode) || st->st_size > kMaxIniBytes) {
    result = ReadResult::kUnreadable;
  } else {
    text->reserve(static_cast<std::size_t>(st->st_size));
    char chunk[65536];
    for (;;) {
      ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 || text->size() + static_cast<std::size_t>(std::max<ssize_t>(n, 0)) >
                       static_cast<std::size_t>(kMaxIniBytes)) {
        result = ReadResult::kUnreadable;
        break;
      }
      if (n == 0) break;
      text->append(chunk, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  if (result != ReadResult::kOk) text->clear();
  return result;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Whether the file the writer would replace may be written: it opens for writing and has a write
// permission bit. Without this check the rename below would put a new file in the place of one
// this user may not write; a file without any write bit is left alone even by root, as a
// read-only file is on Windows.
bool MayWrite(const std::string& target, const struct stat& st) {
  if ((st.st_mode & 0222) == 0) return false;
  int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

// Replaces `target` with `data`: a new file beside it, flushed, then renamed over it, so a
// crash leaves either the old file or the new one. `old` is the existing file's status, or
// nullptr for a new file (which then gets the usual mode, 0666 less the umask).
bool ReplaceFile(const std::string& target, std::string_view data, const struct stat* old) {
  static std::atomic<unsigned> counter{0};
  std::size_t slash = target.rfind('/');
  std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = (slash == std::string::npos ? std::string() : dir) + "." + base + "." +
           std::to_string(::getpid()) + "." + std::to_string(counter++) + ".tmp";
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  bool ok = true;
  if (old != nullptr) {
    // Keep the owner when allowed (running as root); the mode always.
    if (::fchown(fd, old->st_uid, old->st_gid) != 0) {
      // Not permitted for an ordinary user: the file is then ours, as any rewrite makes it.
    }
    ok = ::fchmod(fd, old->st_mode & 07777) == 0;
  }
  ok = ok && WriteAll(fd, data) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // Make the rename itself durable; failing here loses nothing already written.
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  if (passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return {};
}

// The directory as the program writes paths: "/a/b" as "\a\b"; a value that already has a drive
// letter or a backslash stays as it is. No trailing separator.
std::string WindowsForm(std::string dir) {
  bool windows = dir.find('\\') != std::string::npos ||
                 (dir.size() >= 2 && dir[1] == ':' &&
                  ((dir[0] >= 'A' && dir[0] <= 'Z') || (dir[0] >= 'a' && dir[0] <= 'z')));
  if (!windows) std::replace(dir.begin(), dir.end(), '/', '\\');
  while (dir.size() > 1 && dir.back() == '\\') dir.pop_back();
  return dir;
}

std::string WindowsDirectory() {
  const char* windir = std::getenv("XFR_WINDIR");
  if (windir != nullptr && windir[0] != '\0') {
    std::string dir = windir;
    bool relative =
        dir[0] != '/' && dir.find('\\') == std::string::npos && !(dir.size() >= 2 && dir[1] == ':');
    if (relative) {
      char cwd[PATH_MAX];
      if (::getcwd(cwd, sizeof cwd) == nullptr) return {};
      dir = std::string(cwd) + "/" + dir;
    }
    return WindowsForm(dir);
  }
  std::string config;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    config = xdg;
  } else {
    std::string home = HomeDirectory();
    if (home.empty()) return {};
    config = home + "/.config";
  }
  ::mkdir(config.c_str(), 0700);
  std::string dir = config + "/transfer-info";
  // Our own configuration directory: made on first use so that XFR.INI can be created in it.
  ::mkdir(dir.c_str(), 0700);
  return WindowsForm(dir);
}

bool IsBareName(std::string_view file) {
  return file.find_first_of("\\/:") == std::string_view::npos;
}

}  // namespace

std::string PosixIniService::IniPath(std::string_view file) {
  if (file.empty()) return {};
  if (IsBareName(file)) {
    std::string dir = WindowsDirectory();
    if (dir.empty()) return {};
    return files_.NativePath(dir + "\\" + std::string(file));
  }
  return files_.NativePath(file);
}

std::uint32_t PosixIniService::GetPrivateProfileString(std::string_view section,
                                                       std::string_view key,
                                                       std::string_view default_value,
                                                       std::string* buffer, std::uint32_t size,
                                                       std::string_view file) {
  buffer->resize(size);
  if (size == 0) return 0;
  std::string text;
  struct stat st;
  std::optional<std::string> value;
  if (ReadWholeFile(IniPath(file), &text, &st) == ReadResult::kOk) {
    value = IniLookup(text, section, key);
  }
  if (!value) value = IniDefaultAsRead(default_value);
  std::size_t count = std::min<std::size_t>(value->size(), size - 1);
  std::copy_n(value->begin(), count, buffer->begin());
  (*buffer)[count] = '\0';
  return static_cast<std::uint32_t>(count);
}

bool PosixIniService::WritePrivateProfileString(std::string_view section, std::string_view key,
                                                std::string_view value, std::string_view file) {
  if (!IniWritable(section, key, value)) return false;
  std::string native = IniPath(file);
  if (native.empty()) return false;
  std::string text;
  struct stat st;
  ReadResult read = ReadWholeFile(native, &text, &st);
  if (read == ReadResult::kUnreadable) return false;
  std::string updated = IniUpdate(text, section, key, value);
  if (read == ReadResult::kOk && updated == text) return true;
  // Write through a symbolic link to the file it names, not over the link.
  std::string target = native;
  if (read == ReadResult::kOk) {
    if (char* real = ::realpath(native.c_str(), nullptr); real != nullptr) {
      target = real;
      std::free(real);
    }
  }
  if (read == ReadResult::kOk && !MayWrite(target, st)) return false;
  return ReplaceFile(target, updated, read == ReadResult::kOk ? &st : nullptr);
}

std::uint32_t PosixIniService::GetWindowsDirectory(std::string* buffer, std::uint32_t size) {
  std::string dir = WindowsDirectory();
  buffer->resize(size);
  if (dir.empty()) return 0;
  // As the Windows function: a buffer too small gets nothing and the size it would need.
  if (dir.size() + 1 > size) return static_cast<std::uint32_t>(dir.size() + 1);
  std::copy(dir.begin(), dir.end(), buffer->begin());
  (*buffer)[dir.size()] = '\0';
  return static_cast<std::uint32_t>(dir.size());
}

}  // namespace xfr
