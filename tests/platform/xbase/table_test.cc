// The Table over the fixture tables: reading against an independent reader, the reference
// engine's appends and edits reproduced tag by tag, deleted records, edits of keys, refused
// writes and FoxPro's locks.
#include "platform/xbase/table.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/xbase/cdx_test_util.h"
#include "platform/xbase/check.h"
#include "platform/xbase/coding.h"
#include "platform/xbase/env.h"
#include "platform/xbase/expr.h"
#include "platform/xbase/mem_env.h"
#include "platform/xbase/table_test_util.h"

namespace xbase {
namespace {

using table_testing::CopyFixtures;
using table_testing::ExpectConsistent;
using table_testing::KeyList;
using table_testing::OpenOrDie;
using table_testing::Output;
using table_testing::Slurp;
using table_testing::TempDir;

// The record a seek finds, 0 for none.
std::uint32_t SeekRecno(Table* table, const char* tag, const std::string& text) {
  bool found = false;
  std::uint32_t recno = 0;
  Status s = table->Seek(table->FindTag(tag), text, &found, &recno);
  EXPECT_TRUE(s.ok()) << s.ToString();
  return found ? recno : 0;
}

// Every record and field as python3-dbfread (an independent reader, dbfread_oracle.py) sees it.
TEST(Table, ReadsEveryFieldAsAnIndependentReaderDoes) {
  int rc = 0;
  Output("/usr/bin/python3 -c 'import dbfread' 2>/dev/null", &rc);
  if (rc != 0) GTEST_SKIP() << "python3-dbfread not installed";
  const std::string oracle = std::string(XFR_TEST_DATA) + "/../platform/xbase/dbfread_oracle.py";
  for (const char* name : {"PROPERTY", "CLIENT", "INVOICE"}) {
    SCOPED_TRACE(name);
    std::string path = table_testing::DataPath(std::string("foxpro/") + name + ".DBF");
    std::string expected = Output("/usr/bin/python3 '" + oracle + "' '" + path + "'", &rc);
    ASSERT_EQ(rc, 0) << expected;
    auto table = OpenOrDie(Env::Default(), path, TableOptions{.read_only = true});
    std::uint32_t count = 0;
    ASSERT_TRUE(table->RecordCount(&count).ok());
    Record rec = table->NewRecord();
    std::vector<std::uint32_t> order;  // live records, then deleted ones, as the reader lists them
    for (int pass = 0; pass < 2; ++pass) {
      for (std::uint32_t r = 1; r <= count; ++r) {
        ASSERT_TRUE(table->Read(r, &rec).ok());
        if (rec.deleted() == (pass == 1)) order.push_back(r);
      }
    }
    std::string ours;
    for (std::size_t i = 0; i < order.size(); ++i) {
      ASSERT_TRUE(table->Read(order[i], &rec).ok());
      for (std::size_t f = 0; f < table->layout().fields().size(); ++f) {
        const DbfField& field = table->layout().fields()[f];
        const int n = static_cast<int>(f);
        std::string v;
        char buf[64];
        double d;
        DbfDate date;
        bool b;
        if (field.type == 'M') continue;
        if ((field.type == 'N' || field.type == 'F') && rec.Number(n, &d)) {
          v.assign(buf, std::snprintf(buf, sizeof buf, "%.6f", d));
        } else if (field.type == 'D' && rec.Date(n, &date)) {
          v.assign(buf,
                   std::snprintf(buf, sizeof buf, "%04d%02d%02d", date.year, date.month, date.day));
        } else if (field.type == 'L' && rec.Logical(n, &b)) {
          v = b ? "T" : "F";
        } else if (field.type == 'C') {
          v = rec.Text(n);
        }
        ours += std::to_string(i + 1) + "\t" + field.name + "\t" + v + "\n";
      }
    }
    EXPECT_EQ(ours, expected);
  }
}

// The reference engine's changes (EXPECTED.txt), made by ours, give the same key sequences.
TEST(Table, AppendsAndEditsLikeTheReferenceEngine) {
  TempDir dir;
  CopyFixtures("foxpro", dir.path());
  Env* env = Env::Default();
  struct Change {
    const char* table;
    int recno;  // 0: append
    std::vector<std::pair<const char*, const char*>> fields;
  };
  const std::vector<Change> changes = {
      {"PROPERTY", 0, {{"FILE_NUM", "NEW001"}, {"CLI_NUM", "10004"}}},
      {"PROPERTY", 0, {{"FILE_NUM", "new002"}, {"CLI_NUM", "10016"}}},
      {"PROPERTY", 0, {{"FILE_NUM", "NEW003"}}},
      {"PROPERTY", 5, {{"PR_STREET", "3310 Chamblee Dunwoody Rd Unit B"}}},
      {"CLIENT", 0, {{"CLI_NUM", "10016"}, {"PLAIN_NAME", "Lenox Hill Mortgage"}}},
      {"INVOICE", 0,
       {{"INV_NUM", "INV24041"}, {"INV_DATE", "2024-06-03"}, {"INV_AMT", "450.00"},
        {"INV_PAID", "F"}}},
      {"INVOICE", 0,
       {{"INV_NUM", "INV24042"}, {"INV_DATE", "2024-06-04"}, {"INV_AMT", "525.00"},
        {"INV_PAID", "F"}}},
  };
  for (const Change& c : changes) {
    auto table = OpenOrDie(env, dir / (std::string(c.table) + ".DBF"));
    Record rec = table->NewRecord();
    for (const auto& [field, value] : c.fields) {
      ASSERT_TRUE(rec.SetFromString(table->FindField(field), value).ok()) << field;
    }
    std::uint32_t recno = 0;
    Status s = c.recno == 0 ? table->Append(rec, &recno) : table->Update(c.recno, rec);
    ASSERT_TRUE(s.ok()) << s.ToString();
  }
  auto expected = table_testing::ExpectedKeys();
  ASSERT_EQ(expected.size(), 8u);
  for (const auto& [block, keys] : expected) {
    if (block.rfind("after ", 0) != 0) continue;
    SCOPED_TRACE(block);
    std::string table_name = block.substr(6, block.find(' ', 6) - 6);
    std::string tag_name = block.substr(block.rfind(' ') + 1);
    auto table = OpenOrDie(env, dir / (table_name + ".DBF"), TableOptions{.read_only = true});
    EXPECT_EQ(table_testing::WalkTag(table.get(), table->FindTag(tag_name)), keys);
  }
  // Records that were there keep every byte (but the one edited field), the memo file is untouched,
  // and the appended records carry what was set.
  for (const char* name : {"PROPERTY", "CLIENT", "INVOICE"}) {
    SCOPED_TRACE(name);
    auto before = OpenOrDie(env, table_testing::DataPath(std::string("foxpro/") + name + ".DBF"),
                            TableOptions{.read_only = true});
    auto after =
        OpenOrDie(env, dir / (std::string(name) + ".DBF"), TableOptions{.read_only = true});
    std::uint32_t n = before->layout().header().record_count;
    Record a = before->NewRecord(), b = after->NewRecord();
    for (std::uint32_t r = 1; r <= n; ++r) {
      ASSERT_TRUE(before->Read(r, &a).ok());
      ASSERT_TRUE(after->Read(r, &b).ok());
      if (std::string(name) == "PROPERTY" && r == 5) {
        int street = after->FindField("PR_STREET");
        EXPECT_EQ(b.Text(street), "3310 Chamblee Dunwoody Rd Unit B");
        b.Assign(b.bytes());
        ASSERT_TRUE(b.SetText(street, a.Text(street)).ok());
      }
      EXPECT_EQ(a.bytes(), b.bytes()) << "record " << r;
    }
  }
  EXPECT_EQ(Slurp(dir / "PROPERTY.FPT"), Slurp(table_testing::DataPath("foxpro/PROPERTY.FPT")));
  {
    auto invoice = OpenOrDie(env, dir / "INVOICE.DBF", TableOptions{.read_only = true});
    Record r = invoice->NewRecord();
    ASSERT_TRUE(invoice->Read(31, &r).ok());
    EXPECT_EQ(r.bytes(),
              " INV24041"
              "20240603"
              "    450.00"
              "F");
    const std::time_t now = std::time(nullptr);
    const std::tm* today = std::localtime(&now);  // the header's date of last change
    EXPECT_EQ(Slurp(dir / "INVOICE.DBF").substr(1, 3),
              std::string({static_cast<char>(today->tm_year), static_cast<char>(today->tm_mon + 1),
                           static_cast<char>(today->tm_mday)}));
  }
  ExpectConsistent(dir.path());
}

// Thousands of appends and key edits (splits, then deletes and merges), judged by the independent
// checker, which recomputes every key from the records and walks the trees it finds.
TEST(Table, ManyAppendsAndKeyEditsPassTheIndependentChecker) {
  if (!table_testing::HaveChecker()) GTEST_SKIP() << "no " << table_testing::CheckerPath();
  TempDir dir;
  CopyFixtures("foxpro", dir.path());
  auto table = OpenOrDie(Env::Default(), dir / "PROPERTY.DBF");
  const int file_num = table->FindField("FILE_NUM"), cli_num = table->FindField("CLI_NUM");
  std::mt19937 rng(7);
  auto number = [&](const char* format, unsigned range) {
    char text[16];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(rng() % range));
    return std::string(text);
  };
  // File numbers in random order, some lower case (the tag upper-cases them); client numbers
  // with many duplicates and some blank.
  std::uint32_t count = 0;
  for (int i = 0; i < 3000; ++i) {
    Record rec = table->NewRecord();
    ASSERT_TRUE(rec.SetText(file_num, number(rng() % 7 ? "ZX%05u" : "zx%05u", 100000)).ok());
    ASSERT_TRUE(rec.SetText(cli_num, rng() % 11 ? number("%05u", 300) : "").ok());
    ASSERT_TRUE(table->Append(rec, &count).ok());
  }
  for (int i = 0; i < 800; ++i) {
    Record rec = table->NewRecord();
    ASSERT_TRUE((i % 2 ? rec.SetText(file_num, number("ed%06u", 9999))
                       : rec.SetText(cli_num, number("E%04u", 9999)))
                    .ok());
    ASSERT_TRUE(table->Update(1 + rng() % count, rec).ok());
  }
  table.reset();
  std::string out;
  EXPECT_EQ(table_testing::RunChecker(dir.path(), &out), 0) << out;
  EXPECT_NE(out.find("depth=2"), std::string::npos) << "splits made a second level\n" << out;
}

// Records 1, 4 ("ac24-104"; "AC24-104" (35) shares its UPPER key) and 2 ("24-00102"; its twin 33
// is deleted already) deleted; the index found under another case of its name.
TEST(Table, DeletedRecordsAreInvisibleToSeekAndFirst) {
  TempDir dir;
  CopyFixtures("foxpro", dir.path());
  std::filesystem::rename(dir / "PROPERTY.CDX", dir / "Property.Cdx");
  auto table = OpenOrDie(Env::Default(), dir / "PROPERTY.DBF");
  for (std::uint32_t r : {1, 4, 2}) {
    Record mark = table->NewRecord();
    mark.SetDeleted(true);
    ASSERT_TRUE(table->Update(r, mark).ok());
  }
  const std::pair<const char*, std::uint32_t> cases[] = {
      // key, record found (0: none)
      {"AC24-104", 35},   {"24-00102", 0}, {"24-00101", 0},  {"24-00119", 0}, {"24-00103", 3},
      {"24-00103   ", 3}, {"24-001", 0},   {"24-00103X", 0}, {"", 0},
  };
  for (const auto& [key, recno] : cases)
    EXPECT_EQ(SeekRecno(table.get(), "file_num", key), recno) << key;
  bool found = false;
  std::uint32_t first = 0;
  ASSERT_TRUE(table->First(&found, &first).ok());
  EXPECT_TRUE(found);
  EXPECT_EQ(first, 3u);
}

// An empty copy of INVOICE.DBF in env as /I.DBF, its structural index holding the given tags,
// with the records appended (INV_NUM, INV_DATE, INV_AMT, INV_PAID as SetFromString takes them).
std::unique_ptr<Table> EmptyInvoice(MemEnv* env, std::vector<testing::TagShape> tags,
                                    const std::vector<std::vector<const char*>>& rows) {
  std::string dbf = Slurp(table_testing::DataPath("foxpro/INVOICE.DBF"));
  dbf = dbf.substr(0, DecodeFixed16LE(dbf.data() + 8)) + "\x1A";
  EncodeFixed32LE(dbf.data() + 4, 0);
  env->PutFile("/I.DBF", dbf);
  env->PutFile("/I.CDX", testing::BuildCdx(tags));
  auto table = OpenOrDie(env, "/I.DBF");
  for (const auto& row : rows) {
    Record rec = table->NewRecord();
    for (std::size_t f = 0; f < row.size(); ++f)
      EXPECT_TRUE(rec.SetFromString(static_cast<int>(f), row[f]).ok()) << row[f];
    std::uint32_t recno = 0;
    EXPECT_TRUE(table->Append(rec, &recno).ok());
  }
  return table;
}

// A seek's text is read in the tag's key type: logicals T or Y in either case, dates with or
// without dashes and blank, numbers.
TEST(Table, SeeksTextAsTheTagsKeyType) {
  MemEnv env;
  auto table = EmptyInvoice(
      &env,
      {testing::Shape("PAID", 1, "INV_PAID"), testing::Shape("DATE", 8, "INV_DATE"),
       testing::Shape("AMT", 8, "INV_AMT")},
      {{"A1", "2024-06-03", "450", "F"}, {"A2", "", "-5", "T"}, {"A3", "2024-01-01", "0", "y"}});
  const std::tuple<const char*, const char*, std::uint32_t> cases[] = {
      {"PAID", "Y", 2},        {"PAID", "y", 2},
      {"PAID", "t", 2},        {"PAID", "n", 1},
      {"DATE", "", 2},         {"DATE", "2024-01-01", 3},
      {"DATE", "20240603", 1}, {"DATE", "2024-06-04", 0},
      {"AMT", "-5", 2},        {"AMT", "450.00", 1},
      {"AMT", "1", 0}};
  for (const auto& [tag, text, recno] : cases)
    EXPECT_EQ(SeekRecno(table.get(), tag, text), recno) << tag << " " << text;
}

// Deleting and recalling a record is an edit: tags whose FOR condition asks DELETED() gain or
// lose its key, the fields stay.
TEST(Table, DeleteAndRecallKeepTagsWithAForConditionInStep) {
  MemEnv env;
  auto table = EmptyInvoice(&env,
                            {testing::Shape("LIVE", 8, "UPPER(INV_NUM)", "!DELETED()"),
                             testing::Shape("GONE", 8, "INV_NUM", "DELETED()")},
                            {{"a1"}, {"a2"}, {"a3"}});
  for (bool deleted : {true, false}) {
    Record mark = table->NewRecord();
    mark.SetDeleted(deleted);
    ASSERT_TRUE(table->Update(2, mark).ok());
    Record rec = table->NewRecord();
    ASSERT_TRUE(table->Read(2, &rec).ok());
    EXPECT_EQ(rec.deleted(), deleted);
    EXPECT_EQ(rec.Text(0), "a2");
    KeyList live = {{"A1      ", 1}, {"A3      ", 3}}, gone;
    if (deleted) {
      gone = {{"a2      ", 2}};
    } else {
      live.insert(live.begin() + 1, {"A2      ", 2});
    }
    EXPECT_EQ(table_testing::WalkTag(table.get(), 0), live);
    EXPECT_EQ(table_testing::WalkTag(table.get(), 1), gone);
  }
}

TEST(Table, EditedKeysMoveInEveryTag) {
  TempDir dir;
  CopyFixtures("foxpro", dir.path());
  auto table = OpenOrDie(Env::Default(), dir / "PROPERTY.DBF");
  struct Edit {
    std::uint32_t recno;
    const char* file_num;
    const char* cli_num;
  } edits[] = {
      {6, "zz-0006", ""},         // both keys change, one to blank
      {12, "24-00112", "AMC02"},  // only the client key changes (blank to a duplicate)
      {35, "ac24-104", "amc01"},  // the UPPER key stays, the raw text changes
      {7, "24-00007", "10001"},   // a deleted record is edited all the same
  };
  for (const Edit& e : edits) {
    Record changes = table->NewRecord();
    ASSERT_TRUE(changes.SetText(table->FindField("FILE_NUM"), e.file_num).ok());
    ASSERT_TRUE(changes.SetText(table->FindField("CLI_NUM"), e.cli_num).ok());
    ASSERT_TRUE(table->Update(e.recno, changes).ok());
  }
  EXPECT_EQ(SeekRecno(table.get(), "FILE_NUM", "ZZ-0006"), 6u);
  EXPECT_EQ(SeekRecno(table.get(), "FILE_NUM", "24-00106"), 0u);
  EXPECT_EQ(SeekRecno(table.get(), "CLI_NUM", "10005"), 0u);      // record 6 was the only one
  EXPECT_EQ(SeekRecno(table.get(), "FILE_NUM", "24-00007"), 0u);  // in the index, but deleted
  // The memo pointer of an edited record is kept.
  Record rec = table->NewRecord();
  Record before = table->NewRecord();
  ASSERT_TRUE(table->Read(15, &before).ok());
  Record change = table->NewRecord();
  ASSERT_TRUE(change.SetText(table->FindField("PR_CITY"), "Décatur").ok());
  ASSERT_TRUE(table->Update(15, change).ok());
  ASSERT_TRUE(table->Read(15, &rec).ok());
  EXPECT_EQ(rec.Raw(table->FindField("PR_NOTES")), before.Raw(table->FindField("PR_NOTES")));
  EXPECT_FALSE(rec.IsBlank(table->FindField("PR_NOTES")));
  EXPECT_EQ(rec.Text(table->FindField("PR_CITY")), "Décatur");
  EXPECT_EQ(rec.Raw(table->FindField("PR_CITY")).substr(0, 8),
            "D\xE9"
            "catur ");
  ExpectConsistent(dir.path());
}

// Tables whose index comes from FoxPro itself: numeric, date and concatenated keys kept through
// appends and an edit of one of FoxPro's records.
TEST(Table, KeepsNumericDateAndCompoundKeysOfFoxProTables) {
  TempDir dir;
  CopyFixtures("foxpro-real", dir.path());
  const struct Case {
    const char* table;
    std::vector<const char*> fields;
    std::vector<std::vector<const char*>> rows;
    std::uint32_t edited;
    const char* edit[3];  // field, value, tag the edited record is sought in by the value
  } cases[] = {
      {"OFFICE",
       {"OFFICE_NO", "BUILD_NO"},
       {{"-5", "3"}, {"1000000", "0"}, {"", "2"}, {"7", "-1.5"}},
       1,
       {"OFFICE_NO", "42", "off_num"}},
      {"PERSON2",
       {"L_NAME", "F_NAME", "STARTDATE", "AGE"},
       {{"Zeta", "Ann", "1999-12-31", "30"},
        {"Almond", "Ann", "", "24"},
        {"Almond", "Ann", "1901-01-01", ""}},
       2,
       {"STARTDATE", "2001-02-03", "DATE_TAG"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    auto table = OpenOrDie(Env::Default(), dir / (std::string(c.table) + ".DBF"));
    for (const auto& row : c.rows) {
      Record rec = table->NewRecord();
      for (std::size_t f = 0; f < row.size(); ++f)
        ASSERT_TRUE(rec.SetFromString(table->FindField(c.fields[f]), row[f]).ok()) << row[f];
      std::uint32_t recno = 0;
      ASSERT_TRUE(table->Append(rec, &recno).ok());
    }
    Record change = table->NewRecord();
    ASSERT_TRUE(change.SetFromString(table->FindField(c.edit[0]), c.edit[1]).ok());
    ASSERT_TRUE(table->Update(c.edited, change).ok());
    EXPECT_EQ(SeekRecno(table.get(), c.edit[2], c.edit[1]), c.edited);
  }
  ExpectConsistent(dir.path());
}

// A tag the engine cannot maintain: writes fail naming it, and the files stay as they were.
TEST(Table, RefusesWritesWhenATagCannotBeMaintained) {
  const std::string good = Slurp(table_testing::DataPath("foxpro/PROPERTY.CDX"));
  const std::tuple<const char*, std::size_t, std::string> cases[] = {
      {"unknown function", good.find("UPPER(FILE_NUM)"), "XUPPR"},
      {"unknown field", good.find("FILE_NUM)") + 6, "O"},
      {"national collation", 0x600 + 494, "GENERAL"},  // FILE_NUM's header is at 0x600
  };
  for (const auto& [what, at, patch] : cases) {
    SCOPED_TRACE(what);
    TempDir dir;
    CopyFixtures("foxpro", dir.path());
    std::string cdx = good;
    cdx.replace(at, patch.size(), patch);
    std::ofstream(dir / "PROPERTY.CDX", std::ios::binary | std::ios::trunc) << cdx;
    std::string dbf_before = Slurp(dir / "PROPERTY.DBF");
    auto table = OpenOrDie(Env::Default(), dir / "PROPERTY.DBF");
    EXPECT_FALSE(table->writable().ok());
    Record rec = table->NewRecord();
    ASSERT_TRUE(rec.SetText(table->FindField("FILE_NUM"), "NEW9").ok());
    std::uint32_t recno = 0;
    Status s = table->Append(rec, &recno);
    EXPECT_EQ(s.code(), Status::Code::kNotSupported);
    EXPECT_NE(s.message().find("FILE_NUM"), std::string::npos) << s.message();
    s = table->Update(3, rec);
    EXPECT_EQ(s.code(), Status::Code::kNotSupported);
    EXPECT_EQ(Slurp(dir / "PROPERTY.DBF"), dbf_before);
    EXPECT_EQ(Slurp(dir / "PROPERTY.CDX"), cdx);
    // Reading and seeking on the other tag still work.
    EXPECT_EQ(SeekRecno(table.get(), "CLI_NUM", "10005"), 6u);
  }
}

// What the check says of damaged copies of INVOICE.DBF (30 records of 28 bytes from 162 on). A
// shared-mode append of another program leaves the end marker off: a note, every tag checked.
TEST(Table, CheckNamesTheFaultOfADamagedTable) {
  const std::string record31 =
      " INV24041"
      "20240603"
      "    450.00"
      "F";
  const struct Case {
    std::int64_t at;  // where the bytes go; < 0: from the end
    std::string bytes;
    std::size_t cut;  // bytes cut off the end first
    const char* message;
  } cases[] = {
      {0, "", 1, "NOTE  INVOICE.DBF: no 0x1A end marker after record 30"},
      {-1, "X", 0, "INVOICE.DBF: last byte is not the 0x1A end marker"},
      {-1, record31 + "\x1A", 0,
       "INVOICE.DBF: header counts 30 records (1003 bytes), the file has 1031: one record (31) not "
       "counted in the header"},
      {162 + 3 * 28, "X", 0, "INVOICE.DBF: record 4 starts with 0x58, neither ' ' nor '*'"},
      {162 + 28 + 1, "A\x01\"", 0,
       "INVOICE.DBF tag INV_NUM: entry 4 holds \"INV24002\" for record 2, whose key is "
       "\"A\\x01\\x2224002\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    TempDir dir;
    CopyFixtures("foxpro", dir.path());
    const std::string dbf = dir / "INVOICE.DBF";  // native separators: the check names the file
    std::string bytes = Slurp(dbf);
    bytes.resize(bytes.size() - c.cut);
    bytes.replace(c.at < 0 ? bytes.size() + c.at : c.at, c.bytes.size(), c.bytes);
    std::ofstream(dbf, std::ios::binary | std::ios::trunc) << bytes;
    std::vector<std::string> report;
    Status s = CheckTable(Env::Default(), dbf, &report);
    const std::string said = s.ok() && !report.empty() ? report[0] : s.message();
    EXPECT_EQ(said.substr(0, std::strlen(c.message)), c.message);
    if (s.ok()) { EXPECT_EQ(report.size(), 2 + OpenOrDie(Env::Default(), dbf)->tags().size()); }
  }
}

// Under a locale whose decimal separator is a comma (Qt sets the C library's from the
// environment), numbers in fields, STR() keys and expressions keep the point.
TEST(Table, NumbersKeepThePointUnderACommaLocale) {
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "locale de_DE.UTF-8 cannot be set (locale-gen it to run this test)";
  }
  TempDir dir;
  CopyFixtures("foxpro", dir.path());
  auto table = OpenOrDie(Env::Default(), dir / "INVOICE.DBF");
  const int amount = table->FindField("INV_AMT");
  Record rec = table->NewRecord();
  ASSERT_TRUE(rec.SetText(0, "LOCALE").ok());
  ASSERT_TRUE(rec.SetFromString(amount, "1250000.50").ok());
  std::uint32_t recno = 0;
  ASSERT_TRUE(table->Append(rec, &recno).ok());
  ASSERT_TRUE(table->Read(recno, &rec).ok());
  EXPECT_EQ(rec.Raw(amount), "1250000.50");
  double v = 0;
  ASSERT_TRUE(rec.Number(amount, &v));
  EXPECT_DOUBLE_EQ(v, 1250000.5);
  ASSERT_TRUE(rec.SetNumber(amount, -0.25).ok());
  EXPECT_EQ(rec.Raw(amount), "     -0.25");
  std::unique_ptr<Expr> expr;
  ASSERT_TRUE(Expr::Compile("STR(INV_AMT + 1.5, 12, 2)", table->layout(), &expr).ok());
  std::string key;
  ASSERT_TRUE(expr->EvaluateKey(rec, recno, 12, &key).ok());
  EXPECT_EQ(key, "        1.25");
  std::setlocale(LC_NUMERIC, "C");
}

}  // namespace
}  // namespace xbase
