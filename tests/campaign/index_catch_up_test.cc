// A write that stopped after the record reached the DBF and before its index change did leaves
// the last record out of a tag, or under the key it had before. Opening the table for writing
// puts that right, so the record is found again and not added twice; a read-only open (the
// check) leaves the file alone and names the fault, and a sound table is not written at all.
#include <gtest/gtest.h>

#include <tuple>

#include "campaign/real_office.h"
#include "platform/xbase/fault_env.h"

namespace xfr::campaign {
namespace {

using xbase::table_testing::OpenOrDie;

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
    const std::string cdx = dir / (std::string(c.table) + ".CDX");
    const std::string dbf_bytes = Slurp(dbf), cdx_bytes = Slurp(cdx);
    xbase::FaultEnv env(xbase::Env::Default());
    { OpenOrDie(&env, dbf); }
    EXPECT_EQ(env.writes(), 0);
    EXPECT_TRUE(Slurp(dbf) == dbf_bytes && Slurp(cdx) == cdx_bytes);

    const std::uint32_t edited = c.edit ? WriteRecord(dbf, 0, {{"FILE_NUM", "NEW-01"}}, &env) : 0;
    // An append: the record and the header's count; an edit: the record (the header has
    // today's date already).
    env.CrashAfter(c.edit ? 1 : 2);
    const std::uint32_t recno = WriteRecord(dbf, edited, {{c.tag, c.key}}, &env);
    ASSERT_TRUE(env.crashed());
    // The check opens read-only: it names the fault and changes nothing.
    const std::string fault = CheckTables(dir.path());
    EXPECT_NE(fault.find("record " + std::to_string(recno)), std::string::npos) << fault;
    { OpenOrDie(xbase::Env::Default(), dbf, {.read_only = true}); }
    EXPECT_EQ(CheckTables(dir.path()), fault);

    // While another program holds the header lock, the last record's lock, the whole-table lock
    // (FoxPro's offsets for a table with a structural index) or the index lock, even only for
    // reading, it may be writing that record or reading the index: the open leaves both alone.
    const std::tuple<std::string, std::uint64_t, std::uint64_t> held[] = {
        {dbf, 0x7FFFFFFE, 1},
        {dbf, 0x7FFFFFFE - recno, 1},
        {dbf, 0x77FFFFFF, 0x07FFFFFF},
        {cdx, 0x7FFFFFFE, 1}};
    for (const auto& [path, offset, length] : held) {
      xbase::table_testing::ForeignLock other(path, offset, length, /*exclusive=*/false);
      ASSERT_TRUE(other.held());
      { OpenOrDie(xbase::Env::Default(), dbf); }
      EXPECT_EQ(CheckTables(dir.path()), fault);
    }

    auto t = OpenOrDie(xbase::Env::Default(), dbf);
    EXPECT_EQ(CheckTables(dir.path()), "");
    bool found = false;
    std::uint32_t at = 0;
    ASSERT_TRUE(t->Seek(t->FindTag(c.tag), c.key, &found, &at).ok());
    EXPECT_TRUE(found);
    EXPECT_EQ(at, recno);
  }
}

}  // namespace
}  // namespace xfr::campaign
