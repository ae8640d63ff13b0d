// The program's command line as the office meets it, run as a process: an option it does not
// know, a machine without a display, and the trace switch, which is "/D" as an argument of its
// own and never the "/d" inside a path.
#include <gtest/gtest.h>

#include <string>

#include "platform/dbus/apx_sim_process.h"

namespace xfr {
namespace {

TEST(CommandLine, UnknownOptionsNoDisplayAndTheTraceSwitch) {
  testing::TempDir windir;
  struct Case {
    const char* env;   // given to env(1) before the program
    const char* args;
    int status;
    const char* says;  // part of what the program prints
    bool trace;        // whether the start-up trace boxes appear
  } cases[] = {
      {"", "-v", 2, "unknown option -v", false},
      {"-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM", "", 2,
       "no display was found (neither DISPLAY nor WAYLAND_DISPLAY is set); 'transfer-info "
       "--console' runs without one", false},
      {"-u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:97", "", 2,
       "no display was found (none answers at DISPLAY=:97); 'transfer-info --console'", false},
      {"", "--console --transcript /home/dave/demo/t.jsonl", 0, "Configuration found", false},
      {"", "--console --transcript '/tmp/a /d b/t.jsonl'", 0, "Configuration found", false},
      {"", "--console /d", 0, "Configuration found", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.env) + " " + c.args);
    int status = -1;
    const std::string out = testing::Output(
        std::string("timeout 30 env ") + c.env + " ASAN_OPTIONS=detect_leaks=0 XFR_WINDIR=" +
            windir.File("") + " " + XFR_BINARY_DIR + "/src/transfer-info " + c.args +
            " </dev/null 2>&1",
        &status);
    EXPECT_EQ(status, c.status) << out;
    EXPECT_NE(out.find(c.says), std::string::npos) << out;
    EXPECT_EQ(out.find("Windows Directory:") != std::string::npos, c.trace) << out;
  }
}

}  // namespace
}  // namespace xfr
