// Bad input against the real program paths: damaged or mismatched tables, a table another
// program holds locked, a disk that fills up, a hand-off file that is huge or junk. Each case
// says what the user sees and checks that nothing was lost: the records there before are byte
// for byte the same, and nothing half-written is left (the check passes or names only the damage
// the case put there).
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>

#include "campaign/real_office.h"
#include "fakes/office.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_files.h"
#include "platform/xbase/fault_env.h"
#include "platform/xbase/table.h"
#include "shell/wiring.h"

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

// Every file of `original` is byte for byte the same in `dir`.
void ExpectFilesAsIn(const std::string& original, const TempDir& dir) {
  for (const auto& e : fs::directory_iterator(original)) {
    EXPECT_TRUE(Slurp(e.path()) == Slurp(dir / e.path().filename().string()))
        << e.path().filename() << " changed";
  }
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
    CopyTrackingTables(dir.path());
    c.damage(dir.path());
    CopyTrackingTables(original.path());
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
    ExpectFilesAsIn(original.path(), dir);
    EXPECT_EQ(CheckTables(dir.path()), fault_before);
  }
}

// Tables as an office's share holds them. A file named in another case opens, and the read and
// dbftool work through it. A table or index that is missing or that the user may not read (an
// open the file layer refuses, as it would for any user, root included) gets the connection's
// missing-table message, the window comes up all the same, and nothing is written.
TEST(BadTables, NamesInAnyCaseOpenAndFilesThatCannotBeOpenedAreMissing) {
  const std::string missing_client = MissingTableMessage("C:\\TRK\\DATA", "CLIENT.DBF");
  struct Case {
    const char* name;
    std::function<void(const std::string& dir)> change;
    const char* unreadable;  // a file whose opening is refused; null: none
    std::string first_box;   // "": no box at start, and the read adds the job
  } cases[] = {
      {"client.dbf beside CLIENT.CDX",
       [](const std::string& d) { fs::rename(d + "/CLIENT.DBF", d + "/client.dbf"); }, nullptr, ""},
      {"PROPERTY.DBF beside property.cdx and Property.Fpt",
       [](const std::string& d) {
         fs::rename(d + "/PROPERTY.CDX", d + "/property.cdx");
         fs::rename(d + "/PROPERTY.FPT", d + "/Property.Fpt");
       },
       nullptr, ""},
      {"the CDX missing", [](const std::string& d) { fs::remove(d + "/CLIENT.CDX"); }, nullptr,
       missing_client},
      {"the DBF unreadable", [](const std::string&) {}, "CLIENT.DBF", missing_client},
      {"the CDX unreadable", [](const std::string&) {}, "CLIENT.CDX", missing_client},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir original, dir;
    for (const std::string& d : {original.path(), dir.path()}) {
      CopyTrackingTables(d);
      c.change(d);
    }
    xbase::FaultEnv env(xbase::Env::Default());
    if (c.unreadable) env.DenyOpen(dir / c.unreadable);
    RealOffice office(dir.path(), &env);
    ASSERT_EQ(office.Start(), Ended::kNormally) << office.Boxes();
    if (c.first_box.empty()) {
      EXPECT_EQ(office.Boxes(), "");
      EXPECT_EQ(office.Read(), Ended::kNormally);
      EXPECT_EQ(office.Boxes(), kAddQuestion);
      office.Close();
      const std::string check = std::string(XFR_BINARY_DIR) + "/src/dbftool check " + dir.path();
      EXPECT_EQ(std::system((check + " >/dev/null").c_str()), 0) << check;
      continue;
    }
    office.Close();
    ASSERT_FALSE(office.window.boxes.empty());
    EXPECT_EQ(office.window.boxes[0].text, c.first_box) << office.Boxes();
    ExpectFilesAsIn(original.path(), dir);
  }
}

// Writes that fail (a full disk): the user is told, and what the read could not finish leaves
// no half record behind. A write that fails halfway ends the program with the corrupt-table
// message (the index may lag its table by that record); the next start puts the index right.
// (A table another program holds locked: FailurePaths in unmeant_writes_test.cc.)
TEST(BadTables, FailedWritesLeaveOldRecordsAndNoHalfRecord) {
  struct Case {
    const char* name;
    int fail_write;              // FaultEnv::FailWrite(n), counted from the read's first write (the
                                 // journal's lines among them)
    std::string box = kCorrupt;  // after the question (the journal's: how its message ends)
  } cases[] = {
      {"disk full at the property record", 2},
      {"disk full at the property's record count", 3},
      {"disk full at the property's index", 4},
      {"disk full at the client record", 9},
      {"disk full at the invoice's index", 22},
      {"disk full at the journal's first line", 1,
       "The record was not written; the transfer stopped before it."},
      {"disk full at the journal's line after the property", 7,
       "The record was written; the transfer stopped after it."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir original, dir;
    CopyTrackingTables(dir.path());
    CopyTrackingTables(original.path());
    xbase::FaultEnv env(xbase::Env::Default());
    {
      RealOffice office(dir.path(), &env);
      ASSERT_EQ(office.Start(), Ended::kNormally);
      env.FailWrite(c.fail_write);
      // A journal that cannot be written ends the read with its own message, naming the file.
      const bool journal = c.box != kCorrupt;
      EXPECT_EQ(office.Read(), journal ? Ended::kNormally : Ended::kEndProgram) << office.Boxes();
      const std::string head =
          std::string(kAddQuestion) + " | " +
          (journal ? "The transfer journal C:\\TRK\\DATA\\TRANSFER.LOG could not" : c.box);
      EXPECT_EQ(office.Boxes().rfind(head, 0), 0u) << office.Boxes();
      EXPECT_NE(office.Boxes().find(c.box), std::string::npos);
    }
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

// The tracking program creates xfr.dat and writes its line a moment later, while the window
// looks at it: the record is shown and the file removed. A file still empty after about a second
// is reported as the empty hand-off file is.
TEST(HandOffFile, WrittenSlowlyByAnotherProgramIsShownNotLost) {
  struct Case {
    const char* first;  // what the file holds when the window looks
    const char* later;  // what the writer adds after the delay
    int delay_ms;
    std::string box;  // "": the record is shown
  } cases[] = {
      {"", "ac24-104\r\n", 5, ""},
      {"", "ac24-104\r\n", 20, ""},
      {"", "ac24-104\r\n", 50, ""},
      {"ac24-", "104\r\n", 50, ""},
      {"", "", 0, "Input past end of file.\r\nError # 62 in module SetRecordPointer."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.first) + "|" + c.later + "|" + std::to_string(c.delay_ms));
    TempDir dir;
    testing::Office o;
    PosixFileSystem files;
    PosixClock clock;
    App app(Services{&o.ini, &files, &clock, &o.window, &o.tables, nullptr, &o.instance}, "");
    MainWindow form(app);
    Initialize(app);
    frmMainForm_Load(form);
    app.config.WinDir = dir.path() + "/";
    const std::string path = dir / "xfr.dat";
    std::ofstream(path, std::ios::binary) << c.first;
    std::thread writer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(c.delay_ms));
      if (*c.later) std::ofstream(path, std::ios::binary | std::ios::app) << c.later;
    });
    Form_Paint(form);
    writer.join();
    EXPECT_EQ(o.window.boxes.empty() ? "" : o.window.boxes[0].text, c.box);
    EXPECT_EQ(form.txtPR_Street.text, c.box.empty() ? "4 Oak Ave" : "1 Main St");
    EXPECT_FALSE(fs::exists(path));
  }
}

// An empty CLIENT table (no records, an empty tag): the window loads without a client, and the
// read adds the new client as the table's first record.
TEST(BadTables, EmptyClientTableTakesTheFirstClient) {
  TempDir dir;
  CopyTrackingTables(dir.path());
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
