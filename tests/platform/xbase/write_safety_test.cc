// What an interrupted or failing write leaves behind: after every crash point and every failing
// write of an edit (appends: tests/campaign) and of an append that splits nodes, the check passes
// or names the fault, and no record that was there before is lost or changed.
#include <gtest/gtest.h>

#include "platform/xbase/check.h"
#include "platform/xbase/coding.h"
#include "platform/xbase/fault_env.h"
#include "platform/xbase/mem_env.h"
#include "platform/xbase/table.h"
#include "platform/xbase/table_test_util.h"

namespace xbase {
namespace {

using table_testing::OpenOrDie;

using Operation = std::pair<const char*, std::function<Status(Table*)>>;

std::vector<std::string> RecordBytes(Env* env, std::uint32_t count) {
  auto table = OpenOrDie(env, "/PROPERTY.DBF", TableOptions{.read_only = true});
  std::vector<std::string> out;
  Record rec = table->NewRecord();
  for (std::uint32_t r = 1; r <= count; ++r) {
    EXPECT_TRUE(table->Read(r, &rec).ok());
    out.push_back(rec.bytes());
  }
  return out;
}

const std::vector<Operation>& Operations() {
  static const std::vector<Operation> ops = {
      {"edit of both keys",
       [](Table* t) {
         Record rec = t->NewRecord();
         rec.SetText(t->FindField("FILE_NUM"), "ZZ-0006");
         rec.SetText(t->FindField("CLI_NUM"), "99999");
         return t->Update(6, rec);
       }},
      {"edit of a plain field",
       [](Table* t) {
         Record rec = t->NewRecord();
         rec.SetText(t->FindField("PR_CITY"), "Tucker");
         return t->Update(6, rec);
       }},
  };
  return ops;
}

TEST(WriteSafety, EveryCrashPointLeavesACheckableTable) {
  for (const Operation& op : Operations()) {
    SCOPED_TRACE(op.first);
    // How many writes the operation makes when nothing goes wrong.
    int total = 0;
    {
      MemEnv mem;
      table_testing::LoadFixtures("foxpro", &mem);
      FaultEnv faults(&mem);
      auto table = OpenOrDie(&faults, "/PROPERTY.DBF");
      faults.Reset();
      ASSERT_TRUE(op.second(table.get()).ok());
      total = faults.writes();
      ASSERT_GE(total, 2);
    }
    for (int crash = 0; crash <= total; ++crash) {
      for (bool fail : {false, true}) {
        if (fail && crash == 0) continue;
        SCOPED_TRACE((fail ? "write fails: " : "crash after writes: ") + std::to_string(crash));
        MemEnv mem;
        table_testing::LoadFixtures("foxpro", &mem);
        const std::vector<std::string> before = RecordBytes(&mem, 40);
        FaultEnv faults(&mem);
        auto table = OpenOrDie(&faults, "/PROPERTY.DBF");
        fail ? faults.FailWrite(crash) : faults.CrashAfter(crash);
        Status s = op.second(table.get());
        if (fail) { EXPECT_FALSE(s.ok()); }
        faults.Reset();
        table.reset();
        std::vector<std::string> report;
        Status check = CheckTable(&mem, "/PROPERTY.DBF", &report);
        if (crash == total && !fail) { EXPECT_TRUE(check.ok()) << check.ToString(); }
        if (!check.ok()) {
          EXPECT_TRUE(check.IsCorruption()) << check.ToString();
          EXPECT_NE(check.message().find("PROPERTY"), std::string::npos) << check.message();
        }
        // Records that were there are as they were (the edited one is either version).
        std::vector<std::string> after = RecordBytes(&mem, 40);
        for (std::size_t i = 0; i < before.size(); ++i) {
          if (i + 1 != 6) { EXPECT_EQ(after[i], before[i]) << "record " << i + 1; }
        }
        // The table stays usable: another append goes through.
        auto again = OpenOrDie(&mem, "/PROPERTY.DBF");
        Record rec = again->NewRecord();
        rec.SetText(again->FindField("FILE_NUM"), "LATER");
        std::uint32_t recno = 0;
        EXPECT_TRUE(again->Append(rec, &recno).ok());
        bool found = false;
        EXPECT_TRUE(again->Seek(again->FindTag("FILE_NUM"), "LATER", &found, &recno).ok());
        EXPECT_TRUE(found);
      }
    }
  }
}

// The same for an append that splits index nodes: every crash point of the append with the
// most writes among 600 (a split of the leaf and of its parent) leaves a checkable table.
TEST(WriteSafety, CrashDuringANodeSplit) {
  MemEnv mem;
  table_testing::LoadFixtures("foxpro", &mem);
  auto append = [](Env* env, int i) {
    auto t = OpenOrDie(env, "/INVOICE.DBF");
    Record rec = t->NewRecord();
    char key[16];
    std::snprintf(key, sizeof key, "S%07d", (i * 7919) % 100000);
    rec.SetText(0, key);
    std::uint32_t recno;
    return t->Append(rec, &recno);
  };
  // Find the costliest append and keep the files as they were just before it.
  FaultEnv counter(&mem);
  int worst = -1, worst_writes = 0;
  std::string dbf_before, cdx_before;
  for (int i = 0; i < 600; ++i) {
    std::string dbf, cdx;
    mem.GetFile("/INVOICE.DBF", &dbf);
    mem.GetFile("/INVOICE.CDX", &cdx);
    counter.Reset();
    ASSERT_TRUE(append(&counter, i).ok());
    if (counter.writes() > worst_writes) {
      worst = i, worst_writes = counter.writes();
      dbf_before = dbf, cdx_before = cdx;
    }
  }
  ASSERT_GT(worst_writes, 4);
  for (int crash = 0; crash < worst_writes; ++crash) {
    SCOPED_TRACE("crash after writes: " + std::to_string(crash));
    mem.PutFile("/INVOICE.DBF", dbf_before);
    mem.PutFile("/INVOICE.CDX", cdx_before);
    FaultEnv faults(&mem);
    faults.CrashAfter(crash);
    append(&faults, worst);
    std::vector<std::string> report;
    Status check = CheckTable(&mem, "/INVOICE.DBF", &report);
    if (!check.ok()) {
      EXPECT_TRUE(check.IsCorruption()) << check.ToString();
      EXPECT_NE(check.message().find("INVOICE"), std::string::npos) << check.message();
    }
    std::string dbf;
    mem.GetFile("/INVOICE.DBF", &dbf);
    const std::size_t header = DecodeFixed16LE(dbf_before.data() + 8);
    // Every record that was there is still there, byte for byte.
    EXPECT_EQ(dbf.substr(header, dbf_before.size() - 1 - header),
              dbf_before.substr(header, dbf_before.size() - 1 - header));
  }
}

// A failed write leaves the same Table object able to write again once the fault is gone.
TEST(WriteSafety, ATableRecoversAfterAFailedWrite) {
  MemEnv mem;
  table_testing::LoadFixtures("foxpro", &mem);
  FaultEnv faults(&mem);
  auto table = OpenOrDie(&faults, "/PROPERTY.DBF");
  faults.FailWrite(3);  // the first write of the index
  Record rec = table->NewRecord();
  rec.SetText(table->FindField("FILE_NUM"), "NEW001");
  std::uint32_t recno = 0;
  EXPECT_FALSE(table->Append(rec, &recno).ok());
  faults.Reset();
  rec.SetText(table->FindField("FILE_NUM"), "NEW002");
  ASSERT_TRUE(table->Append(rec, &recno).ok());
  EXPECT_EQ(recno, 42u);
  std::vector<std::string> report;
  Status check = CheckTable(&mem, "/PROPERTY.DBF", &report);
  // Record 41 reached the table but not the index: the check names exactly that.
  EXPECT_NE(check.message().find("record 41"), std::string::npos) << check.ToString();
}

}  // namespace
}  // namespace xbase
