// The services the INI table and file tests run on in the Linux build: our own engines.
#pragma once

#include "platform/posix/posix_files.h"
#include "platform/posix/posix_ini.h"

namespace xfr {
using ProfileService = PosixIniService;
using FileService = PosixFileSystem;
inline constexpr bool kProfileApi = false;  // deliberate differences are listed
}  // namespace xfr
