// <windows.h> without the macros that would rename the program's own members of the same name
// (FileSystem::DeleteFile, IniService::GetPrivateProfileString, WindowServices::MessageBox, ...):
// the Windows functions are called by their "A" names.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef DeleteFile
#undef GetPrivateProfileString
#undef WritePrivateProfileString
#undef GetWindowsDirectory
#undef MessageBox
