// Undo of a read and the transfer journal on real tables: undo puts back what the read left
// only where nobody wrote since, comparing and writing under the locks of every record it
// touches, and keeps a client another job names; the journal's file as the workstations share
// it: made at its first line like the table written, its last line ended or cut, rolled, and
// read from its end.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "base/journal.h"
#include "campaign/real_office.h"

namespace xfr::campaign {
namespace {

using testing::Output;

// The output of a python script of this folder on `arg`; "" and *rc = -1 when python3-dbfread
// is missing.
std::string Python(const std::string& script, const std::string& arg, int* rc) {
  Output("/usr/bin/python3 -c 'import dbfread' 2>/dev/null", rc);
  if (*rc != 0) return *rc = -1, "";
  return Output(
      "/usr/bin/python3 '" + std::string(XFR_TEST_DATA) + "/../" + script + "' '" + arg + "' 2>&1",
      rc);
}

// Another program's write of PROPERTY record 41 (the job the reads add): `fields` set, or the
// record deleted when there are none; with `held`, under the locks it holds already.
void Write(xbase::Table& t, const FieldTexts& fields, bool held = false) {
  xbase::Record change = t.NewRecord();
  if (fields.empty()) change.SetDeleted(true);
  for (const auto& [name, value] : fields) {
    ASSERT_TRUE(change.SetStored(t.FindField(name), value).ok());
  }
  ASSERT_TRUE((held ? t.WriteHeld(41, change) : t.Update(41, change)).ok());
}
std::unique_ptr<xbase::Table> Property(const std::string& dir) {
  std::unique_ptr<xbase::Table> t;
  EXPECT_TRUE(xbase::Table::Open(xbase::Env::Default(), dir + "/PROPERTY.DBF", {}, &t).ok());
  return t;
}
auto SetCity(const char* city) {
  return [city](const std::string& dir) {
    Write(*Property(dir), city ? FieldTexts{{"PR_CITY", city}} : FieldTexts{});
  };
}

constexpr char kAddLines[] =
    "read PROPERTY.DBF 41 added\n"
    "read CLIENT.DBF 16 added\n"
    "read PROPERTY.DBF 41 updated CLI_NUM\n"
    "read INVOICE.DBF 31 added\n";

TEST(Journal, UndoPutsBackTheLastReadOnlyWhereNobodyWroteSince) {
  using Job = std::pair<const char*, const char*>;  // file number and city of one read
  struct Case {
    const char* name;
    std::vector<Job> reads = {{"NEW-01", "Decatur"}};  // the last of `undo` (of all: "") undone
    UndoOutcome outcome = UndoOutcome::kRefused;
    const char* box;           // in undo's last box
    std::string journal = "";  // the journal as the JSON oracle lists it, when said
    const char* undo = "";
    std::function<void(const std::string&)> before_reads = {}, after_reads = {}, at_question = {};
    // Another program holds record 41's lock (2: and PROPERTY's header lock) when undo starts,
    // and saves PR_STREET and lets go while undo waits for it (3: holds it throughout).
    int hold = 0;
    int kept = 0;  // live records the reads added that undo leaves
    std::uint64_t roll = TableJournal::kRollBytes;
  } cases[] = {
      {.name = "add",
       .outcome = UndoOutcome::kUndone,
       .box = "record 31 of INVOICE.DBF deleted\n  record 41 of PROPERTY.DBF deleted\n  record 16 "
              "of CLIENT.DBF deleted",
       .journal = kAddLines},
      {.name = "update",
       .reads = {{"NEW-01", "Decatur"}, {"NEW-01", "Atlanta"}},
       .outcome = UndoOutcome::kUndone,
       .box = "record 41 of PROPERTY.DBF put back",
       .journal = kAddLines + std::string("read PROPERTY.DBF 41 updated PR_CITY\n")},
      {.name = "edited since",
       .box = "record 41 of PROPERTY.DBF has changed since the read of file NEW-01: its field "
              "PR_CITY is now \"Elsewhere\", the read left \"Decatur\". Nothing was undone.",
       .after_reads = SetCity("Elsewhere")},
      {.name = "edited while undo asks",
       .box = "its field PR_CITY is now \"Elsewhere\"",
       .at_question = SetCity("Elsewhere")},
      {.name = "deleted since",
       .reads = {{"NEW-01", "Decatur"}, {"NEW-01", "Atlanta"}},
       .box = "has changed since the read of file NEW-01: it is no longer there",
       .after_reads = SetCity(nullptr)},
      {.name = "saved by the tracking program while undo waits for the record's lock",
       .box = "its field PR_STREET is now \"Office Edit 77\"",
       .hold = 1},
      {.name = "updated by another workstation while undo waits for the header lock",
       .box = "its field PR_STREET is now \"Office Edit 77\"",
       .hold = 2},
      {.name = "the record's lock held for longer than a write waits",
       .box = "cannot be undone now: PROPERTY.DBF: record 41's lock is held by another program",
       .hold = 3},
      {.name = "a journal naming a field the table does not have",
       .box = "its field PR_CITY2 is now (no such field), the read left \"Decatur\"",
       .after_reads =
           [](const std::string& dir) {
             std::string text = Slurp(dir + "/TRANSFER.LOG");
             for (std::size_t at; (at = text.find("\"PR_CITY\"")) != std::string::npos;) {
               text.replace(at, 9, "\"PR_CITY2\"");
             }
             std::ofstream(dir + "/TRANSFER.LOG", std::ios::binary) << text;
           }},
      {.name = "a client another job names is kept",
       .reads = {{"NEW-01", "Decatur"}, {"NEW-02", "Decatur"}},
       .outcome = UndoOutcome::kUndone,
       .box = "record 16 of CLIENT.DBF kept: job NEW-02 names client NEW01",
       .undo = "NEW-01",
       .kept = 3},
      {.name = "an empty date stored as 00000000 goes back as it was",
       .reads = {{"24-00101", "Decatur"}},
       .outcome = UndoOutcome::kUndone,
       .box = "record 1 of PROPERTY.DBF put back",
       .before_reads =
           [](const std::string& dir) {
             std::unique_ptr<xbase::Table> t = Property(dir);
             xbase::Record change = t->NewRecord();
             ASSERT_TRUE(change.SetStored(t->FindField("PR_DFINISH"), "00000000").ok());
             ASSERT_TRUE(t->Update(1, change).ok());
             // PR_LOT padded with NULs, as some tools leave it: a field undo has no cause to
             // write keeps its bytes.
             std::fstream(dir + "/PROPERTY.DBF", std::ios::in | std::ios::out | std::ios::binary)
                     .seekp(930 + 256 + 2)
                 << std::string(4, '\0');
           }},
      {.name = "a table missing: nothing written, the table named",
       .outcome = UndoOutcome::kFailed,
       .box = "The table INVOICE.DBF cannot be opened",
       .after_reads =
           [](const std::string& dir) {
             fs::rename(dir + "/INVOICE.DBF", dir + "/INVOICE.OLD");
           }},
      {.name = "the read in rolled copies of the journal",
       .outcome = UndoOutcome::kUndone,
       .box = "record 41 of PROPERTY.DBF deleted",
       .after_reads =
           [](const std::string& dir) { EXPECT_TRUE(fs::exists(dir + "/TRANSFER.LOG.2")); },
       .roll = 2100},
      {.name = "the read's first lines rolled away",
       .box = "no longer holds all of the last read of file NEW-01",
       .roll = 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir, before;
    CopyTrackingTables(dir.path());
    if (c.before_reads) c.before_reads(dir.path());
    auto run = [&](auto command, Job job) {
      RealOffice office(dir.path(), nullptr, c.roll);
      office.dde.SetAnswer("RPT1", "offscrn|3|3", job.first);
      office.dde.SetAnswer("RPT1", "offscrn|8|1", job.second);
      EXPECT_EQ(office.Start(), Ended::kNormally);
      EXPECT_EQ(command(office), Ended::kNormally) << office.Boxes();
      office.Close();
      return office.window.boxes.back().text;
    };
    for (const Job& job : c.reads) {
      if (&job == &c.reads.back() || job.first == std::string(c.undo)) {
        if (fs::is_empty(before.path())) {
          for (const auto& [name, bytes] : Files(dir.path())) {
            std::ofstream(before.path() + "/" + name, std::ios::binary) << bytes;
          }
        }
      }
      run([](RealOffice& o) { return o.Read(); }, job);
    }
    int rc = 0;
    const std::string journal = Python("campaign/journal_oracle.py", dir.path(), &rc);
    if (rc >= 0 && !c.journal.empty()) {
      EXPECT_EQ(journal, c.journal);
    }
    if (c.after_reads) c.after_reads(dir.path());

    std::unique_ptr<xbase::Table> holder;
    if (c.hold) {
      holder = Property(dir.path());
      ASSERT_TRUE(holder->TryHoldLocks({41}, c.hold == 2).ok());
    }
    UndoOutcome outcome{};
    auto edited = Files(dir.path());
    auto undo = [&](RealOffice& o) {
      o.window.on_box = [&](const testing::ShownBox& b) {
        if (!c.at_question || b.buttons != Buttons::kYesNo) return;
        c.at_question(dir.path());
        edited = Files(dir.path());
      };
      o.clock.on_sleep = [&](std::chrono::milliseconds) {
        if (!holder || c.hold == 3) return;
        Write(*holder, {{"PR_STREET", "Office Edit 77"}}, true);
        holder.reset();
        edited = Files(dir.path());
      };
      return o.Undo(&outcome, c.undo);
    };
    const std::string box = run(undo, c.reads.back());
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_NE(box.find(c.box), std::string::npos) << box;
    if (c.outcome != UndoOutcome::kUndone) {
      EXPECT_TRUE(Files(dir.path()) == edited);
      continue;
    }
    // As before the read, but for the deleted flag of the records it added; a second undo finds
    // nothing to put back (or, in a journal rolled that often, no longer the whole read) and
    // writes nothing.
    EXPECT_EQ(ComparePreExisting(before.path(), dir.path()), "");
    EXPECT_EQ(LiveAppended(before.path(), dir.path()), c.kept);
    xbase::table_testing::ExpectConsistent(dir.path());
    const auto undone = Files(dir.path());
    run(undo, c.reads.back());
    EXPECT_EQ(outcome, c.roll < 4096 ? UndoOutcome::kRefused : UndoOutcome::kNothingToUndo);
    EXPECT_TRUE(Files(dir.path()) == undone);
  }
}

// The journal's file as the workstations share it, written through the engine's write observer
// (INVOICE record 1, one write a transfer): made at its first line with the permission bits and
// group of the table, a whole last line without its line end ended and a torn one cut, rolled
// past its bound into three copies made like it, and read from its end across them.
TEST(Journal, FileIsMadeLikeTheTableEndedRolledAndReadFromItsEnd) {
  TempDir dir;
  CopyTrackingTables(dir.path());
  const std::string table = dir.path() + "/INVOICE.DBF", log = dir.path() + "/TRANSFER.LOG";
  const gid_t group = ::geteuid() == 0 ? 65534 : ::getegid();  // root (as CI runs) gives any
  ASSERT_EQ(::chmod(table.c_str(), 0664), 0);
  ASSERT_EQ(::chown(table.c_str(), static_cast<uid_t>(-1), group), 0);
  const mode_t umask_was = ::umask(022);
  testing::FakeClock clock;
  TableJournal journal(
      [&](std::string_view, std::string_view f) { return dir.path() + "/" + std::string(f); },
      nullptr, &clock, "PC", "ann", 3000);
  std::unique_ptr<xbase::Table> invoice;
  ASSERT_TRUE(xbase::Table::Open(xbase::Env::Default(), table, {}, &invoice).ok());
  xbase::Record record = invoice->NewRecord();
  ASSERT_TRUE(invoice->Read(1, &record).ok());
  auto transfer = [&](const std::string& job) {
    journal.Begin("", "read", job);
    EXPECT_TRUE(journal.BeforeWrite(*invoice, 1, &record.bytes(), record.bytes()).ok());
    EXPECT_TRUE(journal.AfterWrite(*invoice, 1, record.bytes()).ok());
    journal.End();
  };
  // The jobs of the last `limit` transfers, the newest first, each with its number of lines (and
  // a "*" for each line that says the record was deleted).
  auto last = [&](std::size_t limit) {
    const JournalTail tail =
        ReadLastTransfers(*journal.Files(""), limit, [](const JournalLine&) { return true; });
    std::string out = tail.error + tail.note;
    for (const JournalTransfer& t : tail.transfers) {
      out += " " + t.lines.front().file_num + ":" + std::to_string(t.lines.size());
      for (const JournalLine& l : t.lines) out += l.deleted ? "*" : "";
    }
    return out;
  };
  auto made_like_the_table = [&](const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    EXPECT_EQ(st.st_mode & 0777, 0664u) << path;
    EXPECT_EQ(st.st_gid, group) << path;
  };

  journal.Begin("", "read", "J0");  // a run that writes nothing makes nothing
  journal.End();
  EXPECT_FALSE(fs::exists(log));
  transfer("J1");
  made_like_the_table(log);
  fs::resize_file(log, fs::file_size(log) - 1);  // a whole line without its line end
  record.SetDeleted(true);
  transfer("J2");
  record.SetDeleted(false);
  EXPECT_EQ(last(9), " J2:2** J1:2");
  std::ofstream(log, std::ios::app) << "{\"time\":\"2025";  // a line cut short
  EXPECT_EQ(last(9), "line 5 was cut short (left out) J2:2** J1:2");
  transfer("J3");
  EXPECT_EQ(last(9), " J3:2 J2:2** J1:2");
  for (int j = 4; j <= 20; ++j) transfer("J" + std::to_string(j));
  for (const char* k : {"", ".1", ".2", ".3"}) made_like_the_table(log + k);
  EXPECT_FALSE(fs::exists(log + ".4"));
  EXPECT_EQ(last(2), " J20:2 J19:2");
  EXPECT_EQ(last(99), " J20:2 J19:2 J18:2 J17:2 J16:2 J15:2 J14:2 J13:2 J12:2 J11:2 J10:2 J9:2 J8:2 "
                      "J7:2 J6:2 J5:2");
  // A roll cut short before it emptied the journal left a copy that begins as the journal does.
  fs::rename(log + ".2", log + ".3");
  fs::rename(log + ".1", log + ".2");
  fs::copy_file(log, log + ".1");
  EXPECT_EQ(last(99), " J20:2 J19:2 J18:2 J17:2 J16:2 J15:2 J14:2 J13:2 J12:2 J11:2 J10:2 J9:2");
  ::umask(umask_was);
  // Lines read back as written, whatever their texts hold; a line that names anything but a table
  // of the data directory, or lacks a member, is damage, named by its file and line.
  JournalLine line{"2025-06-15T12:00:00", "PC", "ann", "t1", "read", "NEW-01", "PROPERTY.DBF", 41,
                   false, false, FieldTexts{{"PR_CITY", "a\"b\\c\n\x01 \xc3\xa9"}}, {{"PR_CITY", ""}}};
  JournalLine back;
  std::string why;
  ASSERT_TRUE(DecodeJournalLine(EncodeJournalLine(line), &back, &why)) << why;
  EXPECT_EQ(EncodeJournalLine(back), EncodeJournalLine(line));
  line.table = "..\\TRK.INI";
  std::ofstream(log + ".3", std::ios::app) << EncodeJournalLine(line) << "\n";
  EXPECT_EQ(last(99), "line 9 of TRANSFER.LOG.3: table \"..\\TRK.INI\" is not a table's file name");
  std::ofstream(log + ".2", std::ios::app) << "{}\n";
  EXPECT_EQ(last(99), "line 9 of TRANSFER.LOG.2: member \"time\" missing or of the wrong kind");
  line.table = "PROPERTY.DBF";
  std::string numbered = EncodeJournalLine(line);
  numbered.replace(numbered.find(",\"command\""), 0, ",\"seq\":\"1\"");
  std::ofstream(log, std::ios::app) << numbered << "\n";
  EXPECT_NE(last(99).find(": member \"seq\" of the wrong kind"), std::string::npos);
  // A journal of one byte that is not a line is cut.
  std::ofstream(log, std::ios::trunc) << "{";
  transfer("J21");
  EXPECT_EQ(last(1), " J21:2");
}

}  // namespace
}  // namespace xfr::campaign
