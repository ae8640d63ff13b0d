// transfer-info: picks the platform implementations and starts the shell, either with the Qt
// window or, with --console, on the terminal.
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/console_app.h"
#include "app/office_platform.h"
#include "base/app.h"
#include "base/error_report.h"
#include "platform/console/console_window.h"
#include "platform/console/recorder.h"
#include "platform/dbus/dbus_dde_transport.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_ini.h"
#include "platform/posix/posix_instance.h"
#include "platform/qt/main_window_view.h"
#include "platform/qt/qt_window_services.h"
#include "shell/lifecycle.h"
#include "shell/startup.h"
#include "shell/wiring.h"
#include "store/lookup.h"
#include "transfer/read_driver.h"
#include "transfer/send_driver.h"
#include "transfer/undo.h"

namespace {

const char kUsageHead[] =
    "Usage: transfer-info [--console [COMMAND [ARGS]]] [OPTIONS] [/D]\n"
    "\n"
    "Moves one appraisal job between the appraisal program (DDE service APX) and the tracking\n"
    "program's tables (PROPERTY.DBF, CLIENT.DBF, INVOICE.DBF). Without --console the window\n"
    "opens.\n"
    "\n"
    "This Linux build reaches the appraisal program over the D-Bus session bus, where only the\n"
    "stand-in apx-sim answers (apx-sim(1)): read, send and link-test here are for trying the\n"
    "program and testing the link. An office whose appraisal program runs under Wine runs\n"
    "transfer-info.exe under Wine beside it (/usr/share/doc/transfer-info/setup.md).\n";

const char kWindowOptions[] =
    "  --screenshot FILE             (window) save a PNG of the window once shown, then exit;\n"
    "                                with 'show FILE_NUM' first shows that record, with\n"
    "                                'read' first reads (answer its boxes with --answer)\n"
    "  --box-screenshot FILE         (window) save a PNG of the first message box, its details\n"
    "                                shown, then close it as its close button would, then exit\n"
    "  With the window, --answer and --on-error answer the boxes without showing them.\n"
    "\n"
    "Environment: XFR_WINDIR (the Windows directory with XFR.INI, APX.INI, Trk.Ini and\n"
    "xfr.dat; default ~/.config/transfer-info), XFR_DRIVE_<LETTER> (where a drive letter such\n"
    "as C: of the INI files' paths lives, e.g. XFR_DRIVE_C=/srv/office).\n"
    "Setup: transfer-info.ini(5), /usr/share/doc/transfer-info/setup.md and examples/.\n";

using xfr::UsageError;

bool EnvSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// Whether the window has a display to open on: an X or Wayland display named in the
// environment, or a Qt platform that needs none (offscreen, vnc).
bool DisplayNamed() {
  const std::string platform = EnvSet("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "";
  if (platform.empty()) return EnvSet("DISPLAY") || EnvSet("WAYLAND_DISPLAY");
  if (platform.rfind("xcb", 0) == 0) return EnvSet("DISPLAY");
  if (platform.rfind("wayland", 0) == 0) return EnvSet("WAYLAND_DISPLAY");
  return true;
}

// "no display was found (...)" with the variables that name one, and the way without a display.
std::string NoDisplay() {
  std::string named;
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    if (!EnvSet(name)) continue;
    named += std::string(named.empty() ? "" : ", ") + name + "=" + std::getenv(name);
  }
  return "no display was found (" +
         (named.empty() ? std::string("neither DISPLAY nor WAYLAND_DISPLAY is set")
                        : "none answers at " + named) +
         "); 'transfer-info --console' runs without one";
}

// While the window's QApplication is made: a display that is named but cannot be opened ends
// the program with the same words, rather than with Qt's abort.
QtMessageHandler previous_handler = nullptr;
void NoDisplayHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtFatalMsg) {
    if (previous_handler) previous_handler(type, context, text);
    return;
  }
  std::fflush(stdout);
  UsageError(NoDisplay());
  std::fflush(stderr);
  std::_Exit(2);
}

using LinuxPlatform =
    xfr::OfficePlatform<xfr::PosixFileSystem, xfr::PosixIniService, xfr::PosixClock,
                        xfr::PosixInstanceLock, xfr::DBusDdeTransport>;

// The window: the same start as the console, then the Qt event loop.
int RunWindow(int argc, char** argv, const std::string& command_line,
              const xfr::ConsoleOptions& options, const std::string& screenshot,
              const std::string& box_screenshot, const std::vector<std::string>& command) {
  if (!DisplayNamed()) return UsageError(NoDisplay());
  previous_handler = qInstallMessageHandler(NoDisplayHandler);
  QApplication qt_app(argc, argv);
  qInstallMessageHandler(previous_handler);
  QApplication::setApplicationName("Transfer Info");
  // The desktop entry and icon an installed copy has; installed under a prefix the icon theme
  // does not search (/opt/transfer-info), the SVG under that prefix stands in.
  QGuiApplication::setDesktopFileName("transfer-info");
  QApplication::setWindowIcon(QIcon::fromTheme(
      "transfer-info", QIcon(QCoreApplication::applicationDirPath() +
                             "/../share/icons/hicolor/scalable/apps/transfer-info.svg")));
  LinuxPlatform platform;
  xfr::QtWindowServices window(&platform.files);
  xfr::RecordingWindow recorded(&window, options.transcript, &platform.log);
  recorded.Record("{\"kind\":\"start\",\"mode\":\"window\",\"command_line\":" +
                      xfr::JsonQuote(command_line) + "}",
                  false);
  xfr::App app(platform.With(&recorded), command_line);
  xfr::MainWindow form(app);
  xfr::MainWindowView::Commands commands;
  commands.read = xfr::LoggedCommand(recorded, form, "read", xfr::CmdRead_Click);
  commands.send = xfr::LoggedCommand(recorded, form, "send", xfr::cmdSend_Click);
  commands.undo = xfr::LoggedCommand(recorded, form, "undo", xfr::UndoLastRead_Click);
  xfr::MainWindowView view(form, commands);
  window.SetParentWindow(&view);
  window.SetBeforeBox([&view] { view.Sync(); });
  window.SetUnattended(options.yes_no, options.on_error);
  window.SetBoxPicture(box_screenshot);
  try {
    xfr::Initialize(app);
    xfr::frmMainForm_Load(form);
  } catch (const xfr::EndProgram& end) {
    recorded.Record("{\"kind\":\"exit\",\"status\":" + std::to_string(end.exit_code) + "}");
    return end.exit_code;
  }
  view.WatchDirectory(platform.files.NativePath(app.config.WinDir));
  view.Sync();
  view.show();
  // The single-instance test runs when the window becomes active; ask for that, since without a
  // window manager (a bare X server, a kiosk session) nothing else would make it so.
  view.raise();
  view.activateWindow();
  if (!screenshot.empty() || !box_screenshot.empty()) {
    // Picture of the window once it has settled, then the window closes as if by Exit.
    QTimer::singleShot(700, &view, [&] {
      if (!command.empty() && command[0] == "show" && command.size() > 1) {
        view.RunHandler([&] { xfr::FindTheRecord(form, command[1]); });
      } else if (!command.empty() && command[0] == "read") {
        view.ReadButton()->click();
      }
      view.Sync();
      QTimer::singleShot(300, &view, [&] {
        if (screenshot.empty()) {  // the box's picture was taken while it was up
          view.close();
          QCoreApplication::exit(0);
          return;
        }
        bool saved = view.grab().save(QString::fromStdString(screenshot), "PNG");
        if (!saved) std::fprintf(stderr, "transfer-info: cannot write %s\n", screenshot.c_str());
        view.close();
        QCoreApplication::exit(saved ? 0 : 1);
      });
    });
  }
  int code = qt_app.exec();
  code = view.ended() ? view.exit_code() : code;
  recorded.Record("{\"kind\":\"exit\",\"status\":" + std::to_string(code) + "}");
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  xfr::CommandLine line;
  const std::string error = xfr::ParseCommandLine(argc, argv, &line);
  if (!error.empty()) return UsageError(error);
  if (xfr::PrintHelpOrVersion(line, kUsageHead, kWindowOptions)) return 0;
  if (!line.console) {
    return RunWindow(argc, argv, line.text, line.options, line.screenshot, line.box_screenshot,
                     line.command);
  }

  QCoreApplication qt_app(argc, argv);
  line.options.interactive = isatty(STDIN_FILENO) != 0;
  LinuxPlatform platform;
  xfr::ConsoleWindow window(line.options, &platform.files);
  xfr::RecordingWindow recorded(&window, "", &platform.log);
  recorded.Record("{\"kind\":\"start\",\"mode\":\"console\",\"command_line\":" +
                  xfr::JsonQuote(line.text) + "}");
  xfr::App app(platform.ForConsole(&recorded), line.text);
  // Without a session bus every call to the appraisal program fails as if none were running.
  std::string no_link;
  if (!QDBusConnection::sessionBus().isConnected()) {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    no_link =
        "no D-Bus session bus (" +
        (address && *address ? "none answers at DBUS_SESSION_BUS_ADDRESS=" + std::string(address)
                             : std::string("DBUS_SESSION_BUS_ADDRESS is not set")) +
        "), so the appraisal program cannot be reached; run inside a desktop session or "
        "under dbus-run-session";
  }
  const int status = xfr::RunConsole(app, window, line.command, no_link);
  recorded.Record("{\"kind\":\"exit\",\"status\":" + std::to_string(status) + "}");
  return status;
}
