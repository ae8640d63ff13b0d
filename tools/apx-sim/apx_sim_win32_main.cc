// apx-sim.exe: the stand-in appraisal program on Windows. Serves one DDE service from a report
// file with plain DDE window messages until it is stopped (Ctrl+C, or WM_CLOSE to its window of
// class "apx-sim DDE server", title "apx-sim SERVICE").
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "dde_window_server.h"
#include "report.h"

namespace {

const char kUsage[] =
    "Usage: apx-sim [--service NAME] [--log FILE] [--dump FILE] REPORT.json\n"
    "\n"
    "Stand-in appraisal program: serves a DDE service (plain DDE messages, CF_TEXT in code\n"
    "page 1252) from a JSON report file until stopped.\n"
    "\n"
    "  --service NAME  DDE service name to serve (default APX)\n"
    "  --log FILE      append one JSON line per request, poke and execute\n"
    "  --dump FILE     write the report file with the poked values here after each poke\n"
    "                  and on exit\n";

DWORD g_main_thread = 0;

BOOL WINAPI OnConsoleStop(DWORD) {
  ::PostThreadMessageA(g_main_thread, WM_QUIT, 0, 0);
  return TRUE;
}

int Fail(const std::string& message, int code) {
  std::fprintf(stderr, "apx-sim: %s\n", message.c_str());
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  std::string service = "APX", log_path, dump_path, report_path;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--service") {
      if (!value(&service)) return Fail("--service needs a value", 2);
    } else if (arg == "--log") {
      if (!value(&log_path)) return Fail("--log needs a value", 2);
    } else if (arg == "--dump") {
      if (!value(&dump_path)) return Fail("--dump needs a value", 2);
    } else if (arg.rfind("--", 0) == 0 || !report_path.empty()) {
      return Fail("one report file expected (see --help)", 2);
    } else {
      report_path = arg;
    }
  }
  if (report_path.empty()) return Fail("one report file expected (see --help)", 2);
  if (service.empty()) return Fail("cannot serve that service name", 2);

  std::ifstream in(report_path, std::ios::binary);
  if (!in) return Fail(report_path + ": cannot read it", 2);
  std::ostringstream json;
  json << in.rdbuf();
  apxsim::ReportFile report;
  std::string error;
  if (!report.Load(json.str(), &error)) return Fail(report_path + ": " + error, 2);

  std::FILE* log = nullptr;
  if (!log_path.empty()) {
    log = std::fopen(log_path.c_str(), "ab");
    if (log == nullptr) return Fail("cannot open the log file", 2);
  }

  g_main_thread = ::GetCurrentThreadId();
  ::SetConsoleCtrlHandler(OnConsoleStop, TRUE);
  int exit_code = 0;
  {
    apxsim::DdeWindowServer server(&report, log, dump_path, service);
    if (!server.Start()) return Fail("cannot make the server window", 3);
    std::fprintf(stderr, "apx-sim: serving %s from %s\n", service.c_str(), report_path.c_str());
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    if (!dump_path.empty() && !server.WriteDump()) {
      exit_code = Fail("cannot write the dump file", 4);
    }
  }
  if (log) std::fclose(log);
  return exit_code;
}
