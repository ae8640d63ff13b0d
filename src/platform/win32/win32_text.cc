#include "platform/win32/win32_text.h"

#include "platform/win32/windows_api.h"

namespace xfr {
namespace {

constexpr UINT kAnsi = 1252;

std::wstring Wide(std::string_view text, UINT code_page) {
  if (text.empty()) return {};
  const int n =
      ::MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Narrow(const std::wstring& wide, UINT code_page) {
  if (wide.empty()) return {};
  const char* fallback = code_page == CP_UTF8 ? nullptr : "?";
  const int n = ::WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, fallback, nullptr);
  std::string text(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                        fallback, nullptr);
  return text;
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view text) { return Narrow(Wide(text, kAnsi), CP_UTF8); }

std::string Utf8ToCp1252(std::string_view text) { return Narrow(Wide(text, CP_UTF8), kAnsi); }

}  // namespace xfr
