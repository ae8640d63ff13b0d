// The power-loss campaign of the engine's synced writes (TableOptions::sync): a key edit and
// appends, one of which splits a leaf, recorded with every write and sync; from the log, the disk
// states a power cut can leave: at every point of the log, everything issued landed, nothing
// since each file's last sync landed, and seeded mixes (each 512-byte sector in any version it
// had since, the file at any size it had since). Each state is opened as the next start does,
// then both checkers pass and the table holds every write before the one cut either whole or not
// at all. XFR_POWER_LOSS_FULL=1 tries 40 mixes a point and the independent checker on every
// state (scripts/long-proof.sh).
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <random>

#include "platform/xbase/fault_env.h"
#include "platform/xbase/table_test_util.h"

namespace xbase::table_testing {
namespace {

using Files = std::map<std::string, std::string>;  // name -> bytes
constexpr std::size_t kSector = 512;
const char* const kNames[] = {"PROPERTY.DBF", "PROPERTY.CDX", "PROPERTY.FPT", "PROPERTY.WAL"};

// The record count and the records of a DBF's bytes.
std::string Records(const std::string& dbf) {
  DbfHeader h;
  if (dbf.size() < DbfHeader::kEncodedLength || !h.DecodeFrom(dbf).ok()) return "unreadable";
  return std::to_string(h.record_count) + ":" +
         dbf.substr(h.header_length, std::size_t{h.record_count} * h.record_length);
}

// One file as a cut may find it: what its last sync made durable, and its bytes after each
// write or cut issued since.
struct Pending {
  std::string durable;
  std::vector<std::string> after;
};

std::map<std::string, Pending> PendingAt(const Files& start, const std::vector<FaultEnv::Op>& log,
                                         std::size_t cut) {
  std::map<std::string, Pending> out;
  Files now = start;
  for (const auto& [name, bytes] : start) out[name].durable = bytes;
  for (std::size_t i = 0; i < cut; ++i) {
    const FaultEnv::Op& op = log[i];
    const std::string name = BaseName(op.path);
    std::string& bytes = now[name];
    if (op.kind == FaultEnv::Op::kSync || op.kind == FaultEnv::Op::kCreate) {
      out[name] = {bytes, {}};  // a new file's name is synced with its directory
      continue;
    }
    if (op.kind == FaultEnv::Op::kCut) {
      bytes.resize(op.offset, '\0');
    } else {
      if (bytes.size() < op.offset + op.bytes.size()) bytes.resize(op.offset + op.bytes.size());
      bytes.replace(op.offset, op.bytes.size(), op.bytes);
    }
    out[name].after.push_back(bytes);
  }
  return out;
}

// A disk state: each file at the size of one of its versions, each sector in one of the
// versions it had; choose(n) picks one of n, 0 being the durable one.
Files Land(const std::map<std::string, Pending>& files,
           const std::function<std::size_t(std::size_t)>& choose) {
  Files out;
  for (const auto& [name, p] : files) {
    std::vector<const std::string*> versions{&p.durable};
    for (const std::string& a : p.after) versions.push_back(&a);
    std::string disk = p.durable;
    disk.resize(versions[choose(versions.size())]->size(), '\0');
    for (std::size_t at = 0; at < disk.size(); at += kSector) {
      auto sector = [&](std::size_t v) {
        return versions[v]->substr(std::min(at, versions[v]->size()), kSector);
      };
      std::vector<std::size_t> changed{0};
      for (std::size_t v = 1; v < versions.size(); ++v) {
        if (sector(v) != sector(changed.back())) changed.push_back(v);
      }
      std::string bytes = sector(changed[choose(changed.size())]);
      bytes.resize(std::min(kSector, disk.size() - at), '\0');
      disk.replace(at, bytes.size(), bytes);
    }
    out[name] = disk;
  }
  return out;
}

void Put(MemEnv* env, const Files& files) {
  for (const auto& [name, bytes] : files) env->PutFile(name, bytes);
}

Files Get(MemEnv* env) {
  Files files;
  for (const char* name : kNames) {
    if (env->GetFile(name, &files[name])) continue;
    files.erase(name);
  }
  return files;
}

// Keys inside the FILE_NUM tag's range: "24-0010A" sorts between 24-00109 and 24-00110.
std::string Key(int i) {
  return "24-00" + std::to_string(10 + i / 26) + std::string(1, static_cast<char>('A' + i % 26));
}

Status AppendKey(Table* t, int i) {
  Record r = t->NewRecord();
  r.SetText(t->FindField("FILE_NUM"), Key(i));
  std::uint32_t recno = 0;
  return t->Append(r, &recno);
}

TEST(PowerLoss, EveryCutLeavesEachSyncedWriteWholeOrNotAtAll) {
  const bool full = std::getenv("XFR_POWER_LOSS_FULL") != nullptr;
  MemEnv mem;
  for (const char* name : {"PROPERTY.DBF", "PROPERTY.CDX", "PROPERTY.FPT"}) {
    mem.PutFile(name, Slurp(DataPath(std::string("foxpro/") + name)));
  }
  // Appended until the third recorded append splits the FILE_NUM leaf (found on a copy).
  int split_at = 0;
  {
    MemEnv copy;
    Put(&copy, Get(&mem));
    auto t = OpenOrDie(&copy, "PROPERTY.DBF");
    const std::size_t size = Get(&copy).at("PROPERTY.CDX").size();
    while (AppendKey(t.get(), split_at).ok() && Get(&copy).at("PROPERTY.CDX").size() == size) {
      ++split_at;
    }
  }
  {
    auto t = OpenOrDie(&mem, "PROPERTY.DBF");
    for (int i = 0; i + 2 < split_at; ++i) ASSERT_TRUE(AppendKey(t.get(), i).ok());
  }
  const Files start = Get(&mem);
  // Four appends, the third splitting a leaf, then record 1's key moved to the far end.
  std::vector<std::function<Status(Table*)>> writes;
  for (int i = split_at - 2; i < split_at + 2; ++i) {
    writes.push_back([i](Table* t) { return AppendKey(t, i); });
  }
  writes.push_back([](Table* t) {
    Record r = t->NewRecord();
    r.SetText(t->FindField("FILE_NUM"), "24-00999");
    return t->Update(1, r);
  });

  // Without sync the writes go in place, in the order that leaves an interrupted write to the
  // open's catch-up: a record before the count, new index pages before the pages and headers
  // that point to them, the compound header with its change counter last.
  MemEnv plain_mem;
  Put(&plain_mem, start);
  FaultEnv plain(&plain_mem);
  plain.record = true;
  {
    auto t = OpenOrDie(&plain, "PROPERTY.DBF");
    for (const auto& write : writes) {
      const std::size_t from = plain.log.size();
      const std::size_t cdx_size = Get(&plain_mem).at("PROPERTY.CDX").size();
      ASSERT_TRUE(write(t.get()).ok());
      bool header = false, old_page = false;
      for (std::size_t i = from; i < plain.log.size(); ++i) {
        const FaultEnv::Op& op = plain.log[i];
        const bool dbf = BaseName(op.path) == "PROPERTY.DBF";
        EXPECT_FALSE(dbf ? header : op.offset >= cdx_size && old_page) << "write " << i;
        (dbf ? header : old_page) |= op.offset < (dbf ? 32 : cdx_size);
        if (!dbf && i + 1 == plain.log.size()) EXPECT_EQ(op.offset, 0u);
      }
    }
  }

  // The recorded run with sync: each write's log range and the records after it.
  FaultEnv env(&mem);
  env.record = true;
  std::vector<std::size_t> ends{0};
  std::vector<std::string> records{Records(start.at("PROPERTY.DBF"))};
  bool split = false;
  {
    auto t = OpenOrDie(&env, "PROPERTY.DBF", {.sync = true});
    for (const auto& write : writes) {
      const std::string cdx_before = Get(&mem)["PROPERTY.CDX"];
      ASSERT_TRUE(write(t.get()).ok());
      split = split || Get(&mem)["PROPERTY.CDX"].size() > cdx_before.size();
      ends.push_back(env.log.size());
      records.push_back(Records(Get(&mem).at("PROPERTY.DBF")));
    }
  }
  EXPECT_TRUE(split) << "no recorded write split a leaf";
  const std::vector<FaultEnv::Op> log = env.log;

  // The barriers: a table file is written only once PROPERTY.WAL holds the write and is synced,
  // and PROPERTY.WAL is emptied only once both table files are synced.
  std::map<std::string, bool> unsynced;
  std::size_t wal_synced = 0;  // the first point where the first write can be redone
  for (std::size_t i = 0; i < log.size(); ++i) {
    const FaultEnv::Op& op = log[i];
    const std::string name = BaseName(op.path);
    if (op.kind == FaultEnv::Op::kSync) unsynced[name] = false;
    if (op.kind == FaultEnv::Op::kSync && name == "PROPERTY.WAL" && !wal_synced) wal_synced = i + 1;
    if (op.kind != FaultEnv::Op::kWrite && op.kind != FaultEnv::Op::kCut) continue;
    if (name == "PROPERTY.WAL" && op.kind == FaultEnv::Op::kCut) {
      EXPECT_FALSE(unsynced["PROPERTY.DBF"] || unsynced["PROPERTY.CDX"]) << "WAL let go early";
    } else if (name != "PROPERTY.WAL") {
      EXPECT_FALSE(unsynced["PROPERTY.WAL"]) << name << " written before the WAL was synced";
    }
    unsynced[name] = true;
  }

  // Another program appended after the cut, not knowing PROPERTY.WAL: the write cut short is not
  // redone over its record.
  MemEnv other;
  Put(&other, start);
  { ASSERT_TRUE(AppendKey(OpenOrDie(&other, "PROPERTY.DBF").get(), 99).ok()); }
  const std::string foreign = Records(Get(&other).at("PROPERTY.DBF"));
  other.PutFile("PROPERTY.WAL", Land(PendingAt(start, log, wal_synced), [](std::size_t n) {
                                  return n - 1;
                                }).at("PROPERTY.WAL"));
  { OpenOrDie(&other, "PROPERTY.DBF"); }
  EXPECT_EQ(Records(Get(&other).at("PROPERTY.DBF")), foreign);

  struct Tally {
    int states = 0, before = 0, after = 0;
  } tally;
  std::mt19937 rng(34);
  for (std::size_t cut = 0; cut <= log.size(); ++cut) {
    std::size_t w = 0;  // the write in progress: records[w] or records[w + 1]
    while (w + 1 < ends.size() && ends[w + 1] < cut) ++w;
    const auto pending = PendingAt(start, log, cut);
    std::vector<std::function<std::size_t(std::size_t)>> choices{
        [](std::size_t n) { return n - 1; }, [](std::size_t) { return std::size_t{0}; }};
    for (int i = 0; i < (full ? 40 : 2); ++i) {
      choices.push_back([&rng](std::size_t n) { return std::size_t{rng() % n}; });
    }
    for (const auto& choose : choices) {
      const Files state = Land(pending, choose);
      MemEnv next;
      Put(&next, state);
      std::unique_ptr<Table> t;  // the next start
      EXPECT_TRUE(Table::Open(&next, "PROPERTY.DBF", {}, &t).ok());
      t.reset();
      const Files opened = Get(&next);
      const std::string got = Records(opened.at("PROPERTY.DBF"));
      SCOPED_TRACE("cut " + std::to_string(cut) + " of " + std::to_string(log.size()));
      EXPECT_TRUE(got == records[w] || got == records[w + 1]);
      tally.before += got == records[w];
      tally.after += got == records[w + 1] && got != records[w];
      std::vector<std::string> report;
      const Status s = CheckTable(&next, "PROPERTY.DBF", &report);
      EXPECT_TRUE(s.ok()) << s.ToString();
      EXPECT_NE(opened.count("PROPERTY.WAL") ? opened.at("PROPERTY.WAL").substr(0, 7) : "",
                "XFRWAL1");
      if (HaveChecker() && (full || tally.states % 50 == 0)) {
        TempDir dir;
        for (const auto& [name, bytes] : opened) xfr::testing::WriteFile(dir / name, bytes);
        std::string out;
        EXPECT_EQ(RunChecker(dir.path(), &out), 0) << out;
      }
      ++tally.states;
    }
  }
  std::printf(
      "power-loss campaign: %zu log entries, %d states, %d as before the cut write, %d "
      "with it whole, 0 else\n",
      log.size(), tally.states, tally.before, tally.after);
  EXPECT_GT(tally.after, 0);
}

}  // namespace
}  // namespace xbase::table_testing
