// The services the INI table and file tests run on in the Windows build: the profile API itself,
// which must give every row exactly as observed, and Win32FileSystem.
#pragma once

#include "platform/win32/win32_files.h"
#include "platform/win32/win32_ini.h"

namespace xfr {
using ProfileService = AnsiProfileApi;
using FileService = Win32FileSystem;
inline constexpr bool kProfileApi = true;
}  // namespace xfr
