#include "platform/console/console_app.h"

#include <cstdio>

#include "shell/error_report.h"
#include "shell/startup.h"

namespace xfr {

namespace {

void PrintConfig(const Config& c) {
  auto line = [](const char* name, const std::string& value) {
    std::printf("  %-14s %s\n", name, value.empty() ? "(empty)" : value.c_str());
  };
  std::printf("Configuration found:\n");
  line("WinDir", c.WinDir);
  line("XfrIni", c.XfrIni);
  line("ApxIni", c.ApxIni);
  line("TrkIni", c.TrkIni);
  line("DataDir", c.DataDir);
  line("ApxAppDir", c.ApxAppDir);
  line("ApxPrivateDir", c.ApxPrivateDir);
  line("TrkAppDir", c.TrkAppDir);
}

}  // namespace

int RunConsole(App& app, ConsoleWindow& window, const std::vector<std::string>& command) {
  std::string name = command.empty() ? "" : command[0];
  if (!name.empty()) {
    std::fprintf(stderr, "transfer-info: unknown command '%s'\n", name.c_str());
    return 2;
  }
  try {
    Initialize(app);
    ReadProgramIni(app);
    PreviousInstance(app);
    PrintConfig(app.config);
    return 0;
  } catch (const EndProgram& end) {
    return end.exit_code;
  } catch (const RuntimeError& e) {
    std::fprintf(stderr, "transfer-info: %s (error %d)\n", e.description().c_str(), e.number());
    return 1;
  }
}

}  // namespace xfr
