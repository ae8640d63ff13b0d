// Bad input against the real program paths: damaged or mismatched tables, a table another
// program holds locked, a disk that fills up, a hand-off file that is huge or junk. Each case
// says what the user sees and checks that nothing was lost: the records there before are byte
// for byte the same, and nothing half-written is left (the check passes or names only the damage
// the case put there).
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "campaign/real_office.h"
#include "platform/xbase/fault_env.h"
#include "platform/xbase/table.h"

namespace xfr::campaign {
namespace {

constexpr const char* kAddQuestion = "NEW-01 was not found.  Add?";
constexpr const char* kCorrupt =
    "The databases may be corrupt.  Please run the rebuild programs. (Double Click on the icons) "
    "and restart Lumabox.";

void WriteAt(const std::string& path, std::uint64_t offset, const std::string& bytes) {
  int fd = ::open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
            static_cast<ssize_t>(bytes.size()));
  ::close(fd);
}

// A table whose index is not its own, or whose files were damaged: the user is told, the read
// writes nothing, and the next start finds the tables as they were.
TEST(BadTables, ReadTellsTheUserAndWritesNothing) {
  struct Case {
    const char* name;
    std::function<void(const std::string& dir)> damage;
    Ended ended;            // how the start, or else the read, ended
    std::string first_box;  // the first box the user sees ("" none)
    bool asks;              // whether the read gets as far as the question
  } cases[] = {
      {"the DBF header's record length changed",
       [](const std::string& d) { WriteAt(d + "/PROPERTY.DBF", 10, "\x01"); }, Ended::kEndProgram,
       kCorrupt, false},
      {"the DBF cut short in its records",
       [](const std::string& d) { fs::resize_file(d + "/PROPERTY.DBF", 10000); },
       Ended::kEndProgram, kCorrupt, false},
      {"the header counts more records than the file holds",
       [](const std::string& d) { WriteAt(d + "/INVOICE.DBF", 4, std::string("\x23\0", 2)); },
       Ended::kEndProgram, kCorrupt, false},
      {"the CDX missing", [](const std::string& d) { fs::remove(d + "/CLIENT.CDX"); },
       Ended::kEndProgram, kCorrupt, false},
      {"a CDX page overwritten (found at the first seek)",
       [](const std::string& d) { WriteAt(d + "/PROPERTY.CDX", 2570, "\xff\xff\xff\xff"); },
       Ended::kEndProgram, kCorrupt, false},
      // The existence test cannot be made, the user answers Abort: the read ends there rather
      // than ask whether to add a job it could not look for.
      {"the CDX of another table",
       [](const std::string& d) {
         fs::copy_file(d + "/CLIENT.CDX", d + "/PROPERTY.CDX",
                       fs::copy_options::overwrite_existing);
       },
       Ended::kNormally,
       "That is not an index of this table.\r\nError # 3015 in module FindRecord.", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir original, dir;
    CopyTables(dir.path());
    c.damage(dir.path());
    CopyTables(original.path());
    c.damage(original.path());
    const std::string fault_before = CheckTables(dir.path());
    {
      RealOffice office(dir.path());
      Ended ended = office.Start();
      if (ended == Ended::kNormally) ended = office.Read();
      EXPECT_EQ(ended, c.ended) << office.Boxes();
      if (ended == Ended::kNormally) office.Close();
      ASSERT_FALSE(office.window.boxes.empty());
      EXPECT_EQ(office.window.boxes[0].text, c.first_box);
      bool asked = false;
      for (const auto& b : office.window.boxes) asked |= b.text == kAddQuestion;
      EXPECT_EQ(asked, c.asks) << office.Boxes();
    }
    // Nothing written: every file as the damage left it.
    for (const auto& e : fs::directory_iterator(original.path())) {
      EXPECT_TRUE(Slurp(e.path()) == Slurp(dir / e.path().filename().string()))
          << e.path().filename() << " changed";
    }
    EXPECT_EQ(CheckTables(dir.path()), fault_before);
  }
}

// Writes that fail (a full disk, a table another program holds locked): the user is told,
// and what the read could not finish leaves no half record behind. A write that fails halfway
// ends the program with the corrupt-table message (the index may lag its table by that record);
// the next start puts the index right.
TEST(BadTables, FailedWritesLeaveOldRecordsAndNoHalfRecord) {
  struct Case {
    const char* name;
    int fail_write;          // FaultEnv::FailWrite(n), counted from the read's first write; 0: none
    const char* lock_table;  // a table whose header lock another process holds; null: none
    Ended ended;             // how the read ended
    std::string box;         // a part of the second box (the first is the question)
  } cases[] = {
      {"disk full at the property record", 1, nullptr, Ended::kEndProgram, kCorrupt},
      {"disk full at the property's record count", 2, nullptr, Ended::kEndProgram, kCorrupt},
      {"disk full at the property's index", 3, nullptr, Ended::kEndProgram, kCorrupt},
      {"disk full at the client record", 6, nullptr, Ended::kEndProgram, kCorrupt},
      {"disk full at the invoice's index", 16, nullptr, Ended::kEndProgram, kCorrupt},
      {"another program holds the client table's header lock", 0, "CLIENT", Ended::kNormally,
       "The record is locked by another user (CLIENT.DBF: the table's header lock is held by "
       "another program).\r\nError # 3260 in module CmdRead_Click."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir original, dir;
    CopyTables(dir.path());
    CopyTables(original.path());
    // Another process takes FoxPro's header lock on the table and keeps it to the end.
    std::optional<xbase::table_testing::ForeignLock> holder;
    if (c.lock_table) {
      holder.emplace(dir / (std::string(c.lock_table) + ".DBF"), 0x7FFFFFFE, 1);
      ASSERT_TRUE(holder->held());
    }
    xbase::FaultEnv env(xbase::Env::Default());
    {
      RealOffice office(dir.path(), &env);
      ASSERT_EQ(office.Start(), Ended::kNormally);
      if (c.fail_write) env.FailWrite(c.fail_write);
      EXPECT_EQ(office.Read(), c.ended) << office.Boxes();
      if (c.ended == Ended::kNormally) office.Close();
      ASSERT_GE(office.window.boxes.size(), 2u) << office.Boxes();
      EXPECT_EQ(office.window.boxes[0].text, kAddQuestion);
      EXPECT_NE(office.window.boxes[1].text.find(c.box), std::string::npos)
          << office.window.boxes[1].text;
    }
    holder.reset();
    EXPECT_EQ(ComparePreExisting(original.path(), dir.path()), "");
    {
      RealOffice next(dir.path());
      EXPECT_EQ(next.Start(), Ended::kNormally) << next.Boxes();
      EXPECT_EQ(next.Boxes(), "");
    }
    // At most the bytes of an append that stopped before its count, past the table's end.
    const std::string check = CheckTables(dir.path());
    EXPECT_TRUE(check.empty() || check.find("not counted in the header") != std::string::npos)
        << check;
    EXPECT_LE(CountLive(dir / "PROPERTY.DBF", "FILE_NUM", "NEW-01"), 1);
  }
}

// An empty CLIENT table (no records, an empty tag): the window loads without a client, and the
// read adds the new client as the table's first record.
TEST(BadTables, EmptyClientTableTakesTheFirstClient) {
  TempDir dir;
  CopyTables(dir.path());
  const std::string dbf = dir / "CLIENT.DBF";
  {
    std::unique_ptr<xbase::Table> t;
    ASSERT_TRUE(xbase::Table::Open(xbase::Env::Default(), dbf, {}, &t).ok());
    std::vector<std::pair<std::string, std::uint32_t>> entries;
    ASSERT_TRUE(t->cdx()
                    ->Walk(0,
                           [&](std::string_view k, std::uint32_t r) {
                             entries.emplace_back(std::string(k), r);
                             return true;
                           })
                    .ok());
    for (const auto& [key, recno] : entries) ASSERT_TRUE(t->cdx()->Delete(0, key, recno).ok());
    ASSERT_TRUE(t->cdx()->Flush().ok());
  }
  const std::string bytes = Slurp(dbf);
  const std::uint32_t header_length = xbase::DecodeFixed16LE(bytes.data() + 8);
  fs::resize_file(dbf, header_length);
  WriteAt(dbf, 4, std::string(4, '\0'));
  WriteAt(dbf, header_length, "\x1A");
  ASSERT_EQ(CheckTables(dir.path()), "");

  RealOffice office(dir.path());
  ASSERT_EQ(office.Start(), Ended::kNormally);
  EXPECT_EQ(office.Boxes(), "");
  EXPECT_EQ(office.Read(), Ended::kNormally);
  office.Close();
  EXPECT_EQ(office.Boxes(), kAddQuestion);
  EXPECT_EQ(CheckTables(dir.path()), "");
  EXPECT_EQ(CountLive(dbf, "CLI_NUM", "NEW01"), 1);
  EXPECT_EQ(CountLive(dir / "PROPERTY.DBF", "CLI_NUM", "NEW01"), 1);
}

}  // namespace
}  // namespace xfr::campaign
