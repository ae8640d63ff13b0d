// The profile service the INI table test runs on in the Windows build: the profile API itself,
// which must give every row exactly as observed.
#pragma once

#include "platform/win32/win32_ini.h"

namespace xfr {
using ProfileService = Win32IniService;
inline constexpr bool kProfileApi = true;
}  // namespace xfr
