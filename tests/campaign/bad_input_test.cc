// Bad input against the real program paths: damaged or mismatched tables, a table another
// program holds locked, a disk that fills up, a hand-off file that is huge or junk. Each case
// says what the user sees and checks that nothing was lost: the records there before are byte
// for byte the same, and nothing half-written is left (the check passes or names only the damage
// the case put there).
#include <gtest/gtest.h>

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
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(offset)) << bytes;
  ASSERT_TRUE(f.good()) << path;
}

void ExpectFilesAsIn(const std::string& original, const TempDir& dir) {
  for (const auto& [name, bytes] : Files(original)) EXPECT_TRUE(Slurp(dir / name) == bytes) << name;
}

// The CLIENT table emptied: no records, an empty tag.
void EmptyClientTable(const std::string& dir) {
  const std::string dbf = dir + "/CLIENT.DBF";
  {
    auto t = xbase::table_testing::OpenOrDie(xbase::Env::Default(), dbf);
    for (const auto& [key, recno] : xbase::table_testing::WalkTag(t.get(), 0)) {
      ASSERT_TRUE(t->cdx()->Delete(0, key, recno).ok());
    }
    ASSERT_TRUE(t->cdx()->Flush().ok());
  }
  const std::uint32_t header_length = xbase::DecodeFixed16LE(Slurp(dbf).data() + 8);
  fs::resize_file(dbf, header_length);
  WriteAt(dbf, 4, std::string(4, '\0'));
  WriteAt(dbf, header_length, "\x1A");
}

// Tables as an office's share may hold them: damaged, with an index not their own, missing or
// unreadable (an open the file layer refuses, as it would for any user, root included), named in
// another case, empty. The user is told (a read, which table is missing), and nothing is lost: a
// case that cannot read writes no file; one that can adds the job, and the checks pass.
TEST(BadTables, ReadTellsTheUserAndLosesNothing) {
  const std::string missing_client = MissingTableMessage("C:\\TRK\\DATA", "CLIENT.DBF");
  struct Case {
    const char* name;
    std::function<void(const std::string& dir)> change;
    Ended ended;                       // how the start, or else the read, ended
    std::string first_box;             // the first box the user sees
    bool asks = false;                 // whether the read gets as far as the question
    const char* unreadable = nullptr;  // a file whose opening is refused
  } cases[] = {
      {"the DBF header's record length changed",
       [](const std::string& d) { WriteAt(d + "/PROPERTY.DBF", 10, "\x01"); }, Ended::kEndProgram,
       kCorrupt},
      {"the DBF cut short in its records",
       [](const std::string& d) { fs::resize_file(d + "/PROPERTY.DBF", 10000); },
       Ended::kEndProgram, kCorrupt},
      {"the header counts more records than the file holds",
       [](const std::string& d) { WriteAt(d + "/INVOICE.DBF", 4, std::string("\x23\0", 2)); },
       Ended::kEndProgram, kCorrupt},
      {"a CDX page overwritten (found at the first seek)",
       [](const std::string& d) { WriteAt(d + "/PROPERTY.CDX", 2570, "\xff\xff\xff\xff"); },
       Ended::kEndProgram, kCorrupt},
      // The existence test cannot be made, the user answers Abort: the read ends there rather
      // than ask whether to add a job it could not look for.
      {"the CDX of another table",
       [](const std::string& d) {
         fs::copy_file(d + "/CLIENT.CDX", d + "/PROPERTY.CDX",
                       fs::copy_options::overwrite_existing);
       },
       Ended::kNormally,
       "That is not an index of this table.\r\nError # 3015 in module FindRecord."},
      {"the CDX missing", [](const std::string& d) { fs::remove(d + "/CLIENT.CDX"); },
       Ended::kNormally, missing_client},
      {"the DBF unreadable", [](const std::string&) {}, Ended::kNormally, missing_client, false,
       "CLIENT.DBF"},
      {"the CDX unreadable", [](const std::string&) {}, Ended::kNormally, missing_client, false,
       "CLIENT.CDX"},
      {"client.dbf beside CLIENT.CDX",
       [](const std::string& d) { fs::rename(d + "/CLIENT.DBF", d + "/client.dbf"); },
       Ended::kNormally, kAddQuestion, true},
      {"PROPERTY.DBF beside property.cdx and Property.Fpt",
       [](const std::string& d) {
         fs::rename(d + "/PROPERTY.CDX", d + "/property.cdx");
         fs::rename(d + "/PROPERTY.FPT", d + "/Property.Fpt");
       },
       Ended::kNormally, kAddQuestion, true},
      // No records and an empty tag: the new client is the table's first record.
      {"an empty CLIENT table", EmptyClientTable, Ended::kNormally, kAddQuestion, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir original, dir;
    for (const std::string& d : {original.path(), dir.path()}) {
      CopyTrackingTables(d);
      c.change(d);
    }
    const std::string fault_before = CheckTables(dir.path());
    xbase::FaultEnv env(xbase::Env::Default());
    if (c.unreadable) env.DenyOpen(dir / c.unreadable);
    {
      RealOffice office(dir.path(), &env);
      Ended ended = office.Start();
      if (ended == Ended::kNormally) ended = office.Read();
      EXPECT_EQ(ended, c.ended) << office.Boxes();
      if (ended == Ended::kNormally) office.Close();
      ASSERT_FALSE(office.window.boxes.empty());
      EXPECT_EQ(office.window.boxes[0].text, c.first_box);
      if (!c.asks) { EXPECT_EQ(office.window.boxes.back().text, c.first_box); }
      bool asked = false;
      for (const auto& b : office.window.boxes) asked |= b.text == kAddQuestion;
      EXPECT_EQ(asked, c.asks) << office.Boxes();
    }
    if (!c.asks) {  // nothing written: every file as the change left it
      ExpectFilesAsIn(original.path(), dir);
      EXPECT_EQ(CheckTables(dir.path()), fault_before);
      continue;
    }
    const std::string check = std::string(XFR_BINARY_DIR) + "/src/dbftool check " + dir.path();
    EXPECT_EQ(std::system((check + " >/dev/null").c_str()), 0) << check;
    EXPECT_EQ(CountLive(dir.path(), "CLIENT", "CLI_NUM=NEW01"), 1);
    EXPECT_EQ(CountLive(dir.path(), "PROPERTY", "CLI_NUM=NEW01"), 1);
  }
}

// Writes that fail (a full disk): the user is told, and what the read could not finish leaves
// no half record behind. A write that fails halfway ends the program with the corrupt-table
// message; the next start finishes it from its NAME.WAL or leaves the table as it was.
// (A table another program holds locked: FailurePaths in unmeant_writes_test.cc.)
TEST(BadTables, FailedWritesLeaveOldRecordsAndNoHalfRecord) {
  struct Case {
    const char* name;
    int fail_write;  // FaultEnv::FailWrite(n), counted from the read's first write (the journal's
                     // lines among them); 0: the journal cannot be opened
    std::string box = kCorrupt;  // after the question (the journal's: how its message ends)
  } cases[] = {
      {"disk full at the property's PROPERTY.WAL", 2},
      {"disk full at the property record", 3},
      {"disk full at the property's record count", 4},
      {"disk full at the property's index", 5},
      {"disk full at the client record", 11},
      {"disk full at the invoice's index", 26},
      {"disk full at the journal's first line", 1,
       "The record was not written; the transfer stopped before it."},
      {"disk full at the journal's lines after the property", 9,
       "The record was not written; the transfer stopped before it."},
      {"the journal cannot be opened: the read stops before any write", 0,
       "TRANSFER.LOG: Permission denied). Nothing was written."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir original, dir;
    for (const std::string& d : {original.path(), dir.path()}) CopyTrackingTables(d);
    xbase::FaultEnv env(xbase::Env::Default());
    {
      RealOffice office(dir.path(), &env);
      ASSERT_EQ(office.Start(), Ended::kNormally);
      c.fail_write ? env.FailWrite(c.fail_write) : env.DenyOpen(dir / "TRANSFER.LOG");
      // A journal that cannot be written ends the read with its own message, naming the file.
      const bool journal = c.box != kCorrupt;
      EXPECT_EQ(office.Read(), journal ? Ended::kNormally : Ended::kEndProgram) << office.Boxes();
      if (journal) {
        EXPECT_FALSE(office.form().aniCopy.visible || office.form().LblMsg.visible);  // idle again
      }
      const std::string head =
          (c.fail_write ? std::string(kAddQuestion) + " | " : "") +
          (journal ? "The transfer journal C:\\TRK\\DATA\\TRANSFER.LOG " : c.box);
      EXPECT_EQ(office.Boxes().rfind(head, 0), 0u) << office.Boxes();
      EXPECT_NE(office.Boxes().find(c.box), std::string::npos);
    }
    EXPECT_EQ(ComparePreExisting(original.path(), dir.path()), "");
    if (!c.fail_write) ExpectFilesAsIn(original.path(), dir);
    {
      RealOffice next(dir.path());
      EXPECT_EQ(next.Start(), Ended::kNormally) << next.Boxes();
      EXPECT_EQ(next.Boxes(), "");
    }
    // At most the bytes of an append that stopped before its count, past the table's end.
    const std::string check = CheckTables(dir.path());
    EXPECT_TRUE(check.empty() || check.find("not counted in the header") != std::string::npos)
        << check;
    EXPECT_LE(CountLive(dir.path(), "PROPERTY", "FILE_NUM=NEW-01"), 1);
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

}  // namespace
}  // namespace xfr::campaign
