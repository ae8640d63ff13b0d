#include "platform/win32/win32_files.h"

#include <algorithm>

#include "platform/runtime_error.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/windows_api.h"

namespace xfr {
namespace {

constexpr int kErrPathFileAccess = 75;

[[noreturn]] void RaiseFor(DWORD error) {
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
      error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH) {
    throw RuntimeError(kErrFileNotFound);
  }
  throw RuntimeError(kErrPathFileAccess);
}

std::wstring PathOrRaise(std::string_view path) {
  if (path.empty() || path.find('\0') != std::string_view::npos) {
    throw RuntimeError(kErrFileNotFound);
  }
  return Utf8ToWide(path);
}

}  // namespace

std::string Win32FileSystem::NativePath(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return {};
  return std::string(path);
}

std::int64_t Win32FileSystem::FileLength(std::string_view path) {
  const std::wstring native = PathOrRaise(store_.Seen(path));
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(native.c_str(), GetFileExInfoStandard, &data)) {
    RaiseFor(::GetLastError());
  }
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) throw RuntimeError(kErrFileNotFound);
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::vector<std::string> Win32FileSystem::ListPath(std::string_view path) {
  std::vector<std::string> names;
  if (path.empty() || path.find('\0') != std::string_view::npos) return names;
  const bool directory = path.back() == '\\' || path.back() == '/';
  // Only plain names: a "*" or "?" of the caller's is not a pattern here.
  if (path.find_first_of("*?") != std::string_view::npos) return names;
  const std::wstring pattern = Utf8ToWide(directory ? std::string(path) + "*" : store_.Seen(path));
  WIN32_FIND_DATAW found;
  HANDLE h = ::FindFirstFileW(pattern.c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
      names.push_back(WideToUtf8(found.cFileName));
  } while (::FindNextFileW(h, &found));
  ::FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

std::string Win32FileSystem::ReadFirstLine(std::string_view path, bool* line_ended) {
  const std::wstring native = PathOrRaise(store_.Seen(path));
  HANDLE h = ::CreateFileW(native.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) RaiseFor(::GetLastError());
  if (::GetFileType(h) != FILE_TYPE_DISK) {
    ::CloseHandle(h);
    throw RuntimeError(kErrPathFileAccess);
  }
  std::string line;
  try {
    line = ReadFirstLineOf(
        [h](char* chunk, std::size_t size) {
          DWORD n = 0;
          if (!::ReadFile(h, chunk, static_cast<DWORD>(size), &n, nullptr)) {
            throw RuntimeError(kErrPathFileAccess);
          }
          return static_cast<std::size_t>(n);
        },
        line_ended);
  } catch (...) {
    ::CloseHandle(h);
    throw;
  }
  ::CloseHandle(h);
  return line;
}

void Win32FileSystem::DeleteFile(std::string_view path) {
  // The copy the tracking program wrote, when that is the one it sees.
  const std::wstring native = PathOrRaise(store_.Seen(path));
  const DWORD attributes = ::GetFileAttributesW(native.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) RaiseFor(::GetLastError());
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw RuntimeError(kErrPathFileAccess);
  if (!::DeleteFileW(native.c_str())) RaiseFor(::GetLastError());
}

std::string Win32FileSystem::WorkstationName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!::GetComputerNameW(name, &size)) return {};
  return WideToUtf8(std::wstring_view(name, size));
}

std::string Win32FileSystem::UserName() {
  wchar_t name[256] = {};
  const DWORD n = ::GetEnvironmentVariableW(L"USERNAME", name, 256);
  if (n == 0 || n >= 256) return {};
  return WideToUtf8(std::wstring_view(name, n));
}

}  // namespace xfr
