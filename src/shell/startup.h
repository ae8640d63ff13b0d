// Start-up and configuration: the Windows directory, the three INI files and the directories
// taken from them, the start-up trace switched on by "/D", and the single-instance test.
#pragma once

#include <string>
#include <string_view>

#include "base/app.h"
#include "base/ini_access.h"

namespace xfr {

// The Windows directory with one backslash appended, or "" when the platform cannot tell.
std::string GetWindowsDir(App& app);

// With "/D" (any case) as an argument of the command line, shows label + value +
// DescribePath(value). Arguments are separated by blanks; one in double quotes may hold blanks.
void TraceSetting(App& app, std::string_view label, std::string_view value);
bool TraceEnabled(const App& app);

// " Exists", "IS REFERENCED BUT IT IS MISSING!" or " appears to be a valid directory".
std::string DescribePath(App& app, std::string_view path);

// The main window's initialisation: fills app.config.
void Initialize(App& app);
// Reads APPDIR of APX.INI and DATADIR of Trk.Ini again (first step of the window's load).
void ReadProgramIni(App& app);

inline constexpr std::string_view kAlreadyRunningMessage =
    "The Transfer Application is already running.  Click OK and then select the Transfer "
    "Application from the Task Bar.";

// When another instance runs: the "already running" message, then the program ends (throws
// EndProgram). Otherwise nothing.
void PreviousInstance(App& app);

}  // namespace xfr
