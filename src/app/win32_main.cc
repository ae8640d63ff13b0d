// transfer-info.exe: the Windows services under the shell, with the Win32 window or, with
// --console, on the terminal.
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/console_app.h"
#include "app/office_platform.h"
#include "base/app.h"
#include "base/text.h"
#include "platform/console/console_window.h"
#include "platform/console/recorder.h"
#include "platform/win32/ddeml_transport.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_ini.h"
#include "platform/win32/win32_instance.h"
#include "platform/win32/window/win32_main_window.h"
#include "platform/win32/window/win32_window_services.h"
#include "shell/lifecycle.h"
#include "shell/startup.h"
#include "shell/wiring.h"
#include "transfer/read_driver.h"
#include "transfer/send_driver.h"
#include "transfer/undo.h"

namespace {

const char kUsageHead[] =
    "Usage: transfer-info [--console [COMMAND [ARGS]]] [OPTIONS] [/D]\n"
    "\n"
    "Moves one appraisal job between the appraisal program (DDE service APX) and the tracking\n"
    "program's tables (PROPERTY.DBF, CLIENT.DBF, INVOICE.DBF). Without --console the window\n"
    "opens.\n";

const char kWindowsNotes[] =
    "  --screenshot FILE             (window) save a BMP picture of the window once shown,\n"
    "                                then exit; with 'read' first reads (answer its boxes\n"
    "                                with --answer)\n"
    "  With the window, --answer and --on-error answer the boxes without showing them.\n"
    "\n"
    "XFR.INI, APX.INI, Trk.Ini and xfr.dat live in the Windows directory.\n";

using xfr::UsageError;

using WindowsPlatform =
    xfr::OfficePlatform<xfr::Win32FileSystem, xfr::Win32IniService, xfr::Win32Clock,
                        xfr::Win32InstanceLock, xfr::DdemlTransport>;

// The window: the same start as the console, then the message loop.
int RunWindow(const xfr::CommandLine& line) {
  // Started from a shortcut, the program got a console window of its own: let it go. Started
  // from a command prompt, or answering unattended (the answers are written to standard
  // error), the console stays.
  DWORD processes[2];
  const bool unattended = line.options.yes_no || line.options.on_error;
  if (!unattended && ::GetConsoleProcessList(processes, 2) == 1) ::FreeConsole();
  WindowsPlatform platform;
  xfr::Win32WindowServices window(&platform.files);
  xfr::RecordingWindow recorded(&window, line.options.transcript, &platform.log);
  recorded.Record(
      "{\"kind\":\"start\",\"mode\":\"window\",\"command_line\":" + xfr::JsonQuote(line.text) + "}",
      false);
  xfr::App app(platform.With(&recorded), line.text);
  xfr::MainWindow form(app);
  xfr::Win32MainWindow::Commands commands;
  commands.read = xfr::LoggedCommand(recorded, form, "read", xfr::CmdRead_Click);
  commands.send = xfr::LoggedCommand(recorded, form, "send", xfr::cmdSend_Click);
  commands.undo = xfr::LoggedCommand(recorded, form, "undo", xfr::UndoLastRead_Click);
  xfr::Win32MainWindow view(form, window, commands);
  if (view.hwnd() == nullptr) {
    std::fprintf(stderr, "transfer-info: the window cannot be made (error %lu)\n",
                 ::GetLastError());
    return 1;
  }
  window.SetOwner(view.hwnd());
  window.SetBeforeBox([&view] { view.Sync(); });
  window.SetUnattended(line.options.yes_no, line.options.on_error);
  try {
    xfr::Initialize(app);
    xfr::frmMainForm_Load(form);
  } catch (const xfr::EndProgram& end) {
    return end.exit_code;
  }
  view.WatchDirectory(platform.files.NativePath(app.config.WinDir));
  view.Sync();
  view.Show();
  if (!line.screenshot.empty()) {
    // A picture of the window once it has settled, then the window closes as if by Exit.
    view.Pump(700);
    if (!line.command.empty() && line.command[0] == "read" && !view.ended()) {
      view.RunHandler([&form] { xfr::CmdRead_Click(form); });
    }
    view.Pump(500);
    if (view.ended()) return view.exit_code();
    const bool saved = view.SaveBitmap(line.screenshot);
    if (!saved) std::fprintf(stderr, "transfer-info: cannot write %s\n", line.screenshot.c_str());
    view.RunHandler([&form] { xfr::cmdExit_Click(form); });
    return saved ? 0 : 1;
  }
  const int status = view.Run();
  recorded.Record("{\"kind\":\"exit\",\"status\":" + std::to_string(status) + "}");
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  xfr::CommandLine line;
  const std::string error = xfr::ParseCommandLine(argc, argv, &line);
  if (!error.empty()) return UsageError(error);
  if (xfr::PrintHelpOrVersion(line, kUsageHead, kWindowsNotes)) return 0;
  if (!line.box_screenshot.empty()) return UsageError("--box-screenshot is for the Linux window");
  if (!line.console) return RunWindow(line);
  if (!line.screenshot.empty()) return UsageError("--screenshot needs the window");

  // A console, not any character device: input from NUL is nobody to ask.
  DWORD console_mode = 0;
  line.options.interactive = ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &console_mode) != 0;
  WindowsPlatform platform;
  xfr::ConsoleWindow window(line.options, &platform.files);
  xfr::RecordingWindow recorded(&window, "", &platform.log);
  recorded.Record("{\"kind\":\"start\",\"mode\":\"console\",\"command_line\":" +
                  xfr::JsonQuote(line.text) + "}");
  xfr::App app(platform.ForConsole(&recorded), line.text);
  const int status = xfr::RunConsole(app, window, line.command);
  recorded.Record("{\"kind\":\"exit\",\"status\":" + std::to_string(status) + "}");
  return status;
}
