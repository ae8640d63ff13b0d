#include "platform/win32/win32_ini.h"

#include <algorithm>

#include "platform/win32/win32_text.h"
#include "platform/win32/windows_api.h"

namespace xfr {
namespace {

// Windows' own words for an error ("Access is denied."), with its number.
std::string SystemMessage(DWORD error) {
  wchar_t text[512];
  DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             error, 0, text, 512, nullptr);
  while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ')) --n;
  return "error " + std::to_string(error) +
         (n ? ": " + WideToUtf8(std::wstring_view(text, n)) : "");
}

// Makes the folders of `path` that are missing; false when one cannot be made.
bool MakeFoldersOf(const std::string& path) {
  for (std::size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
    const std::wstring folder = Utf8ToWide(path.substr(0, at));
    if (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::uint32_t AnsiProfileApi::GetPrivateProfileString(std::string_view section,
                                                      std::string_view key,
                                                      std::string_view default_value,
                                                      std::string* buffer, std::uint32_t size,
                                                      std::string_view file) {
  buffer->resize(size);
  if (size == 0) return 0;
  // The API takes NUL-terminated texts; a key is always given (no listing of names here).
  const std::string s(section), k(key), d(default_value), f(file);
  return ::GetPrivateProfileStringA(s.c_str(), k.c_str(), d.c_str(), buffer->data(), size,
                                    f.c_str());
}

bool AnsiProfileApi::WritePrivateProfileString(std::string_view section, std::string_view key,
                                               std::string_view value, std::string_view file) {
  const std::string s(section), k(key), v(value), f(file);
  return ::WritePrivateProfileStringA(s.c_str(), k.c_str(), v.c_str(), f.c_str()) != 0;
}

std::uint32_t AnsiProfileApi::GetWindowsDirectory(std::string* buffer, std::uint32_t size) {
  buffer->resize(size);
  return ::GetWindowsDirectoryA(size ? buffer->data() : nullptr, size);
}

Win32IniService::Win32IniService(VirtualStore store, IniService* profile)
    : profile_(profile ? profile : &api_), store_(std::move(store)) {}

std::uint32_t Win32IniService::GetPrivateProfileString(std::string_view section,
                                                       std::string_view key,
                                                       std::string_view default_value,
                                                       std::string* buffer, std::uint32_t size,
                                                       std::string_view file) {
  buffer->resize(size);
  if (size == 0) return 0;
  std::string ansi;
  const std::uint32_t n = profile_->GetPrivateProfileString(Utf8ToAnsi(section), Utf8ToAnsi(key),
                                                            Utf8ToAnsi(default_value), &ansi, size,
                                                            Utf8ToAnsi(store_.Seen(file)));
  const std::string value = AnsiToUtf8(std::string_view(ansi).substr(0, n));
  const std::size_t count = std::min<std::size_t>(value.size(), size - 1);
  std::copy_n(value.begin(), count, buffer->begin());
  (*buffer)[count] = '\0';
  return static_cast<std::uint32_t>(count);
}

bool Win32IniService::WritePrivateProfileString(std::string_view section, std::string_view key,
                                                std::string_view value, std::string_view file) {
  write_error_.clear();
  const std::string s = Utf8ToAnsi(section), k = Utf8ToAnsi(key), v = Utf8ToAnsi(value);
  auto write = [&](const std::string& path) {
    ::SetLastError(ERROR_SUCCESS);
    return profile_->WritePrivateProfileString(s, k, v, Utf8ToAnsi(path));
  };
  const std::string real(file), copy = store_.CopyOf(file);
  if (copy.empty() || !IsFile(copy)) {
    if (write(real)) return true;
    const DWORD error = ::GetLastError();
    write_error_ = real + " may not be written by this user (it needs the Modify permission on " +
                   "that file" + (error ? "; " + SystemMessage(error) : "") + ")";
    if (copy.empty()) return false;
    // As Windows does for a legacy program: the user's own copy, made from the real file.
    const std::wstring from = Utf8ToWide(real), to = Utf8ToWide(copy);
    bool made = MakeFoldersOf(copy);
    if (made && IsFile(real)) {
      made = ::CopyFileW(from.c_str(), to.c_str(), TRUE) &&
             ::SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    if (made && write(copy)) {
      write_error_.clear();
      return true;
    }
    write_error_ +=
        ", nor can its VirtualStore copy " + copy + " (" + SystemMessage(::GetLastError()) + ")";
    return false;
  }
  if (write(copy)) return true;
  write_error_ = copy + ", the copy of " + real + " this user reads, cannot be written (" +
                 SystemMessage(::GetLastError()) + ")";
  return false;
}

std::uint32_t Win32IniService::GetWindowsDirectory(std::string* buffer, std::uint32_t size) {
  std::string ansi;
  const std::uint32_t n = profile_->GetWindowsDirectory(&ansi, MAX_PATH);
  buffer->resize(size);
  if (n == 0 || n >= MAX_PATH) return 0;
  const std::string dir = AnsiToUtf8(std::string_view(ansi).substr(0, n));
  // As the API: a buffer too small gets nothing and the size it would need.
  if (dir.size() + 1 > size) return static_cast<std::uint32_t>(dir.size() + 1);
  std::copy(dir.begin(), dir.end(), buffer->begin());
  (*buffer)[dir.size()] = '\0';
  return static_cast<std::uint32_t>(dir.size());
}

}  // namespace xfr
