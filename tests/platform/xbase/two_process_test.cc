// Other processes against our locks: FoxPro's lock layouts held from outside and refused to
// others, and two processes appending while a third reads (fork: Linux only; the Windows build
// shows its locks holding back another process in tests/platform/win32).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/xbase/check.h"
#include "platform/xbase/fault_env.h"
#include "platform/xbase/foreign_lock.h"
#include "platform/xbase/table.h"
#include "platform/xbase/table_test_util.h"

namespace xbase {
namespace {

using table_testing::CopyFixtures;
using table_testing::ExpectConsistent;
using table_testing::OpenOrDie;
using table_testing::Slurp;
using table_testing::TempDir;

// The same table without its structural index.
void DropIndex(const std::string& dbf, const std::string& cdx) {
  std::string bytes = Slurp(dbf);
  bytes[28] = static_cast<char>(bytes[28] & ~0x01);
  std::ofstream(dbf, std::ios::binary | std::ios::trunc) << bytes;
  std::filesystem::remove(cdx);
}

// FoxPro's lock layouts, written out here as FoxPro has them: a table with a structural index
// locks its header at 0x7FFFFFFE, record n at 0x7FFFFFFE - n and the whole table on the 0x07FFFFFF
// bytes below the header byte; one without locks its header at 0x40000000 and a record at
// 0x40000000 + its file offset. Each lock held by another process (a plain POSIX record lock)
// holds our append, edit of record 3 and seeks back for a bounded time and leaves the files
// unchanged; once it is free the append goes through. The other way round, while we write,
// another process trying any of the locks we hold is refused.
TEST(Table, KeepsToFoxProLockLayouts) {
  struct Case {
    const char* what;
    bool indexed;
    bool in_cdx;
    std::int64_t offset;  // < 0: 0x40000000 + the file offset of record -offset (0: header)
    std::uint64_t length;
    bool exclusive;  // false: another program reading the index
    bool append_blocked, edit3_blocked, seek_blocked;
  };
  constexpr std::int64_t kTop = 0x7FFFFFFE;
  const std::uint32_t kNew = 31;  // INVOICE.DBF holds 30 records
  const Case cases[] = {
      {"header lock", true, false, kTop, 1, true, true, false, false},
      {"record 3 lock", true, false, kTop - 3, 1, true, false, true, false},
      {"new record's lock", true, false, kTop - kNew, 1, true, true, false, false},
      {"whole-table lock", true, false, 0x77FFFFFF, 0x07FFFFFF, true, true, true, false},
      {"index lock", true, true, kTop, 1, true, true, true, true},
      {"index lock of a reader", true, true, kTop, 1, false, true, true, false},
      {"header lock without index", false, false, 0, 1, true, true, false, false},
      {"record 3 lock without index", false, false, -3, 1, true, false, true, false},
      {"new record's lock without index", false, false, -std::int64_t{kNew}, 1, true, true, false,
       false},
  };
  TableOptions options;
  options.lock_timeout_micros = 50'000;
  options.lock_retry_micros = 5'000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    CopyFixtures("foxpro", dir.path());
    const std::string dbf = dir / "INVOICE.DBF", cdx = dir / "INVOICE.CDX";
    if (!c.indexed) DropIndex(dbf, cdx);
    auto table = OpenOrDie(Env::Default(), dbf, options);
    const auto plain = [&](std::uint32_t recno) {
      return kDbfLockBase + (recno == 0 ? 0 : table->layout().RecordOffset(recno));
    };
    const std::uint64_t offset = c.offset >= 0 && c.indexed
                                     ? static_cast<std::uint64_t>(c.offset)
                                     : plain(static_cast<std::uint32_t>(-c.offset));
    const std::string dbf_before = Slurp(dbf), cdx_before = Slurp(cdx);
    Record rec = table->NewRecord();
    ASSERT_TRUE(rec.SetText(0, "LOCKED").ok());
    std::uint32_t recno = 0;
    {
      table_testing::ForeignLock other(c.in_cdx ? cdx : dbf, offset, c.length, c.exclusive);
      ASSERT_TRUE(other.held());
      Status s = table->Append(rec, &recno);
      EXPECT_EQ(s.IsLocked(), c.append_blocked) << s.ToString();
      if (c.append_blocked) { EXPECT_EQ(Slurp(dbf), dbf_before); }
      s = table->Update(3, rec);
      EXPECT_EQ(s.IsLocked(), c.edit3_blocked) << s.ToString();
      if (c.indexed) {
        // A seek waits only for a writer of the index, never for another reader.
        bool found = false;
        s = table->Seek(table->FindTag("INV_NUM"), "LOCK", &found, &recno);
        EXPECT_EQ(s.IsLocked(), c.seek_blocked) << s.ToString();
      }
      if (c.append_blocked && c.edit3_blocked) {
        EXPECT_EQ(Slurp(dbf), dbf_before);
        EXPECT_EQ(Slurp(cdx), cdx_before);
      }
    }
    EXPECT_TRUE(table->Append(rec, &recno).ok());
    ExpectConsistent(dir.path());
  }

  // The reverse: at every write of an append and of an edit, the locks we hold are refused to
  // another process, and a record lock we do not hold is not.
  struct Probe {
    std::string path;
    std::uint64_t offset;
  };
  for (bool indexed : {true, false}) {
    SCOPED_TRACE(indexed ? "with index" : "without index");
    TempDir dir;
    CopyFixtures("foxpro", dir.path());
    const std::string dbf = dir / "INVOICE.DBF", cdx = dir / "INVOICE.CDX";
    if (!indexed) DropIndex(dbf, cdx);
    FaultEnv env(Env::Default());
    std::vector<Probe> held, free;
    int probes = 0, faults = 0;
    env.on_write = [&](const std::string&, std::uint64_t, std::size_t) {
      ++probes;
      for (const Probe& p : held) faults += !table_testing::LockedForOthers(p.path, p.offset);
      for (const Probe& p : free) faults += table_testing::LockedForOthers(p.path, p.offset);
    };
    auto table = OpenOrDie(&env, dbf);
    const auto record = [&](std::uint32_t n) {
      return indexed ? kTop - n : kDbfLockBase + table->layout().RecordOffset(n);
    };
    const std::uint64_t header = indexed ? kTop : kDbfLockBase;
    Record rec = table->NewRecord();
    ASSERT_TRUE(rec.SetText(0, "PROBED").ok());
    held = {{dbf, header}, {dbf, record(kNew)}};
    free = {{dbf, record(2)}};
    if (indexed) held.push_back({cdx, kTop});
    std::uint32_t recno = 0;
    ASSERT_TRUE(table->Append(rec, &recno).ok());
    held = {{dbf, record(3)}};
    free = {{dbf, header}, {dbf, record(2)}};
    if (indexed) held.push_back({cdx, kTop});
    ASSERT_TRUE(table->Update(3, rec).ok());
    EXPECT_GE(probes, indexed ? 4 : 2);
    EXPECT_EQ(faults, 0);
  }
}

// Two processes append 5,000 records each to one table while a third reads it; FoxPro's locks
// keep them apart.
TEST(WriteSafety, TwoProcessesAppendingUnderTheLocks) {
  TempDir dir;
  CopyFixtures("foxpro", dir.path());
  const std::string path = dir / "INVOICE.DBF";
  constexpr int kEach = 5000;
  auto key = [](int c, int i) {
    char text[16];
    std::snprintf(text, sizeof text, "%c%07d", 'P' + c, i);
    return std::string(text);
  };
  // A child's table, or its exit with the reason.
  auto open = [&](bool read_only) {
    TableOptions options{.read_only = read_only};
    options.lock_retry_micros = 200;
    options.lock_timeout_micros = 20'000'000;
    std::unique_ptr<Table> table;
    Status s = Table::Open(Env::Default(), path, options, &table);
    if (!s.ok()) {
      std::fprintf(stderr, "open in child: %s\n", s.ToString().c_str());
      _exit(3);
    }
    return table;
  };
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      auto table = open(false);
      Record rec = table->NewRecord();
      for (int i = 0; i < kEach; ++i) {
        rec.SetText(0, key(c, i));
        std::uint32_t recno;
        Status s = table->Append(rec, &recno);
        if (!s.ok()) {
          std::fprintf(stderr, "child %d append %d: %s\n", c, i, s.ToString().c_str());
          _exit(4);
        }
      }
      _exit(0);
    }
  }
  // A reader opens the table again and again while they write, and must find every invoice
  // that was there before: a half-seen index change would hide one.
  std::vector<std::string> before;
  {
    auto table = OpenOrDie(Env::Default(), path, TableOptions{.read_only = true});
    Record rec = table->NewRecord();
    for (std::uint32_t r = 1; r <= 30; ++r) {
      ASSERT_TRUE(table->Read(r, &rec).ok());
      if (!rec.deleted()) before.push_back(rec.Text(0));
    }
  }
  pid_t reader = fork();
  ASSERT_GE(reader, 0);
  if (reader == 0) {
    for (int round = 0; round < 200; ++round) {
      auto table = open(true);
      for (const std::string& invoice : before) {
        bool found = false;
        std::uint32_t recno = 0;
        Status s = table->Seek(table->FindTag("INV_NUM"), invoice, &found, &recno);
        if (!s.ok() || !found) {
          std::fprintf(stderr, "reader seek %s: %s\n", invoice.c_str(), s.ToString().c_str());
          _exit(6);
        }
      }
    }
    _exit(0);
  }
  for (pid_t pid : {children[0], children[1], reader}) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  auto table = OpenOrDie(Env::Default(), path, TableOptions{.read_only = true});
  std::uint32_t count = 0;
  ASSERT_TRUE(table->RecordCount(&count).ok());
  EXPECT_EQ(count, 30u + 2 * kEach);
  int tag = table->FindTag("INV_NUM");
  Record rec = table->NewRecord();
  for (int n = 0; n < 2 * kEach; ++n) {
    const std::string k = key(n % 2, n / 2);
    bool found = false;
    std::uint32_t recno = 0;
    ASSERT_TRUE(table->Seek(tag, k, &found, &recno).ok());
    ASSERT_TRUE(found) << k;
    ASSERT_TRUE(table->Read(recno, &rec).ok());
    ASSERT_EQ(rec.Text(0), k);
  }
  ExpectConsistent(dir.path());
}

}  // namespace
}  // namespace xbase
