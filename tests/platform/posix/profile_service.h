// The profile service the INI table test runs on in the Linux build: our own engine.
#pragma once

#include "platform/posix/posix_ini.h"

namespace xfr {
using ProfileService = PosixIniService;
inline constexpr bool kProfileApi = false;  // deliberate differences are listed
}  // namespace xfr
