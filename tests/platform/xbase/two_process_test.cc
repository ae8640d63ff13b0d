// Other processes against our locks: FoxPro's lock layouts held from outside and refused to
// others (fork: Linux only; the Windows build shows its locks holding back another process in
// tests/platform/win32). Processes appending, reading and editing at once under the locks: the
// concurrency campaign (scripts/campaign.sh).
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/xbase/check.h"
#include "platform/xbase/fault_env.h"
#include "platform/xbase/foreign_lock.h"
#include "platform/xbase/table.h"
#include "platform/xbase/table_test_util.h"

namespace xbase::table_testing {
namespace {

// FoxPro's lock layouts, written out here as FoxPro has them: a table with a structural index
// locks its header at 0x7FFFFFFE, record n at 0x7FFFFFFE - n and the whole table on the 0x07FFFFFF
// bytes below the header byte; one without locks its header at 0x40000000 and a record at
// 0x40000000 + its file offset. Each lock held by another process (a plain POSIX record lock)
// holds our append, edit of record 3 and seeks back for a bounded time and leaves the files
// unchanged.
TEST(Table, KeepsToFoxProLockLayouts) {
  constexpr std::int64_t kTop = 0x7FFFFFFE;
  const std::uint32_t kNew = 31;  // INVOICE.DBF holds 30 records
  const struct Case {
    const char* what;
    char file;  // 'D': the DBF, 'C': the CDX, 'P': the DBF without its index
    std::int64_t offset;  // 'P': the lock of record offset (0: the header's)
    std::uint64_t length;
    bool exclusive;       // false: another program reading the index
    const char* blocked;  // 'a': our append, 'e': our edit of record 3, 's': our seek
  } cases[] = {
      {"header lock", 'D', kTop, 1, true, "a"},
      {"record 3 lock", 'D', kTop - 3, 1, true, "e"},
      {"new record's lock", 'D', kTop - kNew, 1, true, "a"},
      {"whole-table lock", 'D', 0x77FFFFFF, 0x07FFFFFF, true, "ae"},
      {"index lock", 'C', kTop, 1, true, "aes"},
      {"index lock of a reader", 'C', kTop, 1, false, "ae"},
      {"header lock without index", 'P', 0, 1, true, "a"},
      {"record 3 lock without index", 'P', 3, 1, true, "e"},
      {"new record's lock without index", 'P', kNew, 1, true, "a"},
  };
  const TableOptions options{.lock_timeout_micros = 50'000};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FixtureDir dir;
    const std::string dbf = dir / "INVOICE.DBF", cdx = dir / "INVOICE.CDX";
    const bool indexed = c.file != 'P';
    if (!indexed) {  // the same table without its structural index
      std::string bytes = Slurp(dbf);
      bytes[28] = static_cast<char>(bytes[28] & ~0x01);
      std::ofstream(dbf, std::ios::binary | std::ios::trunc) << bytes;
      std::filesystem::remove(cdx);
    }
    FaultEnv env(Env::Default());
    auto table = OpenOrDie(&env, dbf, options);
    const auto record = [&](std::uint32_t n) {
      return indexed ? kTop - n : kDbfLockBase + table->layout().RecordOffset(n);
    };
    const std::uint64_t header = indexed ? kTop : kDbfLockBase;
    const auto n = static_cast<std::uint32_t>(c.offset);
    const std::uint64_t offset = indexed ? c.offset : n == 0 ? header : record(n);
    const bool append_blocked = std::strchr(c.blocked, 'a');
    const bool edit3_blocked = std::strchr(c.blocked, 'e');
    const std::string dbf_before = Slurp(dbf), cdx_before = Slurp(cdx);
    const Values row = {{"INV_NUM", "LOCKED"}};
    std::uint32_t recno = 0;
    {
      ForeignLock other(c.file == 'C' ? cdx : dbf, offset, c.length, c.exclusive);
      ASSERT_TRUE(other.held());
      Status s = Write(table.get(), 0, row);
      EXPECT_EQ(s.IsLocked(), append_blocked) << s.ToString();
      if (append_blocked) { EXPECT_EQ(Slurp(dbf), dbf_before); }
      s = Write(table.get(), 3, row);
      EXPECT_EQ(s.IsLocked(), edit3_blocked) << s.ToString();
      if (edit3_blocked && c.length == 1 && c.file != 'C') {
        // Refused one record's lock, a hold of several lets go of those it took before it; a new
        // hold lets go of the one before.
        EXPECT_TRUE(table->TryHoldLocks({2, 3}, false).IsLocked());
        EXPECT_TRUE(ForeignLock(dbf, record(2), 1).held());
        EXPECT_TRUE(table->TryHoldLocks({2}, false).ok() && table->TryHoldLocks({4}, false).ok());
        EXPECT_TRUE(ForeignLock(dbf, record(2), 1).held());
        table->ReleaseHeldLocks();
      }
      if (indexed) {
        // A seek waits only for a writer of the index, never for another reader.
        bool found = false;
        s = table->Seek(table->FindTag("INV_NUM"), "LOCK", &found, &recno);
        EXPECT_EQ(s.IsLocked(), std::strchr(c.blocked, 's') != nullptr) << s.ToString();
      }
      if (append_blocked && edit3_blocked) {
        EXPECT_EQ(Slurp(dbf), dbf_before);
        EXPECT_EQ(Slurp(cdx), cdx_before);
      }
    }
    // Once it is free our writes go through, and at each of them the locks we hold are refused
    // to another process, and a record lock we do not hold is not.
    std::uint32_t count = 0;
    ASSERT_TRUE(table->RecordCount(&count).ok());
    std::vector<std::pair<std::string, std::uint64_t>> held = {{dbf, header}, {dbf, record(count + 1)}},
                                                       free = {{dbf, record(2)}};
    int probes = 0, faults = 0;
    env.on_write = [&](const std::string&, std::uint64_t, std::size_t) {
      ++probes;
      for (const auto& [path, at] : held) faults += ForeignLock(path, at, 1).held();
      for (const auto& [path, at] : free) faults += !ForeignLock(path, at, 1).held();
    };
    if (indexed) held.push_back({cdx, kTop});
    EXPECT_TRUE(Write(table.get(), 0, row).ok());
    held = {{dbf, record(3)}}, free = {{dbf, header}, {dbf, record(2)}};
    if (indexed) held.push_back({cdx, kTop});
    EXPECT_TRUE(Write(table.get(), 3, row).ok());
    EXPECT_GE(probes, indexed ? 4 : 2);
    EXPECT_EQ(faults, 0);
    ExpectConsistent(dir.path());
  }
}

// An observed write holds the header lock, the record's and the index lock from before the
// observer hears of it until after its index is written, edits as well as appends (so that the
// observer's log has every program's writes in order), and lets every lock go when it is done
// or refused.
TEST(Table, ObservedWritesHoldAndReleaseTheirLocks) {
  FixtureDir dir;
  const std::string dbf = dir / "INVOICE.DBF", cdx = dir / "INVOICE.CDX";
  struct Probe final : WriteObserver {
    std::vector<std::pair<std::string, std::uint64_t>> locks;
    std::string seen;
    Status refuse;
    Status BeforeWrite(const Table&, std::uint32_t recno, const std::string*,
                       const std::string&) override {
      return Look('b', recno), refuse;
    }
    Status AfterWrite(const Table&, std::uint32_t recno, const std::string&) override {
      return Look('a', recno), Status::OK();
    }
    void Look(char when, std::uint32_t recno) {
      seen += when + std::to_string(recno) + ":";
      for (const auto& [path, at] : locks) seen += ForeignLock(path, at, 1).held() ? '-' : 'H';
      seen += ' ';
    }
  } probe;
  constexpr std::uint64_t kTop = kIndexedHeaderLock;
  probe.locks = {{dbf, kTop}, {dbf, kTop - 3}, {dbf, kTop - 31}, {cdx, kCdxLockOffset}};
  auto table = OpenOrDie(Env::Default(), dbf, TableOptions{.observer = &probe});
  ASSERT_TRUE(Write(table.get(), 3, {{"INV_NUM", "OBSERVED"}}).ok());
  ASSERT_TRUE(Write(table.get(), 0, {{"INV_NUM", "OBSERVED"}}).ok());
  probe.refuse = Status::IOError("the log is full");
  EXPECT_EQ(Write(table.get(), 3, {{"*", "*"}}).ToString(), "IO error: the log is full");
  EXPECT_EQ(probe.seen, "b3:HH-H a3:HH-H b31:H-HH a31:H-HH b3:HH-H ");
  probe.Look('e', 0);
  EXPECT_EQ(probe.seen.substr(probe.seen.size() - 8), "e0:---- ");
}

// Between lock attempts the engine sleeps the retry interval an office sets, up to a second: a
// sleep just under a second lasts as long as asked.
TEST(Env, SleepsAtLeastAsLongAsAsked) {
  const auto start = std::chrono::steady_clock::now();
  Env::Default()->SleepMicros(999'999);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::microseconds(999'999));
}

}  // namespace
}  // namespace xbase::table_testing
