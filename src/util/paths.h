// Path routines. Paths are Windows-style, with backslashes.
#pragma once

#include <string>
#include <string_view>

#include "base/app.h"

namespace xfr {

// Trims the path and makes it end in one backslash ("" stays ""). The argument is updated when
// a backslash is added; the result is the argument trimmed.
std::string CkRSlash(App& app, std::string& path);

// Trims the path and removes one trailing backslash. The argument is updated.
std::string StripRChar(App& app, std::string& path);

// True when the file exists and holds at least one byte; every error answers false.
bool FileExists(App& app, std::string_view path);

}  // namespace xfr
