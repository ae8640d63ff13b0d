// Text between the program (UTF-8) and Windows' ANSI code page 1252, as the DDE conversation and
// the window carry it. Characters 1252 cannot hold become "?".
#pragma once

#include <string>
#include <string_view>

namespace xfr {

std::string Cp1252ToUtf8(std::string_view text);
std::string Utf8ToCp1252(std::string_view text);

}  // namespace xfr
