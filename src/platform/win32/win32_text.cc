#include "platform/win32/win32_text.h"

#include "platform/win32/windows_api.h"

namespace xfr {
namespace {

constexpr UINT k1252 = 1252;

std::wstring Wide(std::string_view text, UINT code_page, DWORD flags = 0) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(code_page, flags, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(code_page, flags, text.data(), static_cast<int>(text.size()), wide.data(),
                        n);
  return wide;
}

std::string Narrow(std::wstring_view wide, UINT code_page) {
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

std::string Cp1252ToUtf8(std::string_view text) { return Narrow(Wide(text, k1252), CP_UTF8); }

std::string Utf8ToCp1252(std::string_view text) { return Narrow(Wide(text, CP_UTF8), k1252); }

std::string AnsiToUtf8(std::string_view text) { return Narrow(Wide(text, CP_ACP), CP_UTF8); }

std::string Utf8ToAnsi(std::string_view text) { return Narrow(Utf8ToWide(text), CP_ACP); }

std::wstring Utf8ToWide(std::string_view text) {
  std::wstring wide = Wide(text, CP_UTF8, MB_ERR_INVALID_CHARS);
  return wide.empty() ? Wide(text, CP_ACP) : wide;
}

std::string WideToUtf8(std::wstring_view text) { return Narrow(text, CP_UTF8); }

}  // namespace xfr
