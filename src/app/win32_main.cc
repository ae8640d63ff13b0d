// transfer-info.exe: the Windows services under the shell. This build has the console mode;
// the window comes with the Win32 dialog.
#include <io.h>

#include <cstdio>
#include <string>

#include "app/console_app.h"
#include "base/app.h"
#include "platform/console/console_window.h"
#include "platform/tables/xbase_table.h"
#include "platform/win32/ddeml_transport.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_ini.h"
#include "platform/win32/win32_instance.h"

namespace {

const char kUsageHead[] =
    "Usage: transfer-info --console [COMMAND [ARGS]] [OPTIONS] [/D]\n"
    "\n"
    "Moves one appraisal job between the appraisal program (DDE service APX) and the tracking\n"
    "program's tables (PROPERTY.DBF, CLIENT.DBF, INVOICE.DBF).\n";

const char kWindowsNotes[] = "\nXFR.INI, APX.INI, Trk.Ini and xfr.dat live in the Windows directory.\n";

using xfr::UsageError;

struct WindowsPlatform {
  xfr::Win32FileSystem files;
  xfr::Win32IniService ini;
  xfr::Win32Clock clock;
  xfr::Win32InstanceLock instance;
  xfr::XbaseTableService tables{[this](std::string_view dir, std::string_view file) {
    std::string path =
        dir.empty() ? std::string(file) : std::string(dir) + "\\" + std::string(file);
    return files.NativePath(path);
  }};
  xfr::DdemlTransport dde;

  xfr::Services With(xfr::WindowServices* window) {
    return xfr::Services{&ini, &files, &clock, window, &tables, &dde, &instance};
  }
};

}  // namespace

int main(int argc, char** argv) {
  xfr::CommandLine line;
  const std::string error = xfr::ParseCommandLine(argc, argv, &line);
  if (!error.empty()) return UsageError(error);
  if (xfr::PrintHelpOrVersion(line, kUsageHead, kWindowsNotes)) return 0;
  if (!line.console) return UsageError("this build has the console mode only: use --console");
  if (!line.screenshot.empty()) return UsageError("--screenshot needs the window");

  line.options.interactive = _isatty(_fileno(stdin)) != 0;
  WindowsPlatform platform;
  xfr::ConsoleWindow window(line.options, &platform.files);
  xfr::App app(platform.With(&window), line.text);
  return xfr::RunConsole(app, window, line.command);
}
