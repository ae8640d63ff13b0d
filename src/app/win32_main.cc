// transfer-info.exe: the Windows services under the shell. This build has the console mode;
// the window comes with the Win32 dialog.
#include <io.h>

#include <cstdio>
#include <string>

#include "platform/console/console_app.h"
#include "platform/console/console_window.h"
#include "platform/win32/ddeml_transport.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_ini.h"
#include "platform/win32/win32_instance.h"
#include "platform/xbase_table.h"
#include "shell/app.h"

namespace {

const char kUsage[] =
    "Usage: transfer-info --console [COMMAND [ARGS]] [OPTIONS] [/D]\n"
    "\n"
    "Moves one appraisal job between the appraisal program (DDE service APX) and the tracking\n"
    "program's tables (PROPERTY.DBF, CLIENT.DBF, INVOICE.DBF).\n"
    "\n"
    "Console commands:\n"
    "  (none)            start up, load the tables and show the configuration found\n"
    "  show [FILE_NUM]   show the current (or the given) property record and its client\n"
    "  read              Read Info from Appraisal\n"
    "  send [FILE_NUM]   Send Info To Appraisal (the given record, or the current one)\n"
    "  link-test         ask the appraisal program which reports are open\n"
    "\n"
    "Options:\n"
    "  --answer yes|no               answer every Yes/No question so\n"
    "  --on-error abort|retry|ignore answer every error report so\n"
    "  --transcript FILE             append every box and status change to FILE (JSON lines)\n"
    "  /D                            show the start-up trace\n"
    "  --help, --version\n"
    "\n"
    "XFR.INI, APX.INI, Trk.Ini and xfr.dat live in the Windows directory.\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "transfer-info: %s\nTry 'transfer-info --help'.\n", message.c_str());
  return 2;
}

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
  if (!error.empty()) return Fail(error);
  if (line.help) {
    std::fputs(kUsage, stdout);
    std::fputs(xfr::kExitStatusHelp, stdout);
    return 0;
  }
  if (line.version) {
    std::puts("Transfer Info 5.1.2");
    return 0;
  }
  if (!line.console) return Fail("this build has the console mode only: use --console");
  if (!line.screenshot.empty()) return Fail("--screenshot needs the window");

  line.options.interactive = _isatty(_fileno(stdin)) != 0;
  WindowsPlatform platform;
  xfr::ConsoleWindow window(line.options, &platform.files);
  xfr::App app(platform.With(&window), line.text);
  return xfr::RunConsole(app, window, line.command);
}
