// The program's commands on a terminal: the same start-up and commands as the window, with
// message boxes answered through ConsoleWindow.
#pragma once

#include <string>
#include <vector>

#include "platform/console/console_window.h"
#include "shell/app.h"

namespace xfr {

// The program's command line, as both the window and the console read it.
struct CommandLine {
  bool console = false;              // --console
  bool help = false;                 // --help or -h
  bool version = false;              // --version
  std::vector<std::string> command;  // the console command and its arguments
  ConsoleOptions options;            // --answer, --on-error, --transcript
  std::string screenshot;            // --screenshot FILE
  std::string text;                  // every argument, blank-separated (the /D test reads it)
};

// Reads argv[1..argc-1]. Returns "" or what is wrong with the command line.
std::string ParseCommandLine(int argc, char** argv, CommandLine* out);

// Runs the start-up and then `command` (empty: start-up only). Returns the exit status:
// 0 done, 1 the command failed or the program was ended by an error, 2 a bad command line.
int RunConsole(App& app, ConsoleWindow& window, const std::vector<std::string>& command);

}  // namespace xfr
