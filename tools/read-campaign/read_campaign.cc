// read-campaign: one worker of a concurrency campaign. It starts apx-sim on the session bus it
// runs under (run it under a bus of its own: dbus-run-session -- read-campaign ...), then reads
// N new jobs, one after the other, into the FoxPro tables of a directory that other workers write
// at the same time. Before each read it pokes the report's file number, client number, street and
// client name to values of its own (worker W, read I):
//   file number  W<W><I, 5 digits>        "W100042"
//   client       <prefix><I, 4 digits>    prefix: the letter 'O' + W ("P0042" for worker 1)
//   street       "<I> Worker <W> Way"
//   client name  "Lender <W>-<I>"
// so each read adds a property, a client and an invoice that no other worker adds; the values
// can be checked afterwards (tools/read-campaign/verify_campaign.py).
//
// Every message box other than the one "... was not found.  Add?" of each read counts as an
// error, as does a read that throws. It prints one line of figures (key=value) and exits 0 when
// every read added its job without an error, 1 otherwise, 2 when it could not start.
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_files.h"
#include "fakes/fake_ini.h"
#include "fakes/fake_window.h"
#include "form/main_window.h"
#include "platform/dbus/dbus_dde_transport.h"
#include "platform/runtime_error.h"
#include "platform/tables/xbase_table.h"
#include "platform/xbase/env.h"
#include "shell/lifecycle.h"
#include "shell/startup.h"
#include "shell/wiring.h"
#include "support/apx_sim.h"
#include "support/office_tables.h"
#include "support/temp_dir.h"
#include "transfer/read_driver.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr char kUsage[] =
    "Usage: read-campaign --data DIR --worker W --reads N [options]\n"
    "Reads N new jobs from apx-sim into the tables in DIR, as worker W (1-9) of a campaign.\n"
    "Run it under a session bus of its own (dbus-run-session -- read-campaign ...).\n"
    "\n"
    "Options:\n"
    "  --apx-sim PATH       the stand-in appraisal program (default: beside this program,\n"
    "                       ../apx-sim/apx-sim)\n"
    "  --client-prefix X    the client numbers' first letter (default 'O' + W)\n"
    "  --ready FILE         created once apx-sim answers, before the first read\n"
    "  --go FILE            wait until FILE exists before the first read\n"
    "  --lockstep-dir DIR   start each read only when the workers 1..--lockstep-workers have\n"
    "                       all reached it (marks in DIR), so that they race on every read\n"
    "  --lockstep-workers N\n"
    "  --lockstep-id K      this worker's mark among them (default W)\n";

const char kReport[] = R"({"reports": {"RPT1": {"forms": ["URAR", "offscrn"], "fields": {
  "offscrn|3|3": "W000000", "offscrn|7|1": "0 Worker 0 Way", "offscrn|8|1": "Atlanta",
  "offscrn|8|3": "GA", "offscrn|8|4": "30306", "offscrn|8|2": "DeKalb",
  "offscrn|24|1": "Druid Hills", "URAR|25|2": "0201.00", "URAR|25|1": "18-054-02-011",
  "offscrn|2|3": "LN-9001", "offscrn|11|1": "$425,000", "offscrn|11|2": "3/7/25",
  "offscrn|6|1": "Chris Buyer", "URAR|5|1": "Pat Seller", "offscrn|13|1": "O0000",
  "offscrn|14|1": "Lender 0-0", "offscrn|15|1": "1201 Peachtree St NE",
  "offscrn|16|1": "Suite 400", "offscrn|17|1": "Atlanta, GA 30361",
  "offscrn|20|3": "Claire Whitman"}}}})";

struct Options {
  std::string data;
  int worker = 0;
  long reads = -1;
  std::string apx_sim;
  std::string client_prefix;
  std::string ready;
  std::string go;
  std::string step_dir;
  int step_workers = 0;
  int step_id = 0;
};

std::string SelfDir() {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return ".";
  std::string dir(self, static_cast<size_t>(n));
  return dir.erase(dir.rfind('/'));
}

bool ParseOptions(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") return false;
    if (i + 1 >= argc) {
      std::fprintf(stderr, "read-campaign: %s needs a value\n", arg.c_str());
      return false;
    }
    const std::string value = argv[++i];
    if (arg == "--data") {
      o->data = value;
    } else if (arg == "--worker") {
      o->worker = std::atoi(value.c_str());
    } else if (arg == "--reads") {
      o->reads = std::atol(value.c_str());
    } else if (arg == "--apx-sim") {
      o->apx_sim = value;
    } else if (arg == "--client-prefix") {
      o->client_prefix = value;
    } else if (arg == "--ready") {
      o->ready = value;
    } else if (arg == "--go") {
      o->go = value;
    } else if (arg == "--lockstep-dir") {
      o->step_dir = value;
    } else if (arg == "--lockstep-workers") {
      o->step_workers = std::atoi(value.c_str());
    } else if (arg == "--lockstep-id") {
      o->step_id = std::atoi(value.c_str());
    } else {
      std::fprintf(stderr, "read-campaign: unknown option %s\n", arg.c_str());
      return false;
    }
  }
  if (o->data.empty() || o->worker < 1 || o->worker > 9 || o->reads < 0 || o->reads > 99999) {
    std::fprintf(stderr,
                 "read-campaign: --data, --worker (1-9) and --reads (0-99999) are needed\n");
    return false;
  }
  if (o->apx_sim.empty()) o->apx_sim = SelfDir() + "/../apx-sim/apx-sim";
  if (o->step_id == 0) o->step_id = o->worker;
  if (o->client_prefix.empty())
    o->client_prefix = std::string(1, static_cast<char>('O' + o->worker));
  return true;
}

std::string Digits(long value, int width) {
  std::string s = std::to_string(value);
  if (static_cast<int>(s.size()) < width)
    s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
  return s;
}

// The real file system, counting the engine's waits for a lock another program holds (the engine
// sleeps only between two tries of a lock).
class CountingEnv final : public xbase::Env {
 public:
  xbase::Status OpenFile(const std::string& path, bool read_only,
                         std::unique_ptr<xbase::File>* file) override {
    return base_->OpenFile(path, read_only, file);
  }
  bool FileExists(const std::string& path) override { return base_->FileExists(path); }
  void SleepMicros(std::uint64_t micros) override {
    ++lock_waits;
    waited_micros += micros;
    base_->SleepMicros(micros);
  }

  long lock_waits = 0;
  std::uint64_t waited_micros = 0;

 private:
  xbase::Env* base_ = xbase::Env::Default();
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t at = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(at, v.size() - 1)];
}

// Marks read `i` as reached by this worker and waits (up to a minute) until every worker has.
bool Lockstep(const Options& o, long i) {
  const std::string at = o.step_dir + "/" + std::to_string(i) + ".";
  std::ofstream(at + std::to_string(o.step_id)).put('\n');
  const auto limit = Clock::now() + std::chrono::seconds(60);
  for (int w = 1; w <= o.step_workers; ++w) {
    while (!fs::exists(at + std::to_string(w))) {
      if (Clock::now() > limit) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
  return true;
}

int Reads(const Options& o) {
  xfr::testing::FakeIni ini;
  xfr::testing::FakeFiles files;
  xfr::testing::FakeWindow window;
  xfr::testing::FakeClock clock;
  clock.today = xfr::Date{2025, 6, 15};
  xfr::DBusDdeTransport dde;
  CountingEnv env;
  const std::string dir = o.data;
  xfr::XbaseTableService tables(xfr::testing::TablesIn(dir), &env);
  const char* xfr_ini = "C:\\WINDOWS\\XFR.INI";
  ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "DATADIR", "C:\\TRK\\DATA");
  ini.Set(xfr_ini, "PREFERENCES", "AUTOEXIT", "0");
  ini.Set(xfr_ini, "FORM", "URAR", "URAR");
  ini.Set(xfr_ini, "CENSUS", "URAR", "25|2");
  ini.Set(xfr_ini, "MAPREF", "URAR", "25|1");
  ini.Set(xfr_ini, "OWNER", "URAR", "5|1");
  xfr::App app(xfr::Services{&ini, &files, &clock, &window, &tables, &dde, nullptr}, "");
  xfr::MainWindow form(app);

  long errors = 0, poke_errors = 0;
  std::string first_error;
  auto note = [&](const std::string& what) {
    ++errors;
    if (first_error.empty()) first_error = what;
  };
  try {
    xfr::Initialize(app);
    xfr::frmMainForm_Load(form);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "read-campaign: the window did not load: %s\n", e.what());
    return 2;
  } catch (...) {
    std::fprintf(stderr, "read-campaign: the window did not load\n");
    return 2;
  }
  if (!window.boxes.empty()) {
    std::fprintf(stderr, "read-campaign: loading showed \"%s\"\n", window.boxes[0].text.c_str());
    return 2;
  }

  if (!o.ready.empty()) std::ofstream(o.ready) << getpid() << "\n";
  while (!o.go.empty() && !fs::exists(o.go))
    std::this_thread::sleep_for(std::chrono::milliseconds(2));

  std::vector<double> click_ms;
  click_ms.reserve(static_cast<std::size_t>(o.reads));
  const auto start = Clock::now();
  std::unique_ptr<xfr::DdeConversation> report;
  for (long i = 0; i < o.reads; ++i) {
    const std::string w = std::to_string(o.worker), n = std::to_string(i);
    const std::string file_num = "W" + w + Digits(i, 5);
    try {
      if (!report) report = dde.Initiate("APX", "RPT1");
      report->Poke("offscrn|3|3", file_num);
      report->Poke("offscrn|13|1", o.client_prefix + Digits(i, 4));
      report->Poke("offscrn|7|1", n + " Worker " + w + " Way");
      report->Poke("offscrn|14|1", "Lender " + w + "-" + n);
    } catch (const std::exception& e) {
      ++poke_errors;
      note(file_num + ": poke failed: " + e.what());
      report.reset();
      continue;
    }
    if (!o.step_dir.empty() && !Lockstep(o, i)) note(file_num + ": the other workers never came");
    window.boxes.clear();
    const auto before = Clock::now();
    try {
      xfr::CmdRead_Click(form);
    } catch (const std::exception& e) {
      note(file_num + ": the read threw: " + e.what());
    } catch (...) {
      note(file_num + ": the read ended the program");
    }
    click_ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - before).count());
    const std::string expected = file_num + " was not found.  Add?";
    for (const auto& box : window.boxes) {
      if (box.text != expected) note(file_num + ": \"" + box.title + "\" " + box.text);
    }
    if (window.boxes.empty() || window.boxes[0].text != expected) {
      note(file_num + ": the read did not ask to add");
    }
  }
  const double wall_s = std::chrono::duration<double>(Clock::now() - start).count();
  try {
    xfr::Form_Unload(form);
  } catch (...) {
  }
  std::printf(
      "worker=%d reads=%ld errors=%ld poke_errors=%ld lock_waits=%ld lock_wait_ms=%.1f "
      "wall_s=%.3f reads_per_s=%.1f click_p50_ms=%.2f click_p99_ms=%.2f click_max_ms=%.2f\n",
      o.worker, o.reads, errors, poke_errors, env.lock_waits, env.waited_micros / 1000.0, wall_s,
      wall_s > 0 ? static_cast<double>(o.reads) / wall_s : 0.0, Percentile(click_ms, 0.5),
      Percentile(click_ms, 0.99),
      click_ms.empty() ? 0.0 : *std::max_element(click_ms.begin(), click_ms.end()));
  if (!first_error.empty())
    std::fprintf(stderr, "read-campaign: first error: %s\n", first_error.c_str());
  std::fflush(stdout);
  return errors == 0 ? 0 : 1;
}

int Run(const Options& o) {
  xfr::testing::TempDir work("read-campaign-");
  const std::string report = work / "report.json";
  xfr::testing::WriteFile(report, kReport);
  int rc = 2;
  // apx-sim serving the campaign's report on this process's session bus.
  xfr::testing::ApxSim sim(o.apx_sim, report, {}, "APX", "dde.APX", std::chrono::seconds(10));
  if (!sim.ready()) {
    std::fprintf(stderr, "read-campaign: %s did not come up on the session bus\n",
                 o.apx_sim.c_str());
  } else {
    rc = Reads(o);
  }
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, &o)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  QCoreApplication qt(argc, argv);
  return Run(o);
}
