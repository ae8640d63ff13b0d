// Reading and writing the program's INI files through the platform's profile service.
#pragma once

#include <string>
#include <string_view>

#include "base/app.h"

namespace xfr {

// The value of a key, the default when the key is missing, "" when the value is empty. A value
// comes back whole up to 64 KB, however long.
std::string ReadIniString(App& app, std::string_view file, std::string_view section,
                          std::string_view key, std::string_view default_value);
void WriteIniString(App& app, std::string_view file, std::string_view section, std::string_view key,
                    std::string_view value);

}  // namespace xfr
