// The Windows programs, one code linked twice: transfer-info.exe (the GUI subsystem: the window,
// started from the Start menu or by the tracking program without a console) and transfer-info.com
// (the console subsystem, which a command prompt picks first for "transfer-info": --console on the
// prompt's console, or the window). Each tells which it is from its own PE header.
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
#include "platform/win32/windows_api.h"
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
    "  --box-screenshot FILE         (window) save a BMP picture of the first message box\n"
    "                                that has details, shown with them, then answer it as\n"
    "                                --answer says (else No)\n"
    "  With the window, --answer and --on-error answer the boxes without showing them.\n"
    "\n"
    "XFR.INI, APX.INI, Trk.Ini and xfr.dat live in the Windows directory; under User Account\n"
    "Control the tracking program's own copies in %LOCALAPPDATA%\\VirtualStore\\Windows come\n"
    "first. transfer-info.exe is the window; transfer-info.com (\"transfer-info\" at a command\n"
    "prompt) runs --console on the prompt's console.\n";

// --console given to the window program, which a prompt does not wait for.
const char kUseTheTwin[] =
    "--console runs in transfer-info.com, on the command prompt's console: type 'transfer-info "
    "--console ...' without '.exe' (transfer-info.exe is the window)";

using xfr::UsageError;

using WindowsPlatform =
    xfr::OfficePlatform<xfr::Win32FileSystem, xfr::Win32IniService, xfr::Win32Clock,
                        xfr::Win32InstanceLock, xfr::DdemlTransport>;

// Whether this program is the GUI-subsystem one (transfer-info.exe), from its PE header.
bool WindowProgram() {
  const auto* base = reinterpret_cast<const BYTE*>(::GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI;
}

bool HasHandle(DWORD which) {
  const HANDLE h = ::GetStdHandle(which);
  return h != nullptr && h != INVALID_HANDLE_VALUE;
}

// The window program, started from a command prompt with its output not redirected, writes to
// the prompt's console (its --help, --version, a bad command line): true when it does so.
bool WritesToThePrompt() {
  if (HasHandle(STD_OUTPUT_HANDLE) || !::AttachConsole(ATTACH_PARENT_PROCESS)) return false;
  return std::freopen("CONOUT$", "w", stdout) != nullptr &&
         std::freopen("CONOUT$", "w", stderr) != nullptr;
}

// Says, on whatever the person sees, why the window program will not run --console; 2.
int UseTheTwin() {
  if (HasHandle(STD_ERROR_HANDLE) || WritesToThePrompt()) return UsageError(kUseTheTwin);
  ::MessageBoxA(nullptr, kUseTheTwin, xfr::kAppTitle.data(), MB_OK | MB_ICONINFORMATION);
  return xfr::kExitUsage;
}

// After the run: XFR.INI could not be written (the exit preference is lost). Told in a box over
// the window, on standard error in the console.
void TellIniWriteError(const xfr::Win32IniService& ini, xfr::WindowServices* window) {
  if (ini.write_error().empty()) return;
  const std::string text =
      "The \"Exit After Transfer\" setting could not be saved: " + ini.write_error() + ".";
  if (window != nullptr) {
    window->MessageBox(text, xfr::kAppTitle, xfr::Buttons::kOk);
  } else {
    std::fprintf(stderr, "transfer-info: %s\n", text.c_str());
  }
}

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
  window.SetBoxPicture(line.box_screenshot);
  try {
    xfr::Initialize(app);
    xfr::frmMainForm_Load(form);
  } catch (const xfr::EndProgram& end) {
    return end.exit_code;
  }
  // The Windows directory, and the user's VirtualStore copy of it, where the tracking program
  // writes the hand-off file under User Account Control.
  view.WatchDirectory(platform.files.NativePath(app.config.WinDir));
  view.WatchDirectory(platform.files.store().CopyOf(app.config.WinDir));
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
    TellIniWriteError(platform.ini, &recorded);
    return saved ? 0 : 1;
  }
  const int status = view.Run();
  TellIniWriteError(platform.ini, &recorded);
  recorded.Record("{\"kind\":\"exit\",\"status\":" + std::to_string(status) + "}");
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const bool window_program = WindowProgram();
  xfr::CommandLine line;
  const std::string error = xfr::ParseCommandLine(argc, argv, &line);
  const bool prints = !error.empty() || line.help || line.version;
  if (window_program && prints) WritesToThePrompt();
  if (!error.empty()) return UsageError(error);
  if (xfr::PrintHelpOrVersion(line, kUsageHead, kWindowsNotes)) return 0;
  if (!line.console) return RunWindow(line);
  if (!line.screenshot.empty() || !line.box_screenshot.empty()) {
    return UsageError("--screenshot and --box-screenshot need the window");
  }
  // The window program runs --console only for a caller that reads its output (a script that
  // redirected it); a prompt has already gone on.
  if (window_program && !HasHandle(STD_OUTPUT_HANDLE)) return UseTheTwin();

  // A console, not any character device: input from NUL is nobody to ask.
  DWORD console_mode = 0;
  line.options.interactive = ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &console_mode) != 0;
  WindowsPlatform platform;
  xfr::ConsoleWindow window(line.options, &platform.files);
  xfr::RecordingWindow recorded(&window, "", &platform.log);
  recorded.Record("{\"kind\":\"start\",\"mode\":\"console\",\"command_line\":" +
                  xfr::JsonQuote(line.text) + "}");
  xfr::App app(platform.ForConsole(&recorded), line.text);
  // Texts are UTF-8: so is the console while the command runs.
  const UINT code_page = ::GetConsoleOutputCP();
  ::SetConsoleOutputCP(CP_UTF8);
  const int status = xfr::RunConsole(app, window, line.command);
  TellIniWriteError(platform.ini, nullptr);
  recorded.Record("{\"kind\":\"exit\",\"status\":" + std::to_string(status) + "}");
  if (code_page != 0) ::SetConsoleOutputCP(code_page);
  return status;
}
