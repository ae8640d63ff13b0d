// Env::Default on Windows: positional IO with ReadFile/WriteFile on OVERLAPPED offsets,
// FlushFileBuffers, and byte-range locks with LockFileEx/UnlockFileEx. Files are opened shared
// for reading and writing, as the tracking program keeps its tables open.
//
// Windows locks belong to the handle, as the POSIX build's open-file-description locks belong to
// the open file, so two tables on one file in one process lock against each other. Where the two
// systems differ the POSIX behaviour is kept, so the engine sees one lock model: locking a range
// this file already holds in the same mode does nothing, in the other mode swaps the lock, and
// unlocking a range that is not held does nothing (Windows would stack a second shared lock and
// refuse the rest).
//
// Paths are UTF-8, as everywhere in the program; one that is not (a name typed in the ANSI code
// page) is read in the ANSI code page.
#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>

#include "platform/xbase/env.h"

namespace xbase {
namespace {

Status WindowsError(const std::string& context, DWORD err) {
  std::string msg = context + ": Windows error " + std::to_string(err);
  if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return Status::NotFound(msg);
  return Status::IOError(msg);
}

std::wstring Wide(const std::string& path) {
  auto convert = [&path](UINT code_page, DWORD flags) {
    const int n = ::MultiByteToWideChar(code_page, flags, path.data(),
                                        static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(code_page, flags, path.data(), static_cast<int>(path.size()), wide.data(),
                          n);
    return wide;
  };
  std::wstring wide = convert(CP_UTF8, MB_ERR_INVALID_CHARS);
  return wide.empty() ? convert(CP_ACP, 0) : wide;
}

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED ov{};
  ov.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return ov;
}

class WindowsFile final : public File {
 public:
  WindowsFile(std::string path, HANDLE handle) : path_(std::move(path)), handle_(handle) {}
  ~WindowsFile() override {
    for (const auto& [offset, lock] : locks_) Release(offset, lock.first);
    ::CloseHandle(handle_);
  }

  Status ReadAt(std::uint64_t offset, std::size_t n, char* scratch, std::size_t* read) override {
    std::size_t done = 0;
    while (done < n) {
      OVERLAPPED ov = At(offset + done);
      DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
      DWORD got = 0;
      if (!::ReadFile(handle_, scratch + done, chunk, &got, &ov)) {
        DWORD err = ::GetLastError();
        if (err == ERROR_HANDLE_EOF) break;
        *read = done;
        return WindowsError(path_, err);
      }
      if (got == 0) break;
      done += got;
    }
    *read = done;
    return Status::OK();
  }

  Status WriteAt(std::uint64_t offset, const char* data, std::size_t n) override {
    std::size_t done = 0;
    while (done < n) {
      OVERLAPPED ov = At(offset + done);
      DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
      DWORD put = 0;
      if (!::WriteFile(handle_, data + done, chunk, &put, &ov)) {
        return WindowsError(path_, ::GetLastError());
      }
      done += put;
    }
    return Status::OK();
  }

  Status Size(std::uint64_t* size) override {
    LARGE_INTEGER li;
    if (!::GetFileSizeEx(handle_, &li)) return WindowsError(path_, ::GetLastError());
    *size = static_cast<std::uint64_t>(li.QuadPart);
    return Status::OK();
  }

  Status Truncate(std::uint64_t size) override {
    FILE_END_OF_FILE_INFO info;
    info.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFileInformationByHandle(handle_, FileEndOfFileInfo, &info, sizeof info)) {
      return WindowsError(path_, ::GetLastError());
    }
    return Status::OK();
  }

  Status Sync() override {
    if (!::FlushFileBuffers(handle_)) return WindowsError(path_, ::GetLastError());
    return Status::OK();
  }

  Status TryLock(std::uint64_t offset, std::uint64_t length, bool exclusive) override {
    auto held = locks_.find(offset);
    if (held != locks_.end()) {
      if (held->second == std::make_pair(length, exclusive)) return Status::OK();
      Release(offset, held->second.first);
      locks_.erase(held);
    }
    OVERLAPPED ov = At(offset);
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (!::LockFileEx(handle_, flags, 0, static_cast<DWORD>(length & 0xFFFFFFFFu),
                      static_cast<DWORD>(length >> 32), &ov)) {
      DWORD err = ::GetLastError();
      if (err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING ||
          err == ERROR_SHARING_VIOLATION) {
        return Status::Locked(path_ + ": bytes " + std::to_string(offset) + "+" +
                              std::to_string(length) + " are locked by another program");
      }
      return WindowsError(path_ + ": lock", err);
    }
    locks_[offset] = {length, exclusive};
    return Status::OK();
  }

  Status Unlock(std::uint64_t offset, std::uint64_t length) override {
    auto held = locks_.find(offset);
    if (held == locks_.end()) return Status::OK();
    const std::uint64_t locked_length = held->second.first;
    locks_.erase(held);
    if (!Release(offset, locked_length)) return WindowsError(path_ + ": unlock", ::GetLastError());
    return Status::OK();
  }

 private:
  bool Release(std::uint64_t offset, std::uint64_t length) {
    OVERLAPPED ov = At(offset);
    return ::UnlockFileEx(handle_, 0, static_cast<DWORD>(length & 0xFFFFFFFFu),
                          static_cast<DWORD>(length >> 32), &ov) != 0;
  }

  std::string path_;
  HANDLE handle_;
  std::map<std::uint64_t, std::pair<std::uint64_t, bool>> locks_;  // offset -> length, exclusive
};

class WindowsEnv final : public Env {
 public:
  Status OpenFile(const std::string& path, bool read_only, std::unique_ptr<File>* file) override {
    HANDLE h = ::CreateFileW(
        Wide(path).c_str(), read_only ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return WindowsError(path, ::GetLastError());
    if (::GetFileType(h) != FILE_TYPE_DISK) {
      ::CloseHandle(h);
      return Status::IOError(path + ": not a regular file");
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      ::CloseHandle(h);
      return Status::IOError(path + ": not a regular file");
    }
    *file = std::make_unique<WindowsFile>(path, h);
    return Status::OK();
  }

  // The new file takes the directory's access rights, as the tables did: `like` has nothing to add.
  Status CreateIfMissing(const std::string& path, const std::string& /*like*/) override {
    HANDLE h = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return WindowsError(path, ::GetLastError());
    // A new file is flushed, which commits its name to the disk with it.
    const bool created = ::GetLastError() != ERROR_ALREADY_EXISTS;
    const bool flushed = !created || ::FlushFileBuffers(h);
    const DWORD err = ::GetLastError();
    ::CloseHandle(h);
    return flushed ? Status::OK() : WindowsError(path, err);
  }

  Status CanCreate(const std::string& path) override {
    const std::size_t slash = path.find_last_of("\\/");
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const DWORD attributes = ::GetFileAttributesW(Wide(dir).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return Status::NotFound(path + ": no such directory");
    }
    return Status::OK();
  }

  Status RenameFile(const std::string& from, const std::string& to) override {
    if (!::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING)) {
      return WindowsError(from, ::GetLastError());
    }
    return Status::OK();
  }

  bool FileExists(const std::string& path) override {
    DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  void SleepMicros(std::uint64_t micros) override {
    ::Sleep(static_cast<DWORD>((micros + 999) / 1000));
  }
};

}  // namespace

Env* Env::Default() {
  static WindowsEnv* env = new WindowsEnv;
  return env;
}

}  // namespace xbase
