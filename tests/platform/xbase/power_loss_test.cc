// The power-loss campaign of the engine's synced writes (TableOptions::sync): appends, one of
// which splits a leaf, and a key moved across leaves, recorded with every write and sync. From
// the log come the disk states a power cut can leave: at every point of it, everything issued
// landed, nothing since each file's last sync landed, and seeded mixes (each 512-byte sector in
// any version it had since, the file at any size it had since). Each is opened as the next start
// does; both checkers pass, and every write before the one cut is whole, that one whole or not
// there at all. XFR_POWER_LOSS_FULL=1: 40 mixes a point, the independent checker on every state.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <random>

#include "platform/xbase/fault_env.h"
#include "platform/xbase/mem_env.h"
#include "platform/xbase/power_loss.h"
#include "platform/xbase/write_ahead.h"
#include "platform/xbase/table_test_util.h"

namespace xbase::table_testing {
namespace {

using Op = FaultEnv::Op;

// The record count and the records of a DBF's bytes.
std::string Records(const std::string& dbf) {
  DbfHeader h;
  if (dbf.size() < DbfHeader::kEncodedLength || !h.DecodeFrom(dbf).ok()) return "unreadable";
  return std::to_string(h.record_count) + ":" +
         dbf.substr(h.header_length, std::size_t{h.record_count} * h.record_length);
}

Files Get(MemEnv* env) {
  Files files;
  for (const char* name : {"PROPERTY.DBF", "PROPERTY.CDX", "PROPERTY.FPT", "PROPERTY.WAL"}) {
    if (!env->GetFile(name, &files[name])) files.erase(name);
  }
  return files;
}

void Put(MemEnv* env, const Files& files) {
  for (const auto& [name, bytes] : files) env->PutFile(name, bytes);
}

// Keys inside the FILE_NUM tag's range: "24-0010A" sorts between 24-00109 and 24-00110.
Status AppendKey(Table* t, int i) {
  return Write(t, 0, {{"FILE_NUM", "24-00" + std::to_string(10 + i / 26) + char('A' + i % 26)}});
}

TEST(PowerLoss, EveryCutLeavesEachSyncedWriteWholeOrNotAtAll) {
  const bool full = std::getenv("XFR_POWER_LOSS_FULL") != nullptr;
  MemEnv mem;
  PutFixture(&mem, "PROPERTY");
  // Appended until the third of the appends below splits the FILE_NUM leaf (found on a copy).
  int split_at = 0;
  {
    MemEnv copy;
    Put(&copy, Get(&mem));
    auto t = OpenOrDie(&copy, "PROPERTY.DBF");
    const std::size_t size = Get(&copy).at("PROPERTY.CDX").size();
    while (AppendKey(t.get(), split_at).ok() && Get(&copy).at("PROPERTY.CDX").size() == size) {
      ++split_at;
    }
    t = OpenOrDie(&mem, "PROPERTY.DBF");
    for (int i = 0; i + 2 < split_at; ++i) ASSERT_TRUE(AppendKey(t.get(), i).ok());
  }
  const Files start = Get(&mem);

  // Four appends, the third splitting the leaf, then record 1's key moved to the far end; without
  // sync and then with it. Without sync the writes go in place, in the order that leaves a write
  // cut short to the open's catch-up: a record before the count, new index pages before the pages
  // and headers that point to them, the compound header with its change counter last.
  std::vector<std::size_t> ends{0};  // with sync: where each write ends in the log
  std::vector<std::string> records{Records(start.at("PROPERTY.DBF"))};
  FaultEnv env(&mem);
  for (bool sync : {false, true}) {
    Put(&mem, start);
    env.record = sync;
    auto t = OpenOrDie(&env, "PROPERTY.DBF", {.sync = sync});
    for (int w = 0; w < 5; ++w) {
      const Files before = Get(&mem);
      FaultEnv::Op last{Op::kSync, "", 1, {}};
      bool header = false, old_page = false;
      env.on_write = [&](const std::string& path, std::uint64_t offset, std::size_t) {
        const bool dbf = BaseName(path) == "PROPERTY.DBF";
        const std::size_t cdx_size = before.at("PROPERTY.CDX").size();
        EXPECT_TRUE(sync || !(dbf ? header : offset >= cdx_size && old_page)) << w;
        (dbf ? header : old_page) |= offset < (dbf ? 32 : cdx_size);
        if (!dbf) last.offset = offset;
      };
      ASSERT_TRUE((w < 4 ? AppendKey(t.get(), split_at - 2 + w)
                         : Write(t.get(), 1, {{"FILE_NUM", "24-00999"}})).ok());
      EXPECT_TRUE(sync || last.offset == 0) << "the compound header is written last";
      if (w == 2) EXPECT_GT(Get(&mem)["PROPERTY.CDX"].size(), before.at("PROPERTY.CDX").size());
      if (!sync) continue;
      ends.push_back(env.log.size());
      records.push_back(Records(Get(&mem).at("PROPERTY.DBF")));
    }
  }
  env.on_write = nullptr;
  const std::vector<Op> log = env.log;

  // The barriers: a table file is written only once PROPERTY.WAL holds the write and is synced,
  // and PROPERTY.WAL lets go of it only once both table files are synced.
  std::map<std::string, bool> unsynced;
  std::size_t wal_synced = 0;  // the first point where the first write can be redone
  for (std::size_t i = 0; i < log.size(); ++i) {
    const std::string name = BaseName(log[i].path);
    const bool wal = name == "PROPERTY.WAL";
    if (log[i].kind == Op::kSync) {
      unsynced[name] = false;
      if (wal && wal_synced == 0) wal_synced = i + 1;
    } else if (log[i].kind == Op::kWrite && wal && log[i].bytes == std::string(8, '\0')) {
      EXPECT_FALSE(unsynced["PROPERTY.DBF"] || unsynced["PROPERTY.CDX"]) << "let go early " << i;
    } else if (log[i].kind == Op::kWrite || log[i].kind == Op::kCut) {
      EXPECT_TRUE(wal || !unsynced["PROPERTY.WAL"]) << name << " written before the WAL synced";
      unsynced[name] = true;
    }
  }

  // Another program appended after the cut, not knowing PROPERTY.WAL: the write cut short is not
  // redone over its record.
  Put(&mem, start);
  ASSERT_TRUE(AppendKey(OpenOrDie(&mem, "PROPERTY.DBF").get(), 99).ok());
  const std::string foreign = Records(Get(&mem).at("PROPERTY.DBF"));
  auto all = [](std::size_t n) { return n - 1; };
  mem.PutFile("PROPERTY.WAL", Land(start, log, wal_synced, all).at("PROPERTY.WAL"));
  std::vector<std::string> report;
  CheckTable(&mem, "PROPERTY.DBF", &report);
  EXPECT_NE(report.at(0).find("PROPERTY.WAL holds a write cut short"), std::string::npos);
  OpenOrDie(&mem, "PROPERTY.DBF");
  EXPECT_EQ(Records(Get(&mem).at("PROPERTY.DBF")), foreign);
  report.clear();  // finished, PROPERTY.WAL is let go of: no more note
  CheckTable(&mem, "PROPERTY.DBF", &report);
  EXPECT_EQ(report.at(0).find("holds a write cut short"), std::string::npos);

  int states = 0, before = 0, after = 0;
  std::mt19937 rng(34);
  for (std::size_t cut = 0; cut <= log.size(); ++cut) {
    std::size_t w = 0;  // the write in progress: records[w] or records[w + 1]
    while (w + 2 < ends.size() && ends[w + 1] < cut) ++w;
    for (const auto& choose : Choices(full ? 40 : 2, rng)) {
      SCOPED_TRACE("cut " + std::to_string(cut) + " of " + std::to_string(log.size()));
      MemEnv next;
      Put(&next, Land(start, log, cut, choose));
      std::unique_ptr<Table> t;  // the next start
      EXPECT_TRUE(Table::Open(&next, "PROPERTY.DBF", {}, &t).ok());
      t.reset();
      const Files opened = Get(&next);
      const std::string got = Records(opened.at("PROPERTY.DBF"));
      EXPECT_TRUE(got == records[w] || got == records[w + 1]);
      before += got == records[w];
      after += got == records[w + 1] && got != records[w];
      report.clear();
      const Status s = CheckTable(&next, "PROPERTY.DBF", &report);
      EXPECT_TRUE(s.ok()) << s.ToString();
      EXPECT_NE(opened.count("PROPERTY.WAL") ? opened.at("PROPERTY.WAL").substr(0, 7) : "",
                "XFRWAL1");
      if (HaveChecker() && (full || states % 50 == 0)) {
        TempDir dir;
        for (const auto& [name, bytes] : opened) xfr::testing::WriteFile(dir / name, bytes);
        std::string out;
        EXPECT_EQ(RunChecker(dir.path(), &out), 0) << out;
      }
      ++states;
    }
  }
  std::printf(
      "power-loss campaign: %zu log entries, %d states: %d as before the write cut, %d "
      "with it whole, none else\n",
      log.size(), states, before, after);
  EXPECT_GT(after, 0);
}

// Reads and the size through a StagedFile that holds writes and a cut back are those of a plain
// file that took them (zeros in a gap), while the file under it is left as it was until the
// commit, which lands them all.
TEST(StagedFile, ReadsSeeWhatItHoldsBackAsAFileWould) {
  std::mt19937 rng(11);
  const auto some = [&](std::size_t n) {
    std::string text(n, ' ');
    for (char& c : text) c = static_cast<char>('a' + rng() % 26);
    return text;
  };
  for (int round = 0; round < 300; ++round) {
    MemEnv env;
    std::string model = some(rng() % 64);
    const std::string before = model;
    env.PutFile("F", model);
    std::unique_ptr<File> base;
    ASSERT_TRUE(env.OpenFile("F", false, &base).ok());
    StagedFile staged(std::move(base));
    staged.Hold();
    const int cut_at = static_cast<int>(rng() % 6);  // a cut among the writes, or none
    for (int op = 0; op < 5; ++op) {
      if (op == cut_at) {
        const std::size_t size = rng() % 80;
        ASSERT_TRUE(staged.Truncate(size).ok());
        model.resize(size, '\0');
      }
      const std::size_t at = rng() % 90;
      const std::string bytes = some(1 + rng() % 20);
      ASSERT_TRUE(staged.WriteAt(at, bytes.data(), bytes.size()).ok());
      if (model.size() < at + bytes.size()) model.resize(at + bytes.size(), '\0');
      model.replace(at, bytes.size(), bytes);
    }
    std::uint64_t size = 0;
    ASSERT_TRUE(staged.Size(&size).ok());
    ASSERT_EQ(size, model.size()) << round;
    for (int read = 0; read < 8; ++read) {
      const std::size_t at = rng() % 120, n = 1 + rng() % 40;
      std::string got(n, '?');
      std::size_t len = 0;
      ASSERT_TRUE(staged.ReadAt(at, n, got.data(), &len).ok());
      ASSERT_EQ(got.substr(0, len), at < model.size() ? model.substr(at, n) : "") << round;
    }
    std::string file;
    ASSERT_TRUE(env.GetFile("F", &file) && file == before) << round;
    // Committed, the file is the model: every write and the cut land.
    env.PutFile("F.WAL", "");
    std::unique_ptr<File> log;
    ASSERT_TRUE(env.OpenFile("F.WAL", false, &log).ok());
    ASSERT_TRUE(CommitStaged(log.get(), &staged, nullptr).ok());
    ASSERT_TRUE(env.GetFile("F", &file) && file == model) << round;
  }
}

// A NAME.WAL made by hand in its documented layout: the write it holds of the DBF's bytes or of
// its size is finished; an entry naming a third file, of an unknown kind, or for the index of a
// table without one is no write of ours, and the table is left alone. NAME.WAL is let go of.
TEST(WriteAhead, FinishesWhatItsLayoutSaysAndNothingElse) {
  const auto be = [](std::uint64_t v, int n) {  // big-endian, n bytes
    std::string out;
    for (int i = n - 1; i >= 0; --i) out += static_cast<char>(v >> (8 * i));
    return out;
  };
  const struct Case {
    int file, kind;
    std::uint64_t offset;
    std::string images;  // new bytes then old ones
    const char* after;
  } cases[] = {{0, 0, 2, "XYcd", "abXYefgh"}, {0, 1, 5, "", "abcde"}, {2, 0, 2, "XYcd", "abcdefgh"},
               {0, 2, 2, "XYcd", "abcdefgh"}, {1, 0, 2, "XYcd", "abcdefgh"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.file) + " " + std::to_string(c.kind));
    const std::string body = be(c.file, 1) + be(c.kind, 1) + be(c.offset, 8) +
                             be(c.images.size() / 2, 4) + c.images;
    std::uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a
    for (char ch : body) hash = (hash ^ static_cast<unsigned char>(ch)) * 0x100000001b3ull;
    MemEnv env;
    env.PutFile("T.WAL", "XFRWAL1\n" + be(body.size(), 4) + be(hash, 8) + body);
    env.PutFile("T.DBF", "abcdefgh");
    env.PutFile("T.CDX", "abcdefgh");
    std::unique_ptr<File> log, dbf, cdx;
    ASSERT_TRUE(env.OpenFile("T.WAL", false, &log).ok() && env.OpenFile("T.DBF", false, &dbf).ok() &&
                env.OpenFile("T.CDX", false, &cdx).ok());
    Interrupted outcome = Interrupted::kStale;
    ASSERT_TRUE(FinishInterruptedWrite(log.get(), dbf.get(), c.file == 1 ? nullptr : cdx.get(),
                                       &outcome).ok());
    std::string now;
    ASSERT_TRUE(env.GetFile("T.DBF", &now));
    EXPECT_EQ(now, c.after);
    ASSERT_TRUE(env.GetFile("T.CDX", &now) && now == "abcdefgh");
    EXPECT_EQ(outcome, c.after == std::string("abcdefgh") ? Interrupted::kNone
                                                           : Interrupted::kFinished);
    bool pending = true;
    ASSERT_TRUE(WriteAheadPending(log.get(), &pending).ok());
    EXPECT_FALSE(pending);
  }
}

}  // namespace
}  // namespace xbase::table_testing
