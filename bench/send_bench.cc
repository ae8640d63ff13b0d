// One whole send (other form, all twenty rows: XFR.INI names the census, map, legal and owner
// items) through the session bus to apx-sim, over copies of the fixture tables. Run under a
// session bus of its own:
//   dbus-run-session -- build/<preset>/bench/send_bench
// apx-sim is looked for beside the benchmark (../tools/apx-sim/apx-sim) or at $APX_SIM; the
// tables are copied from $XFR_FIXTURE_TABLES or the source tree's tests/data/foxpro.
//
// Reports the median and 99th percentile of the click's wall time (p50_us, p99_us, which include
// apx-sim's answers) and of this process's own CPU time in it (cpu_p50_us, cpu_p99_us).
#include <benchmark/benchmark.h>

#include "command_timing.h"
#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "../tests/fakes/fake_files.h"
#include "../tests/fakes/fake_ini.h"
#include "../tests/fakes/fake_window.h"
#include "platform/dbus/dbus_dde_transport.h"
#include "platform/posix/posix_clock.h"
#include "platform/xbase_table.h"
#include "shell/lifecycle.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "store/lookup.h"
#include "transfer/send_driver.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string SelfDir() {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return ".";
  std::string dir(self, static_cast<size_t>(n));
  return dir.erase(dir.rfind('/'));
}

std::string ApxSimPath() {
  if (const char* path = std::getenv("APX_SIM")) return path;
  return SelfDir() + "/../tools/apx-sim/apx-sim";
}

// apx-sim serving one report, and a temp dir with the table copies, for the whole run.
class Office {
 public:
  Office() {
    dir_ = "/tmp/xfr-send-bench-" + std::to_string(getpid());
    fs::create_directories(dir_);
    const char* env = std::getenv("XFR_FIXTURE_TABLES");
    const std::string from = env ? env : std::string(XFR_SOURCE_DIR) + "/tests/data/foxpro";
    for (const char* f : {"PROPERTY.DBF", "PROPERTY.CDX", "PROPERTY.FPT", "CLIENT.DBF",
                          "CLIENT.CDX", "INVOICE.DBF", "INVOICE.CDX"}) {
      std::error_code ec;
      fs::copy_file(from + "/" + f, dir_ + "/" + f, ec);
    }
    const std::string report = dir_ + "/report.json";
    std::ofstream(report) << R"({"reports": {"RPT1": {"forms": ["URAR", "offscrn"]}}})";
    std::string path = ApxSimPath();
    std::string r = report;
    std::vector<char*> args = {path.data(), r.data(), nullptr};
    if (posix_spawn(&pid_, path.c_str(), nullptr, nullptr, args.data(), environ) != 0) pid_ = -1;
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    for (int i = 0; i < 500 && bus && pid_ > 0; ++i) {
      if (bus->isServiceRegistered("dde.APX").value()) {
        ready_ = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~Office() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    fs::remove_all(dir_);
  }
  bool ready() const { return ready_ && fs::exists(dir_ + "/PROPERTY.DBF"); }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
  pid_t pid_ = -1;
  bool ready_ = false;
};

Office* office = nullptr;

void BM_SendAllRows(benchmark::State& state) {
  if (!office || !office->ready()) {
    state.SkipWithError("apx-sim or the fixture tables missing (run under dbus-run-session)");
    return;
  }
  xfr::testing::FakeIni ini;
  xfr::testing::FakeFiles files;
  xfr::testing::FakeWindow window;
  xfr::PosixClock clock;
  xfr::DBusDdeTransport dde;
  const std::string dir = office->dir();
  xfr::XbaseTableService tables([&dir](std::string_view, std::string_view file) -> std::string {
    for (const auto& e : fs::directory_iterator(dir)) {
      if (strcasecmp(e.path().filename().c_str(), std::string(file).c_str()) == 0) {
        return e.path().string();
      }
    }
    return "";
  });
  const char* xfr_ini = "C:\\WINDOWS\\XFR.INI";
  ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "DATADIR", "C:\\TRK\\DATA");
  ini.Set(xfr_ini, "PREFERENCES", "AUTOEXIT", "0");
  ini.Set(xfr_ini, "CENSUS", "URAR", "5|2");
  ini.Set(xfr_ini, "MAPREF", "URAR", "4|1");
  ini.Set(xfr_ini, "Legal", "URAR", "11|1");
  ini.Set(xfr_ini, "OWNER", "URAR", "9|1");
  xfr::App app(xfr::Services{&ini, &files, &clock, &window, &tables, &dde, nullptr}, "");
  xfr::FrmMain form(app);
  xfr::Initialize(app);
  xfr::frmMainForm_Load(form);
  xfr::FindTheRecord(form, "24-00102");

  bench_timing::CommandTimes times;
  for (auto _ : state) {
    times.Time([&] { xfr::cmdSend_Click(form); });
  }
  if (!window.boxes.empty() || form.LblMsg.caption != xfr::kSentStatus) {
    state.SkipWithError("the send did not finish cleanly");
    return;
  }
  times.Report(state);
  xfr::Form_Unload(form);
}
BENCHMARK(BM_SendAllRows)->Iterations(300)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication qt(argc, argv);
  Office o;
  office = &o;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  office = nullptr;
  return 0;
}
