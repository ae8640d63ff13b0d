// The program's commands on a terminal: the same start-up and commands as the window, with
// message boxes answered through ConsoleWindow.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/app.h"
#include "platform/console/console_window.h"
#include "platform/console/recorder.h"

namespace xfr {

// The program's command line, as both the window and the console read it.
struct CommandLine {
  bool console = false;              // --console
  bool help = false;                 // --help or -h
  bool version = false;              // --version
  std::vector<std::string> command;  // the console command and its arguments
  ConsoleOptions options;            // --answer, --on-error, --transcript
  std::string screenshot;            // --screenshot FILE
  std::string box_screenshot;        // --box-screenshot FILE
  std::string text;                  // every argument, blank-separated (the /D test reads it)
};

// Reads argv[1..argc-1]. Returns "" or what is wrong with the command line.
std::string ParseCommandLine(int argc, char** argv, CommandLine* out);

// The console's exit statuses.
enum ExitStatus {
  kExitDone = 0,          // the command did what was asked
  kExitNotDone = 1,       // it ended on a message (or a job not found) without transferring
  kExitUsage = 2,         // a bad command line, or a question nobody was there to answer
  kExitFilesMissing = 3,  // tables or INI files missing or unreadable
  kExitDamaged = 4,       // the tables are damaged
};

// The exit statuses as --help lists them.
extern const char kExitStatusHelp[];

// "transfer-info: MESSAGE" and the way to --help on standard error; returns kExitUsage.
int UsageError(const std::string& message);

// --help and --version, which both programs answer alike: prints the usage (`head`, the console
// commands and the options every build has, `more_options`, the exit statuses) or the version,
// and says whether it did (the program then ends with kExitDone).
bool PrintHelpOrVersion(const CommandLine& line, const char* head, const char* more_options);

// Runs the start-up and then `command` (empty: start-up only) and returns its exit status, which
// the transcript's last line also gives. `no_link`, when not empty, says why the appraisal
// program cannot be reached at all: read, send and link-test then print it and end (status 1).
int RunConsole(App& app, ConsoleWindow& window, const std::vector<std::string>& command,
               const std::string& no_link = "");

class FrmMain;

// A window's Read or Send button: `command` run on `form`, logged as a "command" line with the
// file number shown before it and a "command done" line with the one shown after.
std::function<void()> LoggedCommand(RecordingWindow& recorded, FrmMain& form, const char* name,
                                    void (*command)(FrmMain&));

}  // namespace xfr
