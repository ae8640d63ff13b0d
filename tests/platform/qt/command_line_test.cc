// The program's command line as the office meets it, run as a process: the console's exit
// statuses (and the transcript's last line saying which), an option it does not know, a machine
// without a display or without a session bus, and the trace switch, "/D" as an argument of its
// own and never the "/d" inside a path. The window keeps the transcript too, and every run goes
// to the log of transfers, which rotates at 1 MiB and, when it cannot be written, stops nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/office_tables.h"
#include "support/temp_dir.h"

namespace xfr {
namespace {

TEST(CommandLine, ExitStatusesOptionsDisplayBusAndTraceSwitch) {
  testing::TempDir empty, office;  // a Windows directory without INI files; one with the tables
  testing::CopyTrackingTables(office / "TRK/DATA");
  testing::WriteFile(office / "Trk.Ini", "[DIRECTORIES]\r\nDATADIR=C:\\TRK\\DATA\r\n");
  const std::string transcript = office / "t.jsonl";
  const std::string log = office / "state/transfer-info/transfers.log";
  std::filesystem::create_directories(office / "state/transfer-info");
  std::ofstream(log).close();
  std::filesystem::resize_file(log, 1 << 20);
  struct Case {
    const char* env;   // given to env(1) before the program
    const char* args;
    bool tables;       // run on the office's tables (else on a Windows directory with nothing)
    int status;
    const char* says;  // part of what the program prints
    bool trace;        // whether the start-up trace boxes appear
  } cases[] = {
      {"", "-v", false, 2, "unknown option -v", false},
      {"", "--help", false, 0, "  4  the tables are damaged\n", false},
      {"", "--version", false, 0, "Transfer Info 5.1.2\n", false},
      {"", "--console send 1 2", false, 2, "too many arguments for 'send'", false},
      {"", "--console undo 1", false, 3, "is missing", false},
      {"-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM", "", false, 2,
       "no display was found (neither DISPLAY nor WAYLAND_DISPLAY is set); 'transfer-info "
       "--console' runs without one", false},
      {"-u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:97", "", false, 2,
       "no display was found (none answers at DISPLAY=:97); 'transfer-info --console'", false},
      {"", "--console --transcript /home/dave/demo/t.jsonl", false, 3, "is missing", false},
      {"", "--console --transcript '/tmp/a /d b/t.jsonl'", false, 3, "Configuration found",
       false},
      {"", "--console /d", false, 3, "Configuration found", true},
      {"", "--console", true, 0, "  ApxAppDir      (empty)\n", false},
      {"", "--console show NO-SUCH-JOB", true, 1, "", false},
      {"XDG_STATE_HOME=/dev/null", "--console", true, 0, "Configuration found", false},
      {"DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent", "--console read", true, 1,
       "transfer-info: no D-Bus session bus (none answers at DBUS_SESSION_BUS_ADDRESS="
       "unix:path=/nonexistent), so the appraisal program cannot be reached", false},
      // CLIENT.DBF's record length made 1 below: the corrupt-table end.
      {"", "--console --transcript T", true, 4, "may be corrupt", false},
      {"QT_QPA_PLATFORM=offscreen", "--answer yes --on-error abort --transcript T", true, 1,
       "may be corrupt", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.env) + " " + c.args);
    if (c.status == 4) {
      std::fstream f(office / "TRK/DATA/CLIENT.DBF", std::ios::in | std::ios::out |
                                                              std::ios::binary);
      f.seekp(10);
      f.write("\x01\x00", 2);
    }
    std::string args = c.args;
    if (args.ends_with(" T")) args.replace(args.size() - 1, 1, transcript);
    int status = -1;
    const std::string out = testing::Output(
        "timeout 30 env XDG_STATE_HOME=" + (office / "state") + " env " + c.env +
            " ASAN_OPTIONS=detect_leaks=0 XFR_WINDIR=" + ((c.tables ? office : empty) / "") +
            " XFR_DRIVE_C=" + (office / "") + " " +
            XFR_BINARY_DIR + "/src/transfer-info " + args + " </dev/null 2>&1",
        &status);
    EXPECT_EQ(status, c.status) << out;
    EXPECT_NE(out.find(c.says), std::string::npos) << out;
    EXPECT_EQ(out.find("Windows Directory:") != std::string::npos, c.trace) << out;
  }
  const std::string box = "{\"kind\":\"message\",\"title\":\"Transfer Info\",\"text\":\"The "
                          "databases may be corrupt.";
  const std::string lines = testing::ReadFile(transcript);
  EXPECT_NE(lines.find("{\"kind\":\"exit\",\"status\":4,\"meaning\":\"the tables are damaged\"}\n" +
                       box),
            std::string::npos)
      << lines;
  EXPECT_TRUE(lines.ends_with("\"answer\":\"OK\"}\n{\"kind\":\"exit\",\"status\":1}\n")) << lines;
  const std::string logged = testing::ReadFile(log);
  EXPECT_NE(logged.find("\"mode\":\"window\""), std::string::npos) << logged;
  EXPECT_NE(logged.find(box.substr(1)), std::string::npos) << logged;
  EXPECT_EQ(std::filesystem::file_size(log + ".1"), 1u << 20);
}

}  // namespace
}  // namespace xfr
