// Start-up to the first record shown: the window's initialisation and load (four connections,
// field sizes, the first property, its key and its client) over a PROPERTY table of 10,000,
// 100,000 and 1,000,000 records. The load must not read the whole table, so the time should not
// grow with it. INI files and message boxes are in memory; the tables are real files.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <filesystem>

#include "fakes/harness.h"
#include "platform/xbase_table.h"
#include "property_tables.h"
#include "shell/lifecycle.h"
#include "shell/startup.h"

namespace {

std::string PrepareOffice(std::uint32_t n) {
  std::filesystem::path property = bench_tables::TablePath(n);
  std::filesystem::path dir = property.parent_path();
  for (const char* name : {"CLIENT.DBF", "CLIENT.CDX", "INVOICE.DBF", "INVOICE.CDX"}) {
    std::filesystem::path to = dir / name;
    if (!std::filesystem::exists(to)) {
      std::filesystem::copy_file(std::filesystem::path(XFR_SOURCE_DIR) / "tests/data/foxpro" / name,
                                 to);
      std::filesystem::permissions(to, std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add);
    }
  }
  return dir.string();
}

void BM_StartupToFirstRecord(benchmark::State& state) {
  const std::string dir = PrepareOffice(static_cast<std::uint32_t>(state.range(0)));
  xfr::XbaseTableService tables([&](std::string_view, std::string_view file) {
    return dir + "/" + std::string(file);
  });
  for (auto _ : state) {
    xfr::testing::Harness h;
    h.ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "DATADIR", "C:\\TRK\\DATA");
    xfr::App app(xfr::Services{&h.ini, &h.files, nullptr, &h.window, &tables, nullptr,
                               &h.instance},
                 "");
    xfr::FrmMain form(app);
    xfr::Initialize(app);
    xfr::frmMainForm_Load(form);
    if (form.txtFile_Num.text.empty() || !h.window.boxes.empty()) {
      state.SkipWithError("the first record was not shown");
      break;
    }
    benchmark::DoNotOptimize(form.txtKey.text);
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_StartupToFirstRecord)->Arg(10000)->Arg(100000)->Arg(1000000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
