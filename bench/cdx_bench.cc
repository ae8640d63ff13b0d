// Compound index speed on a real file: open, seek of an existing and of a missing key, and the
// index side of an append (insert + flush) and of an edit (delete + insert + flush), on one tag
// of 8-byte keys holding 100,000 and 1,000,000 entries (built in a scattered order, so pages
// are as full as ordinary use leaves them). Flushes do not fsync.
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

namespace {

using xbase::CdxFile;
using xbase::Env;

std::string Key(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof(buf), "%08u", v);
  return buf;
}

// An index with one empty tag "FILE_NUM" of 8-byte character keys.
std::string EmptyIndex() {
  using namespace xbase::cdx;
  std::string file(0x600 + kHeaderSize + kPageSize, '\0');
  auto header = [&](std::uint32_t at, std::uint32_t root, int key_length, std::uint8_t options) {
    char* p = file.data() + at;
    xbase::EncodeFixed32LE(p, root);
    xbase::EncodeFixed16LE(p + 12, static_cast<std::uint16_t>(key_length));
    p[14] = static_cast<char>(options);
    p[15] = 1;
    std::memcpy(p + 512, "FILE_NUM", 8);
    xbase::EncodeFixed16LE(p + 504, 9);
    xbase::EncodeFixed16LE(p + 506, 1);
    xbase::EncodeFixed16LE(p + 510, 9);
  };
  header(0, 0x400, 10, kOptionCompact | kOptionCompound | kOptionStructural);
  Node dir;
  dir.offset = 0x400;
  dir.attr = kAttrRoot | kAttrLeaf;
  dir.key_length = 10;
  dir.Insert(0, "FILE_NUM  ", 0x600, 0);
  dir.EncodeTo(' ', file.data() + 0x400);
  header(0x600, 0xa00, 8, kOptionCompact | kOptionCompound);
  Node root;
  root.offset = 0xa00;
  root.attr = kAttrRoot | kAttrLeaf;
  root.key_length = 8;
  root.EncodeTo(' ', file.data() + 0xa00);
  return file;
}

// Keys are the even numbers 0, 2, ..., 2(n-1): odd numbers are misses and free for inserts.
const std::string& IndexPath(std::uint32_t n) {
  static std::map<std::uint32_t, std::string> built;
  auto it = built.find(n);
  if (it != built.end()) return it->second;
  char dir[] = "/tmp/cdx_bench_XXXXXX";
  if (mkdtemp(dir) == nullptr) std::abort();
  const std::string path = std::string(dir) + "/T" + std::to_string(n) + ".CDX";
  {
    std::ofstream out(path, std::ios::binary);
    out << EmptyIndex();
  }
  std::unique_ptr<CdxFile> cdx;
  if (!CdxFile::Open(Env::Default(), path, false, &cdx).ok()) std::abort();
  // A multiplicative permutation of 0..n-1 scatters the inserts.
  const std::uint64_t step = 1000003;  // prime, coprime with n
  for (std::uint64_t i = 0; i < n; ++i) {
    const std::uint32_t v = static_cast<std::uint32_t>((i * step) % n);
    if (!cdx->Insert(0, Key(2 * v), v + 1).ok()) std::abort();
    if (i % 4096 == 4095 && !cdx->Flush().ok()) std::abort();
  }
  if (!cdx->Flush().ok()) std::abort();
  return built[n] = path;
}

void BM_CdxOpen(benchmark::State& state) {
  const std::string& path = IndexPath(static_cast<std::uint32_t>(state.range(0)));
  for (auto _ : state) {
    std::unique_ptr<CdxFile> cdx;
    if (!CdxFile::Open(Env::Default(), path, true, &cdx).ok()) state.SkipWithError("open");
    benchmark::DoNotOptimize(cdx);
  }
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
}

void Seek(benchmark::State& state, bool hit) {
  const std::uint32_t n = static_cast<std::uint32_t>(state.range(0));
  std::unique_ptr<CdxFile> cdx;
  if (!CdxFile::Open(Env::Default(), IndexPath(n), true, &cdx).ok()) state.SkipWithError("open");
  std::mt19937 rng(1);
  std::uint64_t found_count = 0;
  for (auto _ : state) {
    const std::uint32_t v = 2 * (rng() % n) + (hit ? 0 : 1);
    bool found = false;
    std::uint32_t recno = 0;
    cdx->Seek(0, Key(v), &found, &recno);
    found_count += found;
  }
  if (found_count != static_cast<std::uint64_t>(hit ? state.iterations() : 0)) state.SkipWithError("wrong answers");
}

void BM_CdxSeekHit(benchmark::State& state) { Seek(state, true); }
void BM_CdxSeekMiss(benchmark::State& state) { Seek(state, false); }

// The index side of an append: one new key, flushed.
void BM_CdxInsertFlush(benchmark::State& state) {
  const std::uint32_t n = static_cast<std::uint32_t>(state.range(0));
  std::unique_ptr<CdxFile> cdx;
  if (!CdxFile::Open(Env::Default(), IndexPath(n), false, &cdx).ok()) state.SkipWithError("open");
  std::mt19937 rng(2);
  std::vector<std::pair<std::string, std::uint32_t>> added;
  std::uint32_t recno = n + 1;
  for (auto _ : state) {
    std::string key = Key(2 * (rng() % n) + 1);
    if (!cdx->Insert(0, key, recno).ok() || !cdx->Flush().ok()) state.SkipWithError("insert");
    added.emplace_back(key, recno++);
  }
  // Leave the index as it was for the next run.
  for (const auto& [key, r] : added) cdx->Delete(0, key, r);
  cdx->Flush();
}

// The index side of editing an indexed field: the old key out, the new one in, flushed.
void BM_CdxEditFlush(benchmark::State& state) {
  const std::uint32_t n = static_cast<std::uint32_t>(state.range(0));
  std::unique_ptr<CdxFile> cdx;
  if (!CdxFile::Open(Env::Default(), IndexPath(n), false, &cdx).ok()) state.SkipWithError("open");
  std::mt19937 rng(3);
  for (auto _ : state) {
    const std::uint32_t v = static_cast<std::uint32_t>(rng() % n);
    // Record v+1 holds key 2v; move it to 2v+1 and back on alternate rounds.
    bool found = false;
    std::uint32_t r = 0;
    cdx->Seek(0, Key(2 * v), &found, &r);
    const std::string from = Key(found ? 2 * v : 2 * v + 1);
    const std::string to = Key(found ? 2 * v + 1 : 2 * v);
    if (!cdx->Delete(0, from, v + 1).ok() || !cdx->Insert(0, to, v + 1).ok() ||
        !cdx->Flush().ok()) {
      state.SkipWithError("edit");
    }
  }
}

BENCHMARK(BM_CdxOpen)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CdxSeekHit)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CdxSeekMiss)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CdxInsertFlush)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CdxEditFlush)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

}  // namespace
