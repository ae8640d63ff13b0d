// The Table over the fixture tables: reading against an independent reader, the reference
// engine's appends and edits reproduced tag by tag, deleted records, edits of keys, refused
// writes and FoxPro's locks.
#include "platform/xbase/table.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/xbase/check.h"
#include "platform/xbase/coding.h"
#include "platform/xbase/env.h"
#include "platform/xbase/expr.h"
#include "platform/xbase/table_test_util.h"

namespace xbase {
namespace {

using table_testing::CopyFixtures;
using table_testing::KeyList;
using table_testing::OpenOrDie;
using table_testing::Slurp;
using table_testing::TempDir;

std::string RunCommand(const std::string& cmd, int* rc) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  std::size_t n;
  while (p && (n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int status = p ? pclose(p) : -1;
  *rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

// The record a seek finds, 0 for none.
std::uint32_t SeekRecno(Table* table, const char* tag, const std::string& text) {
  bool found = false;
  std::uint32_t recno = 0;
  Status s = table->Seek(table->FindTag(tag), text, &found, &recno);
  EXPECT_TRUE(s.ok()) << s.ToString();
  return found ? recno : 0;
}

void ExpectConsistent(const std::string& dir) {
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    std::string name = e.path().filename().string();
    if (name.size() < 4 ||
        (name.substr(name.size() - 4) != ".DBF" && name.substr(name.size() - 4) != ".dbf"))
      continue;
    std::vector<std::string> report;
    Status s = CheckTable(Env::Default(), e.path().string(), &report);
    EXPECT_TRUE(s.ok()) << s.ToString();
  }
  if (table_testing::HaveChecker()) {
    std::string out;
    EXPECT_EQ(table_testing::RunChecker(dir, &out), 0) << out;
  }
}

// Every record and field as python3-dbfread (an independent reader) sees it, against ours.
TEST(Table, ReadsEveryFieldAsAnIndependentReaderDoes) {
  int rc = 0;
  RunCommand("/usr/bin/python3 -c 'import dbfread' 2>/dev/null", &rc);
  if (rc != 0) GTEST_SKIP() << "python3-dbfread not installed";
  for (const char* name : {"PROPERTY", "CLIENT", "INVOICE"}) {
    SCOPED_TRACE(name);
    std::string path = table_testing::DataPath(std::string("foxpro/") + name + ".DBF");
    // One line per field: recno TAB field TAB value, with values in our own text forms.
    TempDir tmp;
    {
      std::ofstream py(tmp / "read.py");
      py << "import dbfread, sys\n"
            "t = dbfread.DBF(sys.argv[1], ignore_missing_memofile=True, "
            "char_decode_errors='strict')\n"
            "for i, rec in enumerate(list(t.records) + list(t.deleted), 1):\n"
            "    for f in t.fields:\n"
            "        if f.type == 'M': continue\n"
            "        v = rec[f.name]\n"
            "        if v is None: s = ''\n"
            "        elif f.type == 'D': s = v.strftime('%Y%m%d')\n"
            "        elif f.type == 'L': s = 'T' if v else 'F'\n"
            "        elif f.type in 'NF': s = '%.6f' % float(v)\n"
            "        else: s = v\n"
            "        sys.stdout.write('%d\\t%s\\t%s\\n' % (i, f.name, s))\n";
    }
    std::string expected =
        RunCommand("/usr/bin/python3 '" + (tmp / "read.py") + "' '" + path + "'", &rc);
    ASSERT_EQ(rc, 0) << expected;
    auto table = OpenOrDie(Env::Default(), path, TableOptions{.read_only = true});
    std::uint32_t count = 0;
    ASSERT_TRUE(table->RecordCount(&count).ok());
    std::string ours;
    Record rec = table->NewRecord();
    std::vector<std::uint32_t> order;  // live records, then deleted ones, as the reader lists them
    for (int pass = 0; pass < 2; ++pass) {
      for (std::uint32_t r = 1; r <= count; ++r) {
        ASSERT_TRUE(table->Read(r, &rec).ok());
        if (rec.deleted() == (pass == 1)) order.push_back(r);
      }
    }
    for (std::size_t i = 0; i < order.size(); ++i) {
      const std::uint32_t r = static_cast<std::uint32_t>(i + 1);
      ASSERT_TRUE(table->Read(order[i], &rec).ok());
      for (std::size_t f = 0; f < table->layout().fields().size(); ++f) {
        const DbfField& field = table->layout().fields()[f];
        if (field.type == 'M') continue;
        std::string v;
        double d;
        DbfDate date;
        bool b;
        if (field.type == 'N' || field.type == 'F') {
          if (rec.Number(static_cast<int>(f), &d)) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.6f", d);
            v = buf;
          }
        } else if (field.type == 'D') {
          if (rec.Date(static_cast<int>(f), &date)) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "%04d%02d%02d", date.year, date.month, date.day);
            v = buf;
          }
        } else if (field.type == 'L') {
          if (rec.Logical(static_cast<int>(f), &b)) v = b ? "T" : "F";
        } else {
          v = rec.Text(static_cast<int>(f));
        }
        ours += std::to_string(r) + "\t" + field.name + "\t" + v + "\n";
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
      {"INVOICE",
       0,
       {{"INV_NUM", "INV24041"},
        {"INV_DATE", "2024-06-03"},
        {"INV_AMT", "450.00"},
        {"INV_PAID", "F"}}},
      {"INVOICE",
       0,
       {{"INV_NUM", "INV24042"},
        {"INV_DATE", "2024-06-04"},
        {"INV_AMT", "525.00"},
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

void MarkDeleted(const std::string& path, Table* table, std::uint32_t recno) {
  std::unique_ptr<File> f;
  ASSERT_TRUE(Env::Default()->OpenFile(path, false, &f).ok());
  ASSERT_TRUE(f->WriteAt(table->layout().RecordOffset(recno), "*", 1).ok());
}

TEST(Table, DeletedRecordsAreInvisibleToSeekAndFirst) {
  TempDir dir;
  CopyFixtures("foxpro", dir.path());
  std::string path = dir / "PROPERTY.DBF";
  auto table = OpenOrDie(Env::Default(), path);
  MarkDeleted(path, table.get(), 1);
  MarkDeleted(path, table.get(), 4);  // "ac24-104"; "AC24-104" (35) shares the UPPER key
  MarkDeleted(path, table.get(), 2);  // "24-00102"; its twin 33 is deleted already
  struct Case {
    const char* key;
    std::uint32_t recno;  // 0: not found
  } cases[] = {
      {"AC24-104", 35},   {"24-00102", 0}, {"24-00101", 0},  {"24-00119", 0}, {"24-00103", 3},
      {"24-00103   ", 3}, {"24-001", 0},   {"24-00103X", 0}, {"", 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SeekRecno(table.get(), "file_num", c.key), c.recno) << c.key;
  bool found = false;
  std::uint32_t first = 0;
  ASSERT_TRUE(table->First(&found, &first).ok());
  EXPECT_TRUE(found);
  EXPECT_EQ(first, 3u);
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

// Tables whose index comes from FoxPro itself: numeric, date and concatenated keys.
TEST(Table, KeepsNumericDateAndCompoundKeysOfFoxProTables) {
  TempDir dir;
  CopyFixtures("foxpro-real", dir.path());
  {
    auto office = OpenOrDie(Env::Default(), dir / "OFFICE.DBF");
    const char* rows[][2] = {{"-5", "3"}, {"1000000", "0"}, {"", "2"}, {"7", "-1.5"}};
    for (auto& row : rows) {
      Record rec = office->NewRecord();
      ASSERT_TRUE(rec.SetFromString(office->FindField("OFFICE_NO"), row[0]).ok());
      ASSERT_TRUE(rec.SetFromString(office->FindField("BUILD_NO"), row[1]).ok()) << row[1];
      std::uint32_t recno;
      ASSERT_TRUE(office->Append(rec, &recno).ok());
    }
    Record change = office->NewRecord();
    ASSERT_TRUE(change.SetNumber(office->FindField("OFFICE_NO"), 42).ok());
    ASSERT_TRUE(office->Update(1, change).ok());
    EXPECT_EQ(SeekRecno(office.get(), "OFF_NUM", "42"), 1u);
    EXPECT_EQ(SeekRecno(office.get(), "off_num", "-5"), 4u);
  }
  {
    auto person = OpenOrDie(Env::Default(), dir / "PERSON2.DBF");
    const char* rows[][3] = {
        {"Zeta", "1999-12-31", "30"}, {"Almond", "", "24"}, {"Almond", "1901-01-01", ""}};
    for (auto& row : rows) {
      Record rec = person->NewRecord();
      ASSERT_TRUE(rec.SetFromString(person->FindField("L_NAME"), row[0]).ok());
      ASSERT_TRUE(rec.SetFromString(person->FindField("F_NAME"), "Ann").ok());
      ASSERT_TRUE(rec.SetFromString(person->FindField("STARTDATE"), row[1]).ok());
      ASSERT_TRUE(rec.SetFromString(person->FindField("AGE"), row[2]).ok());
      std::uint32_t recno;
      ASSERT_TRUE(person->Append(rec, &recno).ok());
    }
    Record change = person->NewRecord();
    ASSERT_TRUE(change.SetDate(person->FindField("STARTDATE"), DbfDate{2001, 2, 3}).ok());
    ASSERT_TRUE(person->Update(2, change).ok());
    EXPECT_EQ(SeekRecno(person.get(), "DATE_TAG", "2001-02-03"), 2u);
  }
  ExpectConsistent(dir.path());
}

// A tag the engine cannot maintain: writes fail naming it, and the files stay as they were.
TEST(Table, RefusesWritesWhenATagCannotBeMaintained) {
  struct Case {
    const char* what;
    std::string from, to;  // bytes replaced in PROPERTY.CDX
    bool collation;
  } cases[] = {
      {"unknown function", "UPPER(FILE_NUM)", "XUPPR(FILE_NUM)", false},
      {"unknown field", "UPPER(FILE_NUM)", "UPPER(FILE_NOM)", false},
      {"national collation", "", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    CopyFixtures("foxpro", dir.path());
    std::string cdx = Slurp(dir / "PROPERTY.CDX");
    if (!c.collation) {
      std::size_t at = cdx.find(c.from);
      ASSERT_NE(at, std::string::npos);
      cdx.replace(at, c.to.size(), c.to);
    } else {
      auto t = OpenOrDie(Env::Default(), dir / "PROPERTY.DBF", TableOptions{.read_only = true});
      std::uint32_t header = t->tags()[t->FindTag("FILE_NUM")].header_offset;
      std::memcpy(cdx.data() + header + 494, "GENERAL", 7);
    }
    {
      std::unique_ptr<File> f;
      ASSERT_TRUE(Env::Default()->OpenFile(dir / "PROPERTY.CDX", false, &f).ok());
      ASSERT_TRUE(f->WriteAt(0, cdx.data(), cdx.size()).ok());
    }
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
    if (!c.indexed) {
      // The same table without its structural index.
      std::string bytes = Slurp(dbf);
      bytes[28] = static_cast<char>(bytes[28] & ~0x01);
      std::ofstream(dbf, std::ios::binary | std::ios::trunc) << bytes;
      std::filesystem::remove(cdx);
    }
    auto table = OpenOrDie(Env::Default(), dbf, options);
    const auto plain = [&](std::uint32_t recno) {
      return kDbfLockBase + (recno == 0 ? 0 : table->layout().RecordOffset(recno));
    };
    const std::uint64_t offset =
        c.offset >= 0 && c.indexed ? static_cast<std::uint64_t>(c.offset)
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
      if (c.append_blocked) {
        EXPECT_EQ(Slurp(dbf), dbf_before);
      }
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
  class ProbingEnv final : public Env {
   public:
    std::vector<Probe> held, free;
    int probes = 0, faults = 0;
    Status OpenFile(const std::string& path, bool read_only,
                    std::unique_ptr<File>* file) override {
      std::unique_ptr<File> base;
      Status s = Env::Default()->OpenFile(path, read_only, &base);
      if (s.ok()) *file = std::make_unique<ProbingFile>(this, std::move(base));
      return s;
    }
    bool FileExists(const std::string& path) override {
      return Env::Default()->FileExists(path);
    }
    void SleepMicros(std::uint64_t micros) override { Env::Default()->SleepMicros(micros); }
    void Check() {
      ++probes;
      for (const Probe& p : held) faults += !table_testing::LockedForOthers(p.path, p.offset);
      for (const Probe& p : free) faults += table_testing::LockedForOthers(p.path, p.offset);
    }

   private:
    class ProbingFile final : public File {
     public:
      ProbingFile(ProbingEnv* env, std::unique_ptr<File> base)
          : env_(env), base_(std::move(base)) {}
      Status ReadAt(std::uint64_t o, std::size_t n, char* p, std::size_t* r) override {
        return base_->ReadAt(o, n, p, r);
      }
      Status WriteAt(std::uint64_t o, const char* d, std::size_t n) override {
        env_->Check();
        return base_->WriteAt(o, d, n);
      }
      Status Size(std::uint64_t* size) override { return base_->Size(size); }
      Status Truncate(std::uint64_t size) override { return base_->Truncate(size); }
      Status Sync() override { return base_->Sync(); }
      Status TryLock(std::uint64_t o, std::uint64_t n, bool x) override {
        return base_->TryLock(o, n, x);
      }
      Status Unlock(std::uint64_t o, std::uint64_t n) override { return base_->Unlock(o, n); }

     private:
      ProbingEnv* env_;
      std::unique_ptr<File> base_;
    };
  };
  for (bool indexed : {true, false}) {
    SCOPED_TRACE(indexed ? "with index" : "without index");
    TempDir dir;
    CopyFixtures("foxpro", dir.path());
    const std::string dbf = dir / "INVOICE.DBF", cdx = dir / "INVOICE.CDX";
    if (!indexed) {
      std::string bytes = Slurp(dbf);
      bytes[28] = static_cast<char>(bytes[28] & ~0x01);
      std::ofstream(dbf, std::ios::binary | std::ios::trunc) << bytes;
      std::filesystem::remove(cdx);
    }
    ProbingEnv env;
    auto table = OpenOrDie(&env, dbf);
    const auto record = [&](std::uint32_t n) {
      return indexed ? kTop - n : kDbfLockBase + table->layout().RecordOffset(n);
    };
    const std::uint64_t header = indexed ? kTop : kDbfLockBase;
    Record rec = table->NewRecord();
    ASSERT_TRUE(rec.SetText(0, "PROBED").ok());
    env.held = {{dbf, header}, {dbf, record(kNew)}};
    env.free = {{dbf, record(2)}};
    if (indexed) env.held.push_back({cdx, kTop});
    std::uint32_t recno = 0;
    ASSERT_TRUE(table->Append(rec, &recno).ok());
    env.held = {{dbf, record(3)}};
    env.free = {{dbf, header}, {dbf, record(2)}};
    if (indexed) env.held.push_back({cdx, kTop});
    ASSERT_TRUE(table->Update(3, rec).ok());
    EXPECT_GE(env.probes, indexed ? 4 : 2);
    EXPECT_EQ(env.faults, 0);
  }
}

// A shared-mode append of another xBase program leaves the 0x1A end marker off: the check says
// so as a note and goes on to check every tag.
TEST(Table, CheckNotesAMissingEndMarker) {
  TempDir dir;
  CopyFixtures("foxpro", dir.path());
  const std::string dbf = dir / "INVOICE.DBF";
  std::filesystem::resize_file(dbf, std::filesystem::file_size(dbf) - 1);
  std::vector<std::string> report;
  Status s = CheckTable(Env::Default(), dbf, &report);
  EXPECT_TRUE(s.ok()) << s.ToString();
  ASSERT_FALSE(report.empty());
  EXPECT_EQ(report[0].rfind("NOTE  INVOICE.DBF: no 0x1A end marker", 0), 0u) << report[0];
  EXPECT_EQ(report.size(), 2 + OpenOrDie(Env::Default(), dbf)->tags().size());
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
