// Table engine speed on PROPERTY-shaped tables (the tracking program's structure, tags FILE_NUM =
// UPPER(FILE_NUM) and CLI_NUM = CLI_NUM) of 10,000, 100,000 and 1,000,000 records in a temp dir:
// open, seek of an existing and of a missing file number (the live record read included), the same
// seek after another program's edit, append with both tags, and an edit that moves a record's
// FILE_NUM key, each write without sync (/0) and with it (/1: whole through NAME.WAL, synced).
// Writes take FoxPro's locks. XFR_BENCH_DIR puts the tables elsewhere (a tmpfs, say).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "platform/xbase/cdx.h"
#include "platform/xbase/cdx_format.h"
#include "platform/xbase/coding.h"
#include "platform/xbase/dbf.h"
#include "platform/xbase/table.h"
#include "peak_memory.h"
#include "property_tables.h"

namespace {

using xbase::Env;
using bench_tables::CliNum;
using bench_tables::FileNum;
using bench_tables::TablePath;

std::unique_ptr<xbase::Table> Open(benchmark::State& state, bool read_only, bool sync = false) {
  std::unique_ptr<xbase::Table> table;
  xbase::TableOptions options;
  options.read_only = read_only;
  options.sync = sync;
  if (!xbase::Table::Open(Env::Default(), TablePath(static_cast<std::uint32_t>(state.range(0))),
                          options, &table)
           .ok()) {
    state.SkipWithError("open");
  }
  return table;
}

void BM_TableOpen(benchmark::State& state) {
  TablePath(static_cast<std::uint32_t>(state.range(0)));
  bench_memory::PeakScope peak(state);
  for (auto _ : state) benchmark::DoNotOptimize(Open(state, true));
}

// Open, first live record and close, read-only (range 1 = 0) or read-write (1): what a program
// that opens the table for one look pays.
void BM_TableOpenFirst(benchmark::State& state) {
  TablePath(static_cast<std::uint32_t>(state.range(0)));
  const bool read_only = state.range(1) == 0;
  bench_memory::PeakScope peak(state);
  for (auto _ : state) {
    auto table = Open(state, read_only);
    bool found = false;
    std::uint32_t recno = 0;
    xbase::Record rec = table->NewRecord();
    if (!table->First(&found, &recno).ok() || !found || !table->Read(recno, &rec).ok()) {
      state.SkipWithError("first record");
    }
  }
}

void Seek(benchmark::State& state, bool hit) {
  const std::uint32_t n = static_cast<std::uint32_t>(state.range(0));
  auto table = Open(state, true);
  const int tag = table->FindTag("FILE_NUM");
  std::mt19937 rng(1);
  std::uint64_t hits = 0;
  bench_memory::PeakScope peak(state);
  for (auto _ : state) {
    bool found = false;
    std::uint32_t recno = 0;
    table->Seek(tag, FileNum(2 * (rng() % n) + (hit ? 0 : 1)), &found, &recno);
    hits += found;
  }
  if (hits != static_cast<std::uint64_t>(hit ? state.iterations() : 0)) {
    state.SkipWithError("wrong answers");
  }
}
void BM_TableSeekHit(benchmark::State& state) { Seek(state, true); }
void BM_TableSeekMiss(benchmark::State& state) { Seek(state, false); }

// A seek right after another program (here another connection) edited a record and so moved the
// index's change counter: what the seek pays to see the index as it is now.
void BM_TableSeekAfterOtherWrite(benchmark::State& state) {
  const std::uint32_t n = static_cast<std::uint32_t>(state.range(0));
  auto table = Open(state, true);
  auto other = Open(state, false);
  const int tag = table->FindTag("FILE_NUM");
  std::mt19937 rng(4);
  xbase::Record change = other->NewRecord();
  std::uint64_t hits = 0;
  bench_memory::PeakScope peak(state);
  for (auto _ : state) {
    state.PauseTiming();
    change.Clear();
    change.SetText(24, CliNum(rng()));  // a CLI_NUM key moved, FILE_NUM left as it is
    if (!other->Update(1 + rng() % n, change).ok()) state.SkipWithError("edit");
    state.ResumeTiming();
    bool found = false;
    std::uint32_t recno = 0;
    table->Seek(tag, FileNum(2 * (rng() % n)), &found, &recno);
    hits += found;
  }
  if (hits != static_cast<std::uint64_t>(state.iterations())) state.SkipWithError("wrong answers");
}

void BM_TableAppend(benchmark::State& state) {
  const std::uint32_t n = static_cast<std::uint32_t>(state.range(0));
  auto table = Open(state, false, state.range(1) != 0);
  std::mt19937 rng(2);
  xbase::Record rec = table->NewRecord();
  bench_memory::PeakScope peak(state);
  for (auto _ : state) {
    rec.Clear();
    rec.SetText(0, FileNum(2 * (rng() % n) + 1));
    rec.SetText(24, CliNum(rng()));
    std::uint32_t recno = 0;
    if (!table->Append(rec, &recno).ok()) state.SkipWithError("append");
  }
}

void BM_TableEditKey(benchmark::State& state) {
  const std::uint32_t n = static_cast<std::uint32_t>(state.range(0));
  auto table = Open(state, false, state.range(1) != 0);
  std::mt19937 rng(3);
  xbase::Record change = table->NewRecord();
  xbase::Record current = table->NewRecord();
  bench_memory::PeakScope peak(state);
  for (auto _ : state) {
    const std::uint32_t r = 1 + rng() % n;
    table->Read(r, &current);
    std::string key = current.Text(0);
    std::uint32_t v = static_cast<std::uint32_t>(std::stoul(key));
    change.Clear();
    change.SetText(0, FileNum(v ^ 1));  // to the odd neighbour and back
    if (!table->Update(r, change).ok()) state.SkipWithError("edit");
  }
}

BENCHMARK(BM_TableOpen)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TableOpenFirst)
    ->ArgsProduct({{10000, 100000, 1000000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TableSeekHit)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TableSeekMiss)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TableSeekAfterOtherWrite)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TableAppend)
    ->ArgsProduct({{10000, 100000, 1000000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TableEditKey)
    ->ArgsProduct({{10000, 100000, 1000000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
