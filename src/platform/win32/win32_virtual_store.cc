#include "platform/win32/win32_virtual_store.h"

#include <algorithm>
#include <cctype>

#include "platform/win32/win32_text.h"
#include "platform/win32/windows_api.h"

namespace xfr {
namespace {

// A path as compared: backslashes, ASCII letters in upper case.
std::string Folded(std::string_view path) {
  std::string folded(path);
  for (char& c : folded) {
    c = c == '/' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return folded;
}

std::string Environment(const wchar_t* name) {
  wchar_t value[32768];
  const DWORD n = ::GetEnvironmentVariableW(name, value, 32768);
  return n == 0 || n >= 32768 ? std::string() : WideToUtf8(std::wstring_view(value, n));
}

}  // namespace

VirtualStore::VirtualStore(std::string windows_dir, std::string store)
    : windows_dir_(std::move(windows_dir)), store_(std::move(store)) {
  for (std::string* dir : {&windows_dir_, &store_}) {
    while (!dir->empty() && (dir->back() == '\\' || dir->back() == '/')) dir->pop_back();
  }
}

VirtualStore VirtualStore::ForThisUser() {
  wchar_t dir[MAX_PATH];
  const UINT n = ::GetSystemWindowsDirectoryW(dir, MAX_PATH);
  const std::string local = Environment(L"LOCALAPPDATA");
  if (n == 0 || n >= MAX_PATH || local.empty()) return VirtualStore("", "");
  return VirtualStore(WideToUtf8(std::wstring_view(dir, n)), local + "\\VirtualStore");
}

std::string VirtualStore::CopyOf(std::string_view path) const {
  if (windows_dir_.empty() || store_.empty()) return {};
  const std::string inside = Folded(windows_dir_) + "\\";
  if (path.size() < inside.size() || Folded(path.substr(0, inside.size())) != inside) return {};
  if (path.find("..") != std::string_view::npos) return {};
  // Windows keeps the path without its drive ("C:").
  std::string copy = store_ + std::string(path.substr(path[1] == ':' ? 2 : 0));
  std::replace(copy.begin(), copy.end(), '/', '\\');
  return copy;
}

std::string VirtualStore::Seen(std::string_view path) const {
  const std::string copy = CopyOf(path);
  return !copy.empty() && IsFile(copy) ? copy : std::string(path);
}

bool IsFile(std::string_view path) {
  const DWORD attributes = ::GetFileAttributesW(Utf8ToWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace xfr
