// Text between the program (UTF-8) and Windows: the code page 1252 that the DDE conversation and
// the window carry, the system's ANSI code page that the profile API and the INI files use, and
// the UTF-16 of the wide functions (file names). Characters a code page cannot hold become "?".
#pragma once

#include <string>
#include <string_view>

namespace xfr {

std::string Cp1252ToUtf8(std::string_view text);
std::string Utf8ToCp1252(std::string_view text);
std::string AnsiToUtf8(std::string_view text);
std::string Utf8ToAnsi(std::string_view text);
// A text that is not UTF-8 (a path typed in the ANSI code page) is read in the ANSI code page.
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

}  // namespace xfr
