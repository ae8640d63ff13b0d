// Start-up to the first record shown: the window's initialisation and load (four connections,
// field sizes, the first property, its key and its client) over a PROPERTY table of 10,000,
// 100,000 and 1,000,000 records. The load must not read the whole table, so the time should not
// grow with it. INI files and message boxes are in memory; the tables are real files.
#include <benchmark/benchmark.h>

#include "fakes/harness.h"
#include "peak_memory.h"
#include "platform/tables/xbase_table.h"
#include "property_tables.h"
#include "shell/lifecycle.h"
#include "shell/startup.h"
#include "shell/wiring.h"

namespace {

void BM_StartupToFirstRecord(benchmark::State& state) {
  const std::string dir = bench_tables::PrepareOffice(static_cast<std::uint32_t>(state.range(0)));
  xfr::XbaseTableService tables([&](std::string_view, std::string_view file) {
    return dir + "/" + std::string(file);
  });
  bench_memory::PeakScope peak(state);
  for (auto _ : state) {
    xfr::testing::Harness h;
    h.ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "DATADIR", "C:\\TRK\\DATA");
    xfr::App app(xfr::Services{&h.ini, &h.files, nullptr, &h.window, &tables, nullptr,
                               &h.instance},
                 "");
    xfr::MainWindow form(app);
    xfr::Initialize(app);
    xfr::frmMainForm_Load(form);
    if (form.txtFile_Num.text.empty() || !h.window.boxes.empty()) {
      state.SkipWithError("the first record was not shown");
      break;
    }
    benchmark::DoNotOptimize(form.txtKey.text);
  }
}
BENCHMARK(BM_StartupToFirstRecord)->Arg(10000)->Arg(100000)->Arg(1000000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
