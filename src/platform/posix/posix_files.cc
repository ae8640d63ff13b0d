#include "platform/posix/posix_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/runtime_error.h"

namespace xfr {
namespace {

constexpr int kErrPathFileAccess = 75;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldCase(x) == FoldCase(y);
         });
}

std::string Join(const std::string& dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  if (dir.back() == '/') return dir + std::string(name);
  return dir + "/" + std::string(name);
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// The entry of `dir` whose name matches `name` without regard to case ("" when none). When
// several do, the first in byte order wins, so the answer does not depend on the directory's
// order.
std::string FindIgnoringCase(const std::string& dir, std::string_view name) {
  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.empty() ? "." : dir.c_str()), ::closedir);
  if (!d) return {};
  std::string best;
  while (dirent* e = ::readdir(d.get())) {
    std::string_view entry(e->d_name);
    if (SameNameIgnoringCase(entry, name) && (best.empty() || entry < best)) best = entry;
  }
  return best;
}

[[noreturn]] void RaiseFor(int error) {
  if (error == ENOENT || error == ENOTDIR) throw RuntimeError(kErrFileNotFound);
  throw RuntimeError(kErrPathFileAccess);
}

std::string NativeOrRaise(PosixFileSystem* fs, std::string_view path) {
  std::string native = fs->NativePath(path);
  if (native.empty()) throw RuntimeError(kErrFileNotFound);
  return native;
}

}  // namespace

std::string PosixFileSystem::NativePath(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return {};
  std::string out;
  std::string_view rest = path;
  if (path.size() >= 2 && path[1] == ':' &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    char letter = static_cast<char>(path[0] & ~0x20);
    std::string var = std::string("XFR_DRIVE_") + letter;
    const char* root = std::getenv(var.c_str());
    if (root == nullptr || *root == '\0') return {};
    out = root;
    rest.remove_prefix(2);
  } else if (!path.empty() && IsSeparator(path[0])) {
    out = "/";
  }
  const bool trailing_separator = !rest.empty() && IsSeparator(rest.back());

  bool resolving = true;  // false once a component does not exist: the rest is kept as written
  std::size_t pos = 0;
  while (pos < rest.size()) {
    std::size_t end = pos;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    std::string_view component = rest.substr(pos, end - pos);
    pos = end + 1;
    if (component.empty()) continue;
    std::string candidate = Join(out, component);
    if (resolving && component != "." && component != ".." && !Exists(candidate)) {
      std::string found = FindIgnoringCase(out, component);
      if (found.empty()) {
        resolving = false;
      } else {
        candidate = Join(out, found);
      }
    }
    out = std::move(candidate);
  }
  if (trailing_separator && !out.empty() && out.back() != '/') out += '/';
  return out;
}

std::int64_t PosixFileSystem::FileLength(std::string_view path) {
  std::string native = NativeOrRaise(this, path);
  struct stat st;
  if (::stat(native.c_str(), &st) != 0) RaiseFor(errno);
  if (S_ISDIR(st.st_mode)) throw RuntimeError(kErrFileNotFound);
  return static_cast<std::int64_t>(st.st_size);
}

std::vector<std::string> PosixFileSystem::ListPath(std::string_view path) {
  std::vector<std::string> names;
  std::string native = NativePath(path);
  if (native.empty()) return names;
  struct stat st;
  if (!IsSeparator(path.back())) {
    if (::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      std::size_t slash = native.rfind('/');
      names.push_back(slash == std::string::npos ? native : native.substr(slash + 1));
    }
    return names;
  }
  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(native.c_str()), ::closedir);
  if (!d) return names;
  while (dirent* e = ::readdir(d.get())) {
    std::string_view name(e->d_name);
    if (name == "." || name == "..") continue;
    if (::stat(Join(native, name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      names.emplace_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string PosixFileSystem::ReadFirstLine(std::string_view path, bool* line_ended) {
  std::string native = NativeOrRaise(this, path);
  // Non-blocking, so that a FIFO put in a file's place cannot hang the program.
  int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) RaiseFor(errno);
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw RuntimeError(kErrPathFileAccess);
  }
  std::string line;
  try {
    line = ReadFirstLineOf(
        [fd](char* chunk, std::size_t size) {
          for (;;) {
            const ssize_t n = ::read(fd, chunk, size);
            if (n >= 0) return static_cast<std::size_t>(n);
            if (errno != EINTR) throw RuntimeError(kErrPathFileAccess);
          }
        },
        line_ended);
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
  return line;
}

void PosixFileSystem::DeleteFile(std::string_view path) {
  std::string native = NativeOrRaise(this, path);
  struct stat st;
  if (::lstat(native.c_str(), &st) != 0) RaiseFor(errno);
  if (S_ISDIR(st.st_mode)) throw RuntimeError(kErrPathFileAccess);
  if (::unlink(native.c_str()) != 0) RaiseFor(errno);
}

std::string PosixFileSystem::WorkstationName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string PosixFileSystem::UserName() {
  if (passwd* pw = ::getpwuid(::geteuid()); pw != nullptr && pw->pw_name != nullptr) {
    return pw->pw_name;
  }
  const char* user = std::getenv("USER");
  return user ? user : "";
}

}  // namespace xfr
