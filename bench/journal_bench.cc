// Undo and the transfer journal as it grows: copies of the fixture tables beside a TRANSFER.LOG
// that holds 1,000 or 100,000 reads, written through the journal as the program writes them
// (four writes a read, eight lines; rolled at its 4 MiB bound), or 30,000 reads in one file of
// about 200 MB, as the journal grew before it was rolled. The last read (job NEW-01: an invoice
// added, a property's city changed) is made for real before each undo, outside the timing.
//   - BM_UndoLastRead: "Undo last read" of NEW-01, answered Yes: the time of one undo and the
//     peak resident memory, written as the program writes (`/sync:1`: each write whole through
//     NAME.WAL and each journal line synced) or, to measure what those barriers cost, unsynced
//     (`/sync:0`);
//   - BM_UndoOfAJobNotRead: undo of a job the journal does not hold: the whole journal is read;
//   - BM_ListLastTransfers: the last 100 transfers as `dbftool journal` lists them.
// The tables and the journal go under $XFR_BENCH_DIR (property_tables.h): a local disk or a tmpfs.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <utility>

// The fixture tables the tests use.
#define XFR_TEST_DATA XFR_SOURCE_DIR "/tests/data"

#include "base/journal.h"
#include "fakes/fake_window.h"
#include "peak_memory.h"
#include "platform/posix/posix_clock.h"
#include "platform/tables/table_journal.h"
#include "platform/tables/xbase_table.h"
#include "property_tables.h"
#include "support/office_tables.h"
#include "support/temp_dir.h"
#include "transfer/undo.h"

namespace {

constexpr std::uint64_t kNeverRolled = std::numeric_limits<std::uint64_t>::max();

// An office whose journal holds `reads` reads, the last of them NEW-01.
class Office {
 public:
  Office(long reads, std::uint64_t roll, xfr::XbaseTableService::Writes writes)
      : journal_(Files(), nullptr, &clock_, "BENCH", "bench", roll),
        tables_(Files(), nullptr, &journal_, writes),
        app_(xfr::Services{nullptr, nullptr, &clock_, &window_, &tables_, nullptr, nullptr,
                           &journal_},
             "") {
    xfr::testing::CopyTrackingTables(dir_.path());
    // Reads of other jobs, written through the journal as the engine tells it of each write.
    std::unique_ptr<xbase::Table> t[3];
    std::string bytes[3];
    const char* names[] = {"PROPERTY.DBF", "CLIENT.DBF", "INVOICE.DBF"};
    for (int i = 0; i < 3; ++i) {
      xbase::Table::Open(xbase::Env::Default(), dir_.path() + "/" + names[i], {}, &t[i]);
      xbase::Record record = t[i]->NewRecord();
      t[i]->Read(1, &record);
      bytes[i] = record.bytes();
    }
    for (long r = 1; r < reads; ++r) {
      journal_.Begin("", "read", "B" + std::to_string(r));
      for (const auto& [table, before] : {std::pair{0, false}, {1, false}, {0, true}, {2, false}}) {
        journal_.BeforeWrite(*t[table], 1, before ? &bytes[table] : nullptr, bytes[table]);
        journal_.AfterWrite(*t[table], 1, bytes[table]);
      }
      journal_.End();
    }
    Read();
  }

  // The read of NEW-01, made for real through the tables.
  void Read() {
    xfr::JournalScope scope(app_, "read", "NEW-01");
    auto invoice = tables_.Open("", "", "INVOICE.DBF", 0);
    invoice->AddNew();
    invoice->SetField("INV_NUM", std::string("NEW-01"));
    invoice->Update();
    auto property = tables_.Open("", "", "PROPERTY.DBF", 0);
    property->Edit();
    property->SetField("PR_CITY", "Bench " + std::to_string(++reads_));
    property->Update();
  }

  xfr::UndoOutcome Undo(const char* job) {
    window_.boxes.clear();
    return xfr::UndoLastRead(app_, job);
  }
  xfr::TableJournal& journal() { return journal_; }

 private:
  xfr::TableJournal::Resolver Files() {
    return [this](std::string_view, std::string_view file) {
      return dir_.path() + "/" + std::string(file);
    };
  }

  xfr::testing::TempDir dir_{"xfr-journal-bench-", bench_tables::BenchDir()};
  xfr::PosixClock clock_;
  xfr::testing::FakeWindow window_;
  xfr::TableJournal journal_;
  xfr::XbaseTableService tables_;
  xfr::App app_;
  long reads_ = 0;
};

// One office for each size and way of writing, made at its first use; the 30,000 reads in a
// journal never rolled.
Office& OfficeOf(const benchmark::State& state,
                 xfr::XbaseTableService::Writes writes = xfr::XbaseTableService::Writes::kSynced) {
  static std::map<std::pair<long, xfr::XbaseTableService::Writes>, std::unique_ptr<Office>> offices;
  const long reads = state.range(0);
  auto& office = offices[{reads, writes}];
  if (!office) {
    office = std::make_unique<Office>(
        reads, reads == 30000 ? kNeverRolled : xfr::TableJournal::kRollBytes, writes);
  }
  return *office;
}

void BM_UndoLastRead(benchmark::State& state) {
  Office& office = OfficeOf(state, state.range(1) ? xfr::XbaseTableService::Writes::kSynced
                                                  : xfr::XbaseTableService::Writes::kUnsynced);
  bench_memory::PeakScope peak(state);
  for (auto _ : state) {
    if (office.Undo("NEW-01") != xfr::UndoOutcome::kUndone) {
      state.SkipWithError("the undo did not put the read back");
      return;
    }
    state.PauseTiming();
    office.Read();
    state.ResumeTiming();
  }
}

void BM_UndoOfAJobNotRead(benchmark::State& state) {
  Office& office = OfficeOf(state);
  bench_memory::PeakScope peak(state);
  for (auto _ : state) {
    if (office.Undo("NONE-1") != xfr::UndoOutcome::kNothingToUndo) {
      state.SkipWithError("the undo found something to undo");
      return;
    }
  }
}

void BM_ListLastTransfers(benchmark::State& state) {
  Office& office = OfficeOf(state);
  bench_memory::PeakScope peak(state);
  for (auto _ : state) {
    const xfr::JournalTail tail = xfr::ReadLastTransfers(
        *office.journal().Files(""), 100, [](const xfr::JournalLine&) { return true; });
    std::vector<xfr::JournalLine> lines;
    for (const auto& t : tail.transfers) lines.insert(lines.end(), t.lines.begin(), t.lines.end());
    benchmark::DoNotOptimize(xfr::ListJournal(lines));
  }
}

// Each undo adds an undo and a read to the journal: few enough that its size stays as said.
BENCHMARK(BM_UndoLastRead)->ArgsProduct({{1000, 100000, 30000}, {1, 0}})->ArgNames({"", "sync"})
    ->Iterations(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoOfAJobNotRead)->Arg(1000)->Arg(100000)->Arg(30000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListLastTransfers)->Arg(1000)->Arg(100000)->Arg(30000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
