// A write that stopped after the record reached the DBF and before its index change did leaves
// the last record out of a tag, or under the key it had before. Opening the table for writing
// puts that right, so the record is found again and not added twice; a read-only open (the
// check) leaves the file alone and names the fault.
#include <gtest/gtest.h>

#include <tuple>

#include "campaign/real_office.h"
#include "platform/xbase/fault_env.h"

namespace xfr::campaign {
namespace {

using xbase::Status;
using xbase::Table;

std::unique_ptr<Table> Open(xbase::Env* env, const std::string& path, bool read_only = false) {
  std::unique_ptr<Table> t;
  Status s = Table::Open(env, path, {.read_only = read_only}, &t);
  EXPECT_TRUE(s.ok()) << s.ToString();
  return t;
}

// Sets `field` of record `recno`, or of a new record when recno is 0; returns the record.
std::uint32_t Write(Table* t, std::uint32_t recno, const std::string& field,
                    const std::string& value) {
  xbase::Record rec = t->NewRecord();
  EXPECT_TRUE(rec.SetText(t->FindField(field), value).ok());
  Status s = recno == 0 ? t->Append(rec, &recno) : t->Update(recno, rec);
  EXPECT_TRUE(s.ok()) << s.ToString();
  return recno;
}

// The engine's check of the table: "" when it passes, else the fault.
std::string Check(const std::string& dbf) {
  std::vector<std::string> report;
  Status s = xbase::CheckTable(xbase::Env::Default(), dbf, &report);
  return s.ok() ? "" : s.ToString();
}

TEST(IndexCatchUp, OpeningForWritingIndexesTheLastRecord) {
  struct Case {
    const char* name;
    const char* table;
    bool edit;        // the interrupted write edits a record appended first, else appends
    const char* tag;  // the field written, and the tag a seek must find the record in by key
    const char* key;
  } cases[] = {
      {"append, index not written", "PROPERTY", false, "FILE_NUM", "NEW-01"},
      {"append to a table with one tag", "INVOICE", false, "INV_NUM", "NEW-01"},
      {"edit of the last record, index not written", "PROPERTY", true, "CLI_NUM", "NEW01"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    CopyTrackingTables(dir.path());
    const std::string dbf = dir / (std::string(c.table) + ".DBF");
    std::uint32_t recno = 0;
    {
      xbase::FaultEnv env(xbase::Env::Default());
      auto t = Open(&env, dbf);
      const std::uint32_t edited = c.edit ? Write(t.get(), 0, "FILE_NUM", "NEW-01") : 0;
      // An append: the record and the header's count; an edit: the record (the header has
      // today's date already).
      env.CrashAfter(c.edit ? 1 : 2);
      recno = Write(t.get(), edited, c.tag, c.key);
      ASSERT_TRUE(env.crashed());
    }
    // The check opens read-only: it names the fault and changes nothing.
    const std::string fault = Check(dbf);
    EXPECT_NE(fault.find("record " + std::to_string(recno)), std::string::npos) << fault;
    { Open(xbase::Env::Default(), dbf, /*read_only=*/true); }
    EXPECT_EQ(Check(dbf), fault);

    // While another program holds the header lock, the last record's lock, the whole-table lock
    // (FoxPro's offsets for a table with a structural index) or the index lock, even only for
    // reading, it may be writing that record or reading the index: the open leaves both alone.
    const std::string cdx = dir / (std::string(c.table) + ".CDX");
    const std::tuple<std::string, std::uint64_t, std::uint64_t> held[] = {
        {dbf, 0x7FFFFFFE, 1},
        {dbf, 0x7FFFFFFE - recno, 1},
        {dbf, 0x77FFFFFF, 0x07FFFFFF},
        {cdx, 0x7FFFFFFE, 1}};
    for (const auto& [path, offset, length] : held) {
      xbase::table_testing::ForeignLock other(path, offset, length, /*exclusive=*/false);
      ASSERT_TRUE(other.held());
      { Open(xbase::Env::Default(), dbf); }
      EXPECT_EQ(Check(dbf), fault);
    }

    auto t = Open(xbase::Env::Default(), dbf);
    EXPECT_EQ(Check(dbf), "");
    bool found = false;
    std::uint32_t at = 0;
    ASSERT_TRUE(t->Seek(t->FindTag(c.tag), c.key, &found, &at).ok());
    EXPECT_TRUE(found);
    EXPECT_EQ(at, recno);
  }
}

// A whole table written by the engine without faults is not touched by opening it.
TEST(IndexCatchUp, ASoundTableIsNotWritten) {
  TempDir dir;
  CopyTrackingTables(dir.path());
  for (const std::string& name : TableNames()) {
    const std::string dbf = dir / (name + ".DBF");
    const std::string dbf_bytes = Slurp(dbf), cdx_bytes = Slurp(dir / (name + ".CDX"));
    xbase::FaultEnv env(xbase::Env::Default());
    { Open(&env, dbf); }
    EXPECT_EQ(env.writes(), 0) << name;
    EXPECT_EQ(Slurp(dbf), dbf_bytes);
    EXPECT_EQ(Slurp(dir / (name + ".CDX")), cdx_bytes);
  }
}

}  // namespace
}  // namespace xfr::campaign
