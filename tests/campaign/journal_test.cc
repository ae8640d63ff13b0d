// The transfer journal and undo of a read on real tables: the journal's lines as an independent
// JSON reader sees them, undo back to the tables as they were, and undo refused (nothing written)
// when a record changed after the read.
#include <gtest/gtest.h>

#include "base/journal.h"
#include "campaign/real_office.h"

namespace xfr::campaign {
namespace {

using testing::Output;

// The output of a python script of this folder (or of dbfread_oracle.py) on `arg`; "" and
// *rc = -1 when python3-dbfread is missing.
std::string Python(const std::string& script, const std::string& arg, int* rc) {
  Output("/usr/bin/python3 -c 'import dbfread' 2>/dev/null", rc);
  if (*rc != 0) return *rc = -1, "";
  return Output(
      "/usr/bin/python3 '" + std::string(XFR_TEST_DATA) + "/../" + script + "' '" + arg + "' 2>&1",
      rc);
}

// Each table as dbfread_oracle.py reads it: live records, then deleted ones.
std::vector<std::string> OracleView(const std::string& dir) {
  std::vector<std::string> out;
  int rc = 0;
  for (const std::string& t : TableNames()) {
    out.push_back(Python("platform/xbase/dbfread_oracle.py", dir + "/" + t + ".DBF", &rc));
    EXPECT_LE(rc, 0) << out.back();
  }
  return out;
}

// The job's city as another program changes it (null: the record deleted).
void SetCity(const std::string& dir, const char* city) {
  std::unique_ptr<xbase::Table> t;
  ASSERT_TRUE(xbase::Table::Open(xbase::Env::Default(), dir + "/PROPERTY.DBF", {}, &t).ok());
  xbase::Record change = t->NewRecord();
  if (!city) change.SetDeleted(true);
  if (city) {
    ASSERT_TRUE(change.SetText(t->FindField("PR_CITY"), city).ok());
  }
  ASSERT_TRUE(t->Update(41, change).ok());
}

constexpr char kAddLines[] =
    "read PROPERTY.DBF 41 added\n"
    "read CLIENT.DBF 16 added\n"
    "read PROPERTY.DBF 41 updated CLI_NUM\n"
    "read INVOICE.DBF 31 added\n";

TEST(Journal, UndoPutsBackTheLastReadUnlessARecordChangedSince) {
  struct Case {
    const char* name;
    bool update;          // the read undone updates the job a first read added (new city)
    int edit;  // the job's city changed: 1 after the read, 2 at undo's question; 3 job deleted
    std::string journal;  // the journal as the JSON oracle lists it
    UndoOutcome outcome;
    const char* box;  // in undo's last box
  } cases[] = {
      {"add", false, 0, kAddLines, UndoOutcome::kUndone,
       "record 31 of INVOICE.DBF deleted\n  record 41 of PROPERTY.DBF deleted\n  record 16 of "
       "CLIENT.DBF deleted"},
      {"update", true, 0, kAddLines + std::string("read PROPERTY.DBF 41 updated PR_CITY\n"),
       UndoOutcome::kUndone, "record 41 of PROPERTY.DBF put back"},
      {"edited since", false, 1, kAddLines, UndoOutcome::kRefused,
       "record 41 of PROPERTY.DBF has changed since the read of file NEW-01: its field PR_CITY "
       "is now \"Elsewhere\", the read left \"Decatur\". Nothing was undone."},
      {"edited while undo asks", false, 2, kAddLines, UndoOutcome::kRefused,
       "its field PR_CITY is now \"Elsewhere\""},
      {"deleted since", true, 3, kAddLines + std::string("read PROPERTY.DBF 41 updated PR_CITY\n"),
       UndoOutcome::kRefused, "has changed since the read of file NEW-01: it is no longer there"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir, before;
    CopyTrackingTables(dir.path());
    auto run = [&](auto command, const char* city) {
      RealOffice office(dir.path());
      office.dde.SetAnswer("RPT1", "offscrn|8|1", city);
      EXPECT_EQ(office.Start(), Ended::kNormally);
      EXPECT_EQ(command(office), Ended::kNormally) << office.Boxes();
      office.Close();
      return office.window.boxes.back().text;
    };
    auto read = [](RealOffice& o) { return o.Read(); };
    if (c.update) run(read, "Decatur");
    for (const auto& [name, bytes] : Files(dir.path())) {
      std::ofstream(before.path() + "/" + name, std::ios::binary) << bytes;
    }
    run(read, c.update ? "Atlanta" : "Decatur");
    int rc = 0;
    const std::string journal = Python("campaign/journal_oracle.py", dir.path(), &rc);
    if (rc >= 0) {
      EXPECT_EQ(journal, c.journal);
    }
    if (c.edit == 1 || c.edit == 3) SetCity(dir.path(), c.edit == 1 ? "Elsewhere" : nullptr);

    UndoOutcome outcome{};
    auto edited = Files(dir.path());
    const std::string box = run(
        [&](RealOffice& o) {
          o.window.on_box = [&](const testing::ShownBox& b) {
            if (c.edit != 2 || b.buttons != Buttons::kYesNo) return;
            SetCity(dir.path(), "Elsewhere");
            edited = Files(dir.path());
          };
          return o.Undo(&outcome);
        },
        "");
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_NE(box.find(c.box), std::string::npos) << box;
    if (c.outcome == UndoOutcome::kRefused) {
      EXPECT_TRUE(Files(dir.path()) == edited);
      continue;
    }
    // As before the read, but for the deleted flag of the records it added; a second undo finds
    // nothing to put back and writes nothing.
    EXPECT_EQ(ComparePreExisting(before.path(), dir.path()), "");
    EXPECT_EQ(LiveAppended(before.path(), dir.path()), 0);
    xbase::table_testing::ExpectConsistent(dir.path());
    const auto was = OracleView(before.path()), is = OracleView(dir.path());
    for (std::size_t t = 0; t < was.size(); ++t) EXPECT_EQ(is[t].substr(0, was[t].size()), was[t]);
    const auto undone = Files(dir.path());
    run([&](RealOffice& o) { return o.Undo(&outcome); }, "");
    EXPECT_EQ(outcome, UndoOutcome::kNothingToUndo);
    EXPECT_TRUE(Files(dir.path()) == undone);
  }
}

// Lines read back as written, whatever their texts hold; a torn last line is left out with a
// note, any other damaged line refuses the whole journal.
TEST(Journal, ReaderTakesWhatTheWriterWroteAndRefusesDamage) {
  JournalLine line{"2025-06-15T12:00:00", "PC", "ann", "t1", "read", "NEW-01", "PROPERTY.DBF", 41,
                   false, false, FieldTexts{{"PR_CITY", "a\"b\\c\n\x01 \xc3\xa9"}}, {{"PR_CITY", ""}}};
  const std::string good = EncodeJournalLine(line) + "\n";
  line.table = "..\\TRK.INI";
  const std::string elsewhere = EncodeJournalLine(line) + "\n";
  JournalLine back;
  std::string why;
  ASSERT_TRUE(DecodeJournalLine(good.substr(0, good.size() - 1), &back, &why)) << why;
  EXPECT_EQ(EncodeJournalLine(back) + "\n", good);
  const struct {
    std::string text;
    std::size_t lines;
    std::string note, error;
  } cases[] = {
      {good + good, 2, "", ""},
      {good + good.substr(0, 60), 1, "line 2 was cut short (left out)", ""},
      {good.substr(0, 60) + "\n" + good, 0, "", "line 1: unterminated string at character 61"},
      {good + "{\"time\":1}\n", 0, "", "line 2: member \"time\" missing or of the wrong kind"},
      {elsewhere + good, 0, "", "line 1: table \"..\\TRK.INI\" is not a table's file name"},
  };
  for (const auto& c : cases) {
    const JournalText parsed = ParseJournal(c.text);
    EXPECT_EQ(parsed.lines.size(), c.lines) << c.text;
    EXPECT_EQ(parsed.note, c.note);
    EXPECT_EQ(parsed.error, c.error);
  }
}

}  // namespace
}  // namespace xfr::campaign
