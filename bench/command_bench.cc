// The two commands whole, through the session bus to apx-sim, over a PROPERTY table of 10,000,
// 100,000 and 1,000,000 records (property_tables.h) beside copies of the fixture CLIENT and
// INVOICE tables:
//   - a read, add branch: a job not in the table (property, client link and invoice written);
//   - a read, update branch: a job already in the table, its record rewritten;
//   - a send of a record from the middle of the table, all twenty rows.
// The reads are journalled as the program journals them, into a TRANSFER.LOG beside the tables,
// and write as the program writes (`/sync:1`: each write whole through NAME.WAL and each journal
// line synced) or, to measure what those barriers cost, unsynced (`/sync:0`). The tables go
// under $XFR_BENCH_DIR (property_tables.h): a local disk or a tmpfs.
// The question a read asks is answered at once by the scripted window, so the times are the
// program's own work plus apx-sim's answers, never a person's. Run under a session bus of its own:
//   dbus-run-session -- build/<preset>/bench/command_bench
//
// Before each read (outside the timing) the report's file number is poked to the job wanted.
// Reports the median and 99th percentile of the click's wall time (p50_us, p99_us) and of this
// process's own CPU time in it (cpu_p50_us, cpu_p99_us), and the peak resident memory.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "bench_office.h"
#include "command_timing.h"
#include "fakes/fake_files.h"
#include "fakes/fake_ini.h"
#include "fakes/fake_window.h"
#include "form/main_window.h"
#include "peak_memory.h"
#include "platform/dbus/dbus_dde_transport.h"
#include "platform/posix/posix_clock.h"
#include "platform/tables/table_journal.h"
#include "platform/tables/xbase_table.h"
#include "property_tables.h"
#include "shell/lifecycle.h"
#include "shell/startup.h"
#include "store/lookup.h"
#include "transfer/read_driver.h"
#include "transfer/send_driver.h"

namespace {

const char kReport[] = R"({"reports": {"RPT1": {"forms": ["URAR", "offscrn"], "fields": {
  "offscrn|3|3": "00000001", "offscrn|7|1": "1650 Briarcliff Rd NE", "offscrn|8|1": "Atlanta",
  "offscrn|8|3": "GA", "offscrn|8|4": "30306", "offscrn|8|2": "DeKalb",
  "offscrn|24|1": "Druid Hills", "URAR|25|2": "0201.00", "URAR|25|1": "18-054-02-011",
  "offscrn|2|3": "LN-9001", "offscrn|11|1": "$425,000", "offscrn|11|2": "3/7/25",
  "offscrn|6|1": "Chris Buyer", "URAR|5|1": "Pat Seller", "offscrn|13|1": "10002",
  "offscrn|14|1": "Ansley Private Bank", "offscrn|15|1": "1201 Peachtree St NE",
  "offscrn|16|1": "Suite 400", "offscrn|17|1": "Atlanta, GA 30361",
  "offscrn|20|3": "Claire Whitman"}}}})";

bench_office::ApxSim* apx = nullptr;

// The program started over an office of n properties, as the window has it before a click.
struct Program {
  explicit Program(std::uint32_t n,
                   xfr::XbaseTableService::Writes writes = xfr::XbaseTableService::Writes::kSynced)
      : dir(bench_tables::PrepareOffice(n)),
        journal(Files(), nullptr, &clock, "BENCH", "bench"),
        tables(Files(), nullptr, &journal, writes),
        app(xfr::Services{&ini, &files, &clock, &window, &tables, &dde, nullptr, &journal}, ""),
        form(app) {
    const char* xfr_ini = "C:\\WINDOWS\\XFR.INI";
    ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "DATADIR", "C:\\TRK\\DATA");
    ini.Set(xfr_ini, "PREFERENCES", "AUTOEXIT", "0");
    ini.Set(xfr_ini, "FORM", "URAR", "URAR");
    ini.Set(xfr_ini, "CENSUS", "URAR", "25|2");
    ini.Set(xfr_ini, "MAPREF", "URAR", "25|1");
    ini.Set(xfr_ini, "Legal", "URAR", "11|1");
    ini.Set(xfr_ini, "OWNER", "URAR", "5|1");
    xfr::Initialize(app);
    xfr::frmMainForm_Load(form);
  }
  ~Program() { xfr::Form_Unload(form); }

  std::function<std::string(std::string_view, std::string_view)> Files() {
    return
        [this](std::string_view, std::string_view file) { return dir + "/" + std::string(file); };
  }

  std::string dir;
  xfr::testing::FakeIni ini;
  xfr::testing::FakeFiles files;
  xfr::testing::FakeWindow window;
  xfr::PosixClock clock;
  xfr::DBusDdeTransport dde;
  xfr::TableJournal journal;
  xfr::XbaseTableService tables;
  xfr::App app;
  xfr::FrmMain form;
};

bool Ready(benchmark::State& state) {
  if (apx && apx->ready()) return true;
  state.SkipWithError("apx-sim missing or no session bus (run under dbus-run-session)");
  return false;
}

// `pick(i)` is the file number of the i-th read; `question` the box the read must ask.
template <typename Pick>
void Read(benchmark::State& state, Pick pick, const char* question) {
  if (!Ready(state)) return;
  const std::uint32_t n = static_cast<std::uint32_t>(state.range(0));
  Program p(n, state.range(1) ? xfr::XbaseTableService::Writes::kSynced
                              : xfr::XbaseTableService::Writes::kUnsynced);
  bench_timing::CommandTimes times;
  bench_memory::PeakScope peak(state);
  // Counted over the process: the runs of one size share their table.
  static std::map<std::uint32_t, std::uint32_t> reads;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string file_num = pick(n, reads[n]++);
    p.dde.Initiate("APX", "RPT1")->Poke("offscrn|3|3", file_num);
    p.window.boxes.clear();
    state.ResumeTiming();
    times.Time([&] { xfr::CmdRead_Click(p.form); });
    if (p.window.boxes.size() != 1 || p.window.boxes[0].text != file_num + question) {
      state.SkipWithError(("the read of " + file_num + " did not ask" + question).c_str());
      return;
    }
  }
  times.Report(state);
}

void BM_ReadAddBranch(benchmark::State& state) {
  // Odd numbers are not in the generated table: each read adds a new job.
  Read(
      state, [](std::uint32_t, std::uint32_t i) { return bench_tables::FileNum(2 * i + 1); },
      " was not found.  Add?");
}

void BM_ReadUpdateBranch(benchmark::State& state) {
  // Even numbers are there; spread over the whole table.
  Read(
      state,
      [](std::uint32_t n, std::uint32_t i) {
        return bench_tables::FileNum(2 * ((i * 7919u) % n));
      },
      " was found.  Update?");
}

void BM_SendAllRows(benchmark::State& state) {
  if (!Ready(state)) return;
  const std::uint32_t n = static_cast<std::uint32_t>(state.range(0));
  Program p(n);
  xfr::FindTheRecord(p.form, bench_tables::FileNum(n));  // a record from the middle
  bench_timing::CommandTimes times;
  bench_memory::PeakScope peak(state);
  for (auto _ : state) times.Time([&] { xfr::cmdSend_Click(p.form); });
  if (!p.window.boxes.empty() || p.form.LblMsg.caption != xfr::kSentStatus) {
    state.SkipWithError("the send did not finish cleanly");
    return;
  }
  times.Report(state);
}

// The sends come last: they poke the report, which the reads capture.
BENCHMARK(BM_ReadAddBranch)->ArgsProduct({{10000, 100000, 1000000}, {1, 0}})
    ->ArgNames({"", "sync"})->Iterations(300)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadUpdateBranch)->ArgsProduct({{10000, 100000, 1000000}, {1, 0}})
    ->ArgNames({"", "sync"})->Iterations(300)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SendAllRows)->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(300)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication qt(argc, argv);
  bench_office::ApxSim sim(kReport);
  apx = &sim;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  apx = nullptr;
  return 0;
}
