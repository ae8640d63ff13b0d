// The Table over the fixture tables, changed, damaged or emptied copies of them.
#include "platform/xbase/table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/xbase/cdx_test_util.h"
#include "platform/xbase/check.h"
#include "platform/xbase/coding.h"
#include "platform/xbase/fault_env.h"
#include "platform/xbase/mem_env.h"
#include "platform/xbase/table_test_util.h"

namespace xbase::table_testing {
namespace {

// The invoice the reference engine's changes append after INVOICE.DBF's 30 records.
const std::string kInvoice31 = std::string(" INV24041") + "20240603" + "    450.00" + "F";

// EXPECTED.txt's key lists, keyed "after PROPERTY FILE_NUM".
std::map<std::string, KeyList> ExpectedKeys() {
  std::map<std::string, KeyList> blocks;
  std::istringstream in(Slurp(DataPath("foxpro/EXPECTED.txt")));
  KeyList* current = nullptr;  // a block's lines: "<key>"  <recno>  [*]
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string state, table, tag_word, tag;
    if (line[0] == '[' && words >> state >> table >> tag_word >> tag) {
      current = &blocks[state.substr(1, state.size() - 2) + " " + table + " " + tag];
    } else if (current && line.rfind("  \"", 0) == 0) {
      const std::size_t end = line.find('"', 3);
      current->emplace_back(line.substr(3, end - 3), std::stoul(line.substr(end + 1)));
    } else {
      current = nullptr;
    }
  }
  return blocks;
}

// Every record and field as python3-dbfread (an independent reader, dbfread_oracle.py) sees it.
TEST(Table, ReadsEveryFieldAsAnIndependentReaderDoes) {
  int rc = 0;
  Output("/usr/bin/python3 -c 'import dbfread' 2>/dev/null", &rc);
  if (rc != 0) GTEST_SKIP() << "python3-dbfread not installed";
  const std::string oracle = std::string(XFR_TEST_DATA) + "/../platform/xbase/dbfread_oracle.py";
  for (const char* name : {"PROPERTY", "CLIENT", "INVOICE"}) {
    SCOPED_TRACE(name);
    std::string path = DataPath(std::string("foxpro/") + name + ".DBF");
    std::string expected = Output("/usr/bin/python3 '" + oracle + "' '" + path + "'", &rc);
    ASSERT_EQ(rc, 0) << expected;
    auto table = OpenOrDie(Env::Default(), path, TableOptions{.read_only = true});
    std::uint32_t count = 0;
    ASSERT_TRUE(table->RecordCount(&count).ok());
    Record rec = table->NewRecord();
    std::string ours;
    int i = 0;
    for (bool deleted : {false, true}) {  // live records, then deleted ones, as the reader does
      for (std::uint32_t r = 1; r <= count; ++r) {
        ASSERT_TRUE(table->Read(r, &rec).ok());
        if (rec.deleted() != deleted) continue;
        ++i;
        for (std::size_t f = 0; f < table->layout().fields().size(); ++f) {
          const DbfField& field = table->layout().fields()[f];
          const int n = static_cast<int>(f);
          char v[64] = "";
          double d;
          DbfDate date;
          bool b;
          if (field.type == 'M') continue;
          if ((field.type == 'N' || field.type == 'F') && rec.Number(n, &d)) {
            std::snprintf(v, sizeof v, "%.6f", d);
          } else if (field.type == 'D' && rec.Date(n, &date)) {
            std::snprintf(v, sizeof v, "%04d%02d%02d", date.year, date.month, date.day);
          } else if (field.type == 'L' && rec.Logical(n, &b)) {
            v[0] = b ? 'T' : 'F', v[1] = 0;
          }
          ours += std::to_string(i) + "\t" + field.name + "\t" +
                  (field.type == 'C' ? rec.Text(n) : std::string(v)) + "\n";
        }
      }
    }
    EXPECT_EQ(ours, expected);
  }
}

// The reference engine's changes (EXPECTED.txt), made by ours, give the same key sequences.
TEST(Table, AppendsAndEditsLikeTheReferenceEngine) {
  FixtureDir dir;
  Env* env = Env::Default();
  const char* kStreet = "3310 Chamblee Dunwoody Rd Unit B";
  const std::tuple<const char*, std::uint32_t, Values> changes[] = {  // table, record (0: append)
      {"PROPERTY", 0, {{"FILE_NUM", "NEW001"}, {"CLI_NUM", "10004"}}},
      {"PROPERTY", 0, {{"FILE_NUM", "new002"}, {"CLI_NUM", "10016"}}},
      {"PROPERTY", 0, {{"FILE_NUM", "NEW003"}}},
      {"PROPERTY", 5, {{"PR_STREET", kStreet}}},
      {"CLIENT", 0, {{"CLI_NUM", "10016"}, {"PLAIN_NAME", "Lenox Hill Mortgage"}}},
      {"INVOICE", 0,
       {{"INV_NUM", "INV24041"}, {"INV_DATE", "2024-06-03"}, {"INV_AMT", "450.00"},
        {"INV_PAID", "F"}}},
      {"INVOICE", 0,
       {{"INV_NUM", "INV24042"}, {"INV_DATE", "2024-06-04"}, {"INV_AMT", "525.00"},
        {"INV_PAID", "F"}}},
  };
  for (const auto& [name, recno, values] : changes) {
    const Status s = Write(OpenOrDie(env, dir / (std::string(name) + ".DBF")).get(), recno, values);
    ASSERT_TRUE(s.ok()) << s.ToString();
  }
  // Every tag as the reference engine walks it, before and after: its own index files and,
  // after, ours.
  auto expected = ExpectedKeys();
  ASSERT_EQ(expected.size(), 8u);
  for (const auto& [block, keys] : expected) {
    SCOPED_TRACE(block);
    std::istringstream words(block);
    std::string state, table_name, tag_name;
    words >> state >> table_name >> tag_name;
    std::vector<std::string> paths = {DataPath(
        "foxpro/" + (state == "after" ? "after/" : std::string()) + table_name + ".DBF")};
    if (state == "after") paths.push_back(dir / (table_name + ".DBF"));
    for (const std::string& path : paths) {
      auto table = OpenOrDie(env, path, TableOptions{.read_only = true});
      const int tag = table->FindTag(tag_name);
      EXPECT_EQ(WalkTag(table.get(), tag), keys) << path;
      std::string problem;
      EXPECT_TRUE(table->cdx()->Check(tag, &problem).ok()) << path << ": " << problem;
    }
  }
  // Records that were there keep every byte (but the one edited field), the memo file is
  // untouched, an appended invoice is stored as FoxPro stores it, and the header has today's date.
  for (const char* name : {"PROPERTY", "CLIENT", "INVOICE"}) {
    SCOPED_TRACE(name);
    const TableOptions ro{.read_only = true};
    auto before = OpenOrDie(env, DataPath(std::string("foxpro/") + name + ".DBF"), ro);
    auto after = OpenOrDie(env, dir / (std::string(name) + ".DBF"), ro);
    Record a = before->NewRecord(), b = after->NewRecord();
    for (std::uint32_t r = 1; r <= before->layout().header().record_count; ++r) {
      ASSERT_TRUE(before->Read(r, &a).ok() && after->Read(r, &b).ok());
      if (std::string(name) == "PROPERTY" && r == 5) {
        ASSERT_TRUE(a.SetText(a.layout().FindField("PR_STREET"), kStreet).ok());
      }
      EXPECT_EQ(a.bytes(), b.bytes()) << "record " << r;
    }
  }
  EXPECT_EQ(Slurp(dir / "PROPERTY.FPT"), Slurp(DataPath("foxpro/PROPERTY.FPT")));
  auto invoice = OpenOrDie(env, dir / "INVOICE.DBF", TableOptions{.read_only = true});
  Record r = invoice->NewRecord();
  ASSERT_TRUE(invoice->Read(31, &r).ok());
  EXPECT_EQ(r.bytes(), kInvoice31);
  const std::time_t now = std::time(nullptr);
  const std::tm* today = std::localtime(&now);
  EXPECT_EQ(Slurp(dir / "INVOICE.DBF").substr(1, 3),
            std::string({static_cast<char>(today->tm_year), static_cast<char>(today->tm_mon + 1),
                         static_cast<char>(today->tm_mday)}));
  ExpectConsistent(dir.path());
}

// PROPERTY (index found under another case of its name) before and after deleting records 1, 4
// ("ac24-104"; "AC24-104" (35) shares its UPPER key) and 2 ("24-00102"; its twin 33 is deleted
// already) and editing keys: a seek finds the lowest live record with the key, or none; a seek
// through a tag the index lacks finds nothing.
TEST(Table, SeeksFindTheLowestLiveRecordThroughEditsAndDeletions) {
  FixtureDir dir;
  std::filesystem::rename(dir / "PROPERTY.CDX", dir / "Property.Cdx");
  auto table = OpenOrDie(Env::Default(), dir / "PROPERTY.DBF");
  const std::tuple<const char*, const char*, std::uint32_t, std::uint32_t> cases[] = {
      // tag, key, record found before and after the changes (0: none)
      {"file_num", "24-00102", 2, 0}, {"FILE_NUM", "AC24-104", 4, 35},
      {"FILE_NUM", "7731", 23, 23},   {"FILE_NUM", "24-00101", 1, 0},
      {"FILE_NUM", "24-00119", 0, 0}, {"FILE_NUM", "24-00103   ", 3, 3},
      {"FILE_NUM", "24-001", 0, 0},   {"FILE_NUM", "24-00103X", 0, 0},
      {"FILE_NUM", "", 0, 0},         {"FILE_NUM", "ZZ-0006", 0, 6},
      {"FILE_NUM", "24-00106", 6, 0}, {"FILE_NUM", "24-00007", 0, 0},
      {"Cli_Num", "", 12, 6},         {"CLI_NUM", "amc01", 4, 35},
      {"CLI_NUM", "AMC01", 0, 0},     {"CLI_NUM", "10005", 6, 0},
      {"CLI_NUM", "10015", 29, 29},
  };
  for (const auto& [tag, key, before, after] : cases)
    EXPECT_EQ(SeekRecno(table.get(), tag, key), before) << tag << " " << key;
  const auto keys = [](const char* file_num, const char* cli_num) {
    return Values{{"FILE_NUM", file_num}, {"CLI_NUM", cli_num}};
  };
  const std::pair<std::uint32_t, Values> edits[] = {
      {1, {{"*", "*"}}}, {4, {{"*", "*"}}}, {2, {{"*", "*"}}},
      {6, keys("zz-0006", "")},     // both keys change, one to blank
      {12, keys("24-00112", "AMC02")},  // only the client key changes (blank to a duplicate)
      {35, keys("ac24-104", "amc01")},  // the UPPER key stays, the raw text changes
      {7, keys("24-00007", "10001")},   // a deleted record is edited all the same
  };
  for (const auto& [recno, values] : edits) ASSERT_TRUE(Write(table.get(), recno, values).ok());
  for (const auto& [tag, key, before, after] : cases)
    EXPECT_EQ(SeekRecno(table.get(), tag, key), after) << tag << " " << key;
  EXPECT_EQ(FirstRecno(table.get()), 3u);
  bool found = false;
  std::uint32_t recno = 0;
  const int past = static_cast<int>(table->cdx()->tags().size());  // a tag the index lacks
  for (int tag : {-1, past}) EXPECT_TRUE(table->Seek(tag, "24-00112", &found, &recno).IsNotFound());
  EXPECT_TRUE(table->Append(table->NewRecord(), &recno, past, &recno).IsNotFound());
  ExpectConsistent(dir.path());
}

// An empty copy of INVOICE.DBF whose structural index holds tags of each key type and FOR
// conditions on DELETED(). A seek's text is read in the tag's key type: logicals T or Y in either
// case, dates with or without dashes and blank, numbers. Deleting and recalling a record is an
// edit: tags whose FOR condition asks DELETED() gain or lose its key (a unique one takes the next
// record with the key), the fields stay.
TEST(Table, SeeksInEachKeyTypeAndKeepsForConditionsInStep) {
  MemEnv env;
  std::string dbf = Slurp(DataPath("foxpro/INVOICE.DBF"));
  dbf = dbf.substr(0, DecodeFixed16LE(dbf.data() + 8)) + "\x1A";
  EncodeFixed32LE(dbf.data() + 4, 0);
  env.PutFile("/I.DBF", dbf);
  env.PutFile(
      "/I.CDX",
      testing::BuildCdx({testing::Shape("PAID", 1, "INV_PAID"),
                         testing::Shape("DATE", 8, "INV_DATE"), testing::Shape("AMT", 8, "INV_AMT"),
                         testing::Shape("LIVE", 8, "UPPER(INV_NUM)", "!DELETED()"),
                         testing::Shape("GONE", 8, "INV_NUM", "DELETED()"),
                         {"ONCE", 1, "INV_PAID", "!DELETED()", false, true, ""}}));
  auto table = OpenOrDie(&env, "/I.DBF");
  for (const auto& [num, date, amt, paid] : {std::tuple{"a1", "2024-06-03", "450", "F"},
                                             {"a2", "", "-5", "T"}, {"a3", "2024-01-01", "0", "y"}}) {
    const Values row = {{"INV_NUM", num}, {"INV_DATE", date}, {"INV_AMT", amt}, {"INV_PAID", paid}};
    ASSERT_TRUE(Write(table.get(), 0, row).ok()) << num;
  }
  const std::tuple<const char*, const char*, std::uint32_t> cases[] = {
      {"PAID", "Y", 2},        {"PAID", "y", 2},
      {"PAID", "t", 2},        {"PAID", "n", 1},
      {"DATE", "", 2},         {"DATE", "2024-01-01", 3},
      {"DATE", "20240603", 1}, {"DATE", "2024-06-04", 0},
      {"AMT", "-5", 2},        {"AMT", "450.00", 1},
      {"AMT", "1", 0}};
  for (const auto& [tag, text, recno] : cases)
    EXPECT_EQ(SeekRecno(table.get(), tag, text), recno) << tag << " " << text;
  bool found = false;
  std::uint32_t first = 0;
  for (const int tag : {-1, 6}) EXPECT_TRUE(table->SeekRaw(tag, "A1", &found, &first).IsNotFound());
  const int live_tag = table->FindTag("LIVE"), gone_tag = table->FindTag("GONE");
  const int once_tag = table->FindTag("ONCE");  // unique: the first live record of each key
  for (bool deleted : {true, false}) {
    ASSERT_TRUE(Write(table.get(), 2, {{"*", deleted ? "*" : " "}}).ok());
    Record rec = table->NewRecord();
    ASSERT_TRUE(table->Read(2, &rec).ok());
    EXPECT_EQ(rec.deleted(), deleted);
    EXPECT_EQ(rec.Text(0), "a2");
    const KeyList live = {{"A1      ", 1}, {"A2      ", 2}, {"A3      ", 3}};
    EXPECT_EQ(WalkTag(table.get(), live_tag), (deleted ? KeyList{live[0], live[2]} : live));
    EXPECT_EQ(WalkTag(table.get(), gone_tag), (deleted ? KeyList{{"a2      ", 2}} : KeyList()));
    if (deleted) { EXPECT_EQ(WalkTag(table.get(), once_tag), (KeyList{{"F", 1}, {"T", 3}})); }
  }
  for (std::uint32_t r = 1; r <= 3; ++r) {  // the first live record, however many go before it
    EXPECT_EQ(FirstRecno(table.get()), r);
    ASSERT_TRUE(Write(table.get(), r, {{"*", "*"}}).ok());
  }
  EXPECT_EQ(FirstRecno(table.get()), 0u);  // the end-of-file marker after the last record is none
}

// A tag the engine cannot maintain: writes fail naming it, and the files stay as they were.
TEST(Table, RefusesWritesWhenATagCannotBeMaintained) {
  const std::string good = Slurp(DataPath("foxpro/PROPERTY.CDX"));
  const std::tuple<const char*, std::size_t, std::string> cases[] = {
      {"unknown function", good.find("UPPER(FILE_NUM)"), "XUPPR"},
      {"unknown field", good.find("FILE_NUM)") + 6, "O"},
      {"national collation", 0x600 + 494, "GENERAL"},  // FILE_NUM's header is at 0x600
  };
  for (const auto& [what, at, patch] : cases) {
    SCOPED_TRACE(what);
    FixtureDir dir;
    std::string cdx = good;
    cdx.replace(at, patch.size(), patch);
    std::ofstream(dir / "PROPERTY.CDX", std::ios::binary | std::ios::trunc) << cdx;
    std::string dbf_before = Slurp(dir / "PROPERTY.DBF");
    auto table = OpenOrDie(Env::Default(), dir / "PROPERTY.DBF");
    EXPECT_FALSE(table->writable().ok());
    Status s = Write(table.get(), 0, {{"FILE_NUM", "NEW9"}});
    EXPECT_EQ(s.code(), Status::Code::kNotSupported);
    EXPECT_NE(s.message().find("FILE_NUM"), std::string::npos) << s.message();
    EXPECT_EQ(Write(table.get(), 3, {{"FILE_NUM", "NEW9"}}).code(), Status::Code::kNotSupported);
    EXPECT_EQ(Slurp(dir / "PROPERTY.DBF"), dbf_before);
    EXPECT_EQ(Slurp(dir / "PROPERTY.CDX"), cdx);
    // Reading and seeking on the other tag still work.
    EXPECT_EQ(SeekRecno(table.get(), "CLI_NUM", "10005"), 6u);
  }
}

// An index write that failed leaves the index object unusable: the next write opens the index
// again from the file and goes through.
TEST(Table, AWriteAfterAFailedIndexWriteOpensTheIndexAgain) {
  FixtureDir dir;
  FaultEnv env(Env::Default());
  auto table = OpenOrDie(&env, dir / "INVOICE.DBF");
  env.FailWrite(3);  // the record, the header's count, then the index's first page
  EXPECT_EQ(Write(table.get(), 0, {{"INV_NUM", "FAILED"}}).code(), Status::Code::kIOError);
  ASSERT_TRUE(Write(table.get(), 0, {{"INV_NUM", "AFTER"}}).ok());
  EXPECT_EQ(SeekRecno(table.get(), "INV_NUM", "AFTER"), 32u);
}

// A key that cannot be computed for the new record (a division by zero in the first tag) refuses
// the append before anything is written.
TEST(Table, AKeyThatCannotBeComputedRefusesTheWholeAppend) {
  MemEnv env;
  std::string dbf = MakeDbf({{"N", 'N', 3, 0}}, 0x03);
  dbf[28] = 0x01;  // with its structural index
  env.PutFile("/T.DBF", dbf);
  const std::string cdx =
      testing::BuildCdx({testing::Shape("A", 8, "1 / N"), testing::Shape("B", 8, "N")});
  env.PutFile("/T.CDX", cdx);
  auto table = OpenOrDie(&env, "/T.DBF");
  EXPECT_FALSE(Write(table.get(), 0, {{"N", "0"}}).ok());
  std::string now;
  EXPECT_TRUE(env.GetFile("/T.DBF", &now) && now == dbf);
  EXPECT_TRUE(env.GetFile("/T.CDX", &now) && now == cdx);
}

// A table that another program cut short after we opened it: an append refuses it while the
// header counts a record the file does not hold whole; a missing end marker alone is no fault.
TEST(Table, AppendRefusesATableShorterThanItsHeaderSays) {
  for (const std::size_t cut : {1, 2}) {
    TempDir dir;
    const std::string bytes = MakeDbf({{"N", 'C', 4, 0}}, 0x03, {" abcd", " efgh"});
    std::ofstream(dir / "T.DBF", std::ios::binary) << bytes;
    auto table = OpenOrDie(Env::Default(), dir / "T.DBF");
    std::filesystem::resize_file(dir / "T.DBF", bytes.size() - cut);
    std::uint32_t recno = 0;
    EXPECT_EQ(table->Append(table->NewRecord(), &recno).ToString(),
              cut == 1 ? "OK" : "Corruption: T.DBF: header counts 2 records, the file is shorter");
  }
}

// A header the first read does not hold whole is read again from its start: 127 one-byte fields
// end it one byte past the first 4,096, 300 far past; one that claims more than the file has is
// damage.
TEST(Table, OpensHeadersLongerThanTheFirstRead) {
  for (const int n : {126, 127, 300, 0}) {
    std::vector<std::string> names;
    std::vector<std::tuple<const char*, char, int, int>> fields;
    for (int i = 0; i < std::max(n, 127); ++i) names.push_back("F" + std::to_string(i));
    for (const std::string& name : names) fields.emplace_back(name.c_str(), 'C', 1, 0);
    std::string second = "*";
    for (std::size_t i = 0; i < fields.size(); ++i) second += static_cast<char>('A' + i % 26);
    std::string bytes = MakeDbf(fields, 0x03, {" " + std::string(fields.size(), 'x'), second});
    if (n == 0) EncodeFixed16LE(bytes.data() + 8, 9000);
    MemEnv env;
    env.PutFile("T.DBF", bytes);
    std::unique_ptr<Table> table;
    Status s = Table::Open(&env, "T.DBF", {}, &table);
    if (n == 0) {
      EXPECT_EQ(s.ToString(), "Corruption: T.DBF: DBF header length 9000 exceeds the file's 4354 bytes");
      continue;
    }
    ASSERT_TRUE(s.ok()) << s.ToString();
    EXPECT_EQ(table->layout().fields().size(), fields.size());
    Record rec = table->NewRecord();
    ASSERT_TRUE(table->Read(2, &rec).ok());
    EXPECT_EQ(rec.bytes(), second);
  }
}

// What the check says of damaged copies of INVOICE.DBF (30 records of 28 bytes from 162 on) and
// of PROPERTY.FPT (64-byte blocks, 8..28 used; record 1's memo at block 8). A shared-mode append
// of another program leaves the end marker off: a note, every tag checked. FoxPro allows any memo
// block size: at 73 bytes block 7 starts at 511, still inside the 512-byte header.
TEST(Table, CheckNamesTheFaultOfADamagedTable) {
  const struct Case {
    std::int64_t at;  // where the bytes go; < 0: from the end
    std::string bytes;
    std::size_t cut;  // bytes cut off the end first
    const char* message;
    const char* memo = nullptr;  // damage PROPERTY.FPT, with this memo pointer in record 1
  } cases[] = {
      {0, "", 1, "NOTE  INVOICE.DBF: no 0x1A end marker after record 30"},
      {-1, "X", 0, "INVOICE.DBF: last byte is not the 0x1A end marker"},
      {-1, kInvoice31 + "\x1A", 0,
       "INVOICE.DBF: header counts 30 records (1003 bytes), the file has 1031: one record (31) not "
       "counted in the header"},
      {162 + 3 * 28, "X", 0, "INVOICE.DBF: record 4 starts with 0x58, neither ' ' nor '*'"},
      {162 + 28 + 1, "A\x01\"", 0,
       "INVOICE.DBF tag INV_NUM: entry 4 holds \"INV24002\" for record 2, whose key is "
       "\"A\\x01\\x2224002\""},
      {6, std::string("\0I", 2), 0,
       "PROPERTY.DBF: record 1 memo PR_NOTES points to block 7, outside the used blocks 8..28 of "
       "PROPERTY.FPT", "7"},
      {0, "", 0, "PROPERTY.DBF: record 1 memo PR_NOTES points to block 29, outside", "29"},
      {0, "", 0, "PROPERTY.DBF: record 1 memo PR_NOTES: pointer \"8x\" is not a block number", "8x"},
      {0, "", 0, "PROPERTY.DBF: record 1 memo PR_NOTES: block 28 does not fit in PROPERTY.FPT", "28"},
      {6, std::string(2, '\0'), 0, "PROPERTY.FPT: block size 0", "8"},
      {0, "", 1300, "PROPERTY.FPT: shorter than its 512-byte header", "8"},
      {0, "", 1805 - 512, "PROPERTY.DBF: record 1 memo PR_NOTES: block 8 does not fit", "8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    FixtureDir dir;
    // native separators: the check names the file
    const std::string dbf = dir / (c.memo ? "PROPERTY.DBF" : "INVOICE.DBF");
    const std::string damaged = c.memo ? dir / "PROPERTY.FPT" : dbf;
    std::string bytes = Slurp(damaged);
    bytes.resize(bytes.size() - c.cut);
    bytes.replace(c.at < 0 ? bytes.size() + c.at : c.at, c.bytes.size(), c.bytes);
    std::ofstream(damaged, std::ios::binary | std::ios::trunc) << bytes;
    if (c.memo) {  // record 1's memo pointer, right-aligned in its 10 bytes at 1283
      std::fstream(dbf, std::ios::binary | std::ios::in | std::ios::out).seekp(1283)
          << std::string(10 - std::strlen(c.memo), ' ') + c.memo;
    }
    std::vector<std::string> report;
    FaultEnv reader(Env::Default());  // the check only reads
    reader.DenyOpen("*", true);
    Status s = CheckTable(&reader, dbf, &report);
    const std::string said = s.ok() && !report.empty() ? report[0] : s.message();
    EXPECT_EQ(said.substr(0, std::strlen(c.message)), c.message);
    if (s.ok()) { EXPECT_EQ(report.size(), 2 + OpenOrDie(Env::Default(), dbf)->tags().size()); }
  }
}

}  // namespace
}  // namespace xbase::table_testing
