// What an interrupted or failing write leaves behind: after every crash point and every failing
// write of an edit of both keys and of an append that splits nodes (the read's appends:
// tests/campaign), the check passes or names the fault, no record that was there before is lost
// or changed, and the table takes the next append.
#include <gtest/gtest.h>

#include <map>

#include "platform/xbase/check.h"
#include "platform/xbase/fault_env.h"
#include "platform/xbase/mem_env.h"
#include "platform/xbase/table.h"
#include "platform/xbase/table_test_util.h"

namespace xbase {
namespace {

using table_testing::OpenOrDie;

std::vector<std::string> RecordBytes(Env* env, const std::string& path) {
  auto table = OpenOrDie(env, path, TableOptions{.read_only = true});
  std::uint32_t count = 0;
  EXPECT_TRUE(table->RecordCount(&count).ok());
  std::vector<std::string> out;
  Record rec = table->NewRecord();
  for (std::uint32_t r = 1; r <= count && table->Read(r, &rec).ok(); ++r)
    out.push_back(rec.bytes());
  return out;
}

Status AppendInvoice(Table* t, int i) {
  Record rec = t->NewRecord();
  char key[16];
  std::snprintf(key, sizeof key, "S%07d", (i * 7919) % 100000);
  rec.SetText(0, key);
  std::uint32_t recno;
  return t->Append(rec, &recno);
}

TEST(WriteSafety, EveryCrashPointAndFailedWriteLeavesACheckableTable) {
  // The costliest of 600 appends (a split of the leaf and of its parent), from the files as they
  // were just before it.
  MemEnv grown;
  table_testing::LoadFixtures("foxpro", &grown);
  FaultEnv counter(&grown);
  int worst = -1, worst_writes = 0;
  std::map<std::string, std::string> before_worst;
  for (int i = 0; i < 600; ++i) {
    std::map<std::string, std::string> files;
    for (const char* f : {"/INVOICE.DBF", "/INVOICE.CDX"}) grown.GetFile(f, &files[f]);
    counter.Reset();
    ASSERT_TRUE(AppendInvoice(OpenOrDie(&counter, "/INVOICE.DBF").get(), i).ok());
    if (counter.writes() > worst_writes)
      worst = i, worst_writes = counter.writes(), before_worst = files;
  }
  ASSERT_GT(worst_writes, 4);
  const struct Case {
    const char* what;
    std::string path;
    const char* key;        // a key field and its tag
    std::uint32_t changed;  // the record that may hold either version
    std::function<Status(Table*)> run;
  } cases[] = {
      {"edit of both keys", "/PROPERTY.DBF", "FILE_NUM", 6,
       [](Table* t) {
         Record rec = t->NewRecord();
         rec.SetText(t->FindField("FILE_NUM"), "ZZ-0006");
         rec.SetText(t->FindField("CLI_NUM"), "99999");
         return t->Update(6, rec);
       }},
      {"append that splits nodes", "/INVOICE.DBF", "INV_NUM", 0,
       [&](Table* t) { return AppendInvoice(t, worst); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto fresh = [&](MemEnv* mem) {
      table_testing::LoadFixtures("foxpro", mem);
      if (c.changed == 0)
        for (const auto& [f, bytes] : before_worst) mem->PutFile(f, bytes);
    };
    int total = 0;  // how many writes it makes when nothing goes wrong
    {
      MemEnv mem;
      fresh(&mem);
      FaultEnv faults(&mem);
      ASSERT_TRUE(c.run(OpenOrDie(&faults, c.path).get()).ok());
      total = faults.writes();
      ASSERT_GE(total, 2);
    }
    for (int crash = 0; crash <= total; ++crash) {
      for (bool fail : {false, true}) {
        if (fail && crash == 0) continue;
        SCOPED_TRACE((fail ? "write fails: " : "crash after writes: ") + std::to_string(crash));
        MemEnv mem;
        fresh(&mem);
        const std::vector<std::string> before = RecordBytes(&mem, c.path);
        FaultEnv faults(&mem);
        auto table = OpenOrDie(&faults, c.path);
        fail ? faults.FailWrite(crash) : faults.CrashAfter(crash);
        Status s = c.run(table.get());
        if (fail) {
          EXPECT_FALSE(s.ok());
        } else {
          table.reset();  // the program stops there
        }
        faults.Reset();
        std::vector<std::string> report;
        Status check = CheckTable(&mem, c.path, &report);
        if (crash == total && !fail) {
          EXPECT_TRUE(check.ok()) << check.ToString();
        }
        if (!check.ok()) {
          EXPECT_TRUE(check.IsCorruption()) << check.ToString();
          EXPECT_NE(check.message().find(c.path.substr(1, c.path.size() - 5)), std::string::npos)
              << check.message();
        }
        const std::vector<std::string> after = RecordBytes(&mem, c.path);
        ASSERT_GE(after.size(), before.size());
        for (std::size_t i = 0; i < before.size(); ++i) {
          if (i + 1 != c.changed) {
            EXPECT_EQ(after[i], before[i]) << "record " << i + 1;
          }
        }
        // The table takes the next append (the same Table once the fault is gone, or the program
        // started again after the crash), unless the check found the index's tree damaged: that
        // wants a reindex.
        if (check.message().find(".CDX tag") != std::string::npos) continue;
        if (!table) table = OpenOrDie(&mem, c.path);
        Record rec = table->NewRecord();
        rec.SetText(table->FindField(c.key), "LATER");
        std::uint32_t recno = 0;
        EXPECT_TRUE(table->Append(rec, &recno).ok());
        bool found = false;
        EXPECT_TRUE(table->Seek(table->FindTag(c.key), "LATER", &found, &recno).ok());
        EXPECT_TRUE(found);
      }
    }
  }
}

}  // namespace
}  // namespace xbase
