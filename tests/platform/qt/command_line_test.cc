// The program's command line as the office meets it, run as a process, one row a run: the exit
// status and a message said once (with the notes of what it leaves unsaid); then the transcript's
// and the log's lines. No console run creates an INI file; the log rotates at 1 MiB.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/office_tables.h"
#include "support/temp_dir.h"

namespace xfr {
namespace {

TEST(CommandLine, ExitStatusesOptionsDisplayBusAndTraceSwitch) {
  testing::TempDir empty, office;  // a Windows directory with no DATADIR; one with the tables
  testing::CopyTrackingTables(office / "TRK/DATA");
  testing::WriteFile(empty / "Trk.Ini", "[DIRECTORIES]\r\nAPPDIR=C:\\TRK\r\n");
  testing::WriteFile(office / "Trk.Ini", "[DIRECTORIES]\r\nDATADIR=C:\\TRK\\DATA\r\n");
  const std::string transcript = office / "t.jsonl";
  const std::string log = office / "state/transfer-info/transfers.log";
  std::filesystem::create_directories(office / "state/transfer-info");
  std::ofstream(log).close();
  std::filesystem::resize_file(log, 1 << 20);
  struct Case {
    const char* env;   // given to env(1) before the program
    const char* args;
    bool tables;       // run on the office's tables (else on the Windows directory without)
    int status;
    std::string says;  // part of what the program prints, once
    bool trace;        // whether the start-up trace boxes appear
    const char* handoff = nullptr;  // the line of an xfr.dat written before the run
  } cases[] = {
      {"", "-v", false, 2, "unknown option -v", false},
      {"", "--console --on-error yes", false, 2, "--on-error takes abort, retry or ignore", false},
      {"", "--help", false, 0, "  4  the tables are damaged\n", false},
      {"", "-h", false, 0, "This Linux build reaches the appraisal program over the D-Bus", false},
      {"", "--console --screenshot", false, 2, "--screenshot needs a value", false},
      {"", "--version", false, 0, "Transfer Info 5.1.2\n", false},
      {"", "--console send 1 2", false, 2, "too many arguments for 'send'", false},
      {"", "--console undo 1", false, 3, "The file '\\INVOICE.DBF.dbf' is missing", false},
      {"-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM", "", false, 2,
       "no display was found (neither DISPLAY nor WAYLAND_DISPLAY is set); 'transfer-info "
       "--console' runs without one", false},
      {"-u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:97", "", false, 2,
       "no display was found (none answers at DISPLAY=:97); 'transfer-info --console'", false},
      {"", "--console --transcript /home/dave/demo/t.jsonl", false, 3,
       "note: The hand-off file " + (empty / "xfr.dat") + " was still empty after a second", false},
      {"XFR_WINDIR=/no/such/dir", "--console", false, 3,
       "note: The Windows directory /no/such/dir/ does not exist (XFR_WINDIR)", false},
      {"XFR_WINDIR=/", "--console", false, 3, "note: Trk.Ini is not in the Windows directory /:",
       false},
      {"", "--console --transcript '/tmp/a /d b/t.jsonl'", false, 3, "Configuration found",
       false},
      {"", "--console /d", false, 3, "has no DATADIR in [DIRECTORIES], so the tables are looked "
       "for in the working folder", true},
      {"", "--console", true, 0, "note: XFR.INI is not in the Windows directory", false},
      {"", "--console", true, 0, "  ApxAppDir      (empty)\n", false},
      {"", "--console show NO-SUCH-JOB", true, 1, "NO-SUCH-JOB was not found.", false},
      {"", "--console send", true, 1,
       "status: 24-99999 was not found.\n\n== Transfer Info ==\n24-99999 was not found.", false,
       "24-99999\r\n"},
      {"", "--console read --transcript T", true, 1,
       "No appraisal program answered, or no report is open.\n", false},
      {"XDG_STATE_HOME=/dev/null", "--console", true, 0,
       "the log of transfers /dev/null/transfer-info/transfers.log cannot be written (Not a "
       "directory); transfers go on without it.", false},
      {"XDG_RUNTIME_DIR=@ flock -o @/transfer-info.lock env", "--console", true, 1,
       "note: The other copy is flock, process ", false},
      {"DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent", "--console read", true, 1,
       "transfer-info: no D-Bus session bus (none answers at DBUS_SESSION_BUS_ADDRESS="
       "unix:path=/nonexistent), so the appraisal program cannot be reached", false},
      // CLIENT.DBF's record length made 1 below: the corrupt-table end.
      {"", "--console --transcript T", true, 4, "note: The table or its index is damaged "
       "(CLIENT.DBF: DBF record length 1). Run 'dbftool check " + (office / "TRK/DATA/") + "'",
       false},
      {"QT_QPA_PLATFORM=offscreen", "--answer yes --on-error abort --transcript T", true, 1,
       "may be corrupt", false},
      {"QT_QPA_PLATFORM=offscreen", "--answer yes --transcript /no/dir/t", true, 1,
       "transfer-info: cannot open the transcript /no/dir/t", false},
  };
  for (const auto& c : cases) {
    std::string env = c.env;  // @ stands for the office
    for (std::size_t at; (at = env.find('@')) != std::string::npos;) env.replace(at, 1, office.path());
    SCOPED_TRACE(env + " " + c.args);
    if (c.status == 4) {
      std::fstream f(office / "TRK/DATA/CLIENT.DBF", std::ios::in | std::ios::out |
                                                              std::ios::binary);
      f.seekp(10);
      f.write("\x01\x00", 2);
    }
    if (c.handoff) testing::WriteFile(office / "xfr.dat", c.handoff);
    testing::WriteFile(empty / "xfr.dat", "");
    std::string args = c.args;
    if (args.ends_with(" T")) args.replace(args.size() - 1, 1, transcript);
    int status = -1;
    const std::string out = testing::Output(
        "timeout 30 env XDG_STATE_HOME=" + (office / "state") +
            " XFR_WINDIR=" + ((c.tables ? office : empty) / "") + " XFR_DRIVE_C=" + (office / "") +
            " env " + env + " ASAN_OPTIONS=detect_leaks=0 " + XFR_BINARY_DIR +
            "/src/transfer-info " + args + " </dev/null 2>&1",
        &status);
    EXPECT_EQ(status, c.status) << out;
    EXPECT_NE(out.find(c.says), std::string::npos) << out;
    EXPECT_EQ(out.find(c.says), out.rfind(c.says)) << out;
    EXPECT_EQ(out.find("Windows Directory:") != std::string::npos, c.trace) << out;
  }
  const std::string box = "{\"kind\":\"message\",\"title\":\"Transfer Info\",\"text\":\"The "
                          "databases may be corrupt.";
  const std::string lines = testing::ReadFile(transcript);
  EXPECT_NE(lines.find("{\"kind\":\"exit\",\"status\":4,\"meaning\":\"the tables are damaged\"}\n" +
                       box),
            std::string::npos)
      << lines;
  EXPECT_NE(lines.find("\"note\",\"text\":\"No appraisal program answered, or no report is "
                       "open.\"}\n{\"kind\":\"exit\",\"status\":1,"), std::string::npos) << lines;
  EXPECT_TRUE(lines.ends_with("closed it.\"}\n{\"kind\":\"exit\",\"status\":1}\n")) << lines;
  const std::string logged = testing::ReadFile(log);
  EXPECT_NE(logged.find("\"mode\":\"window\""), std::string::npos) << logged;
  EXPECT_NE(logged.find(box.substr(1)), std::string::npos) << logged;
  EXPECT_FALSE(std::filesystem::exists(office / "XFR.INI") ||
               std::filesystem::exists(empty / "XFR.INI"));
  EXPECT_EQ(std::filesystem::file_size(log + ".1"), 1u << 20);
}

}  // namespace
}  // namespace xfr
