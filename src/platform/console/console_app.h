// The program's commands on a terminal: the same start-up and commands as the window, with
// message boxes answered through ConsoleWindow.
#pragma once

#include <string>
#include <vector>

#include "platform/console/console_window.h"
#include "shell/app.h"

namespace xfr {

// Runs the start-up and then `command` (empty: start-up only). Returns the exit status:
// 0 done, 1 the command failed or the program was ended by an error, 2 a bad command line.
int RunConsole(App& app, ConsoleWindow& window, const std::vector<std::string>& command);

}  // namespace xfr
