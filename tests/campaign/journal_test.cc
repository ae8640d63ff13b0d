// The transfer journal and undo of a read on real tables: the journal's lines as an independent
// JSON reader sees them, undo back to the tables as they were, and undo refused (nothing written)
// when a record changed after the read.
#include <gtest/gtest.h>

#include "campaign/real_office.h"

namespace xfr::campaign {
namespace {

using xbase::table_testing::HaveChecker;
using xbase::table_testing::RunChecker;
using xbase::table_testing::RunCommand;

std::map<std::string, std::string> Files(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir)) files[e.path().filename()] = Slurp(e.path());
  return files;
}

// The output of a python script of this folder (or of dbfread_oracle.py) on `arg`; "" and
// *rc = -1 when python3-dbfread is missing.
std::string Python(const std::string& script, const std::string& arg, int* rc) {
  RunCommand("/usr/bin/python3 -c 'import dbfread' 2>/dev/null", rc);
  if (*rc != 0) return *rc = -1, "";
  return RunCommand("/usr/bin/python3 '" + std::string(XFR_TEST_DATA) + "/../" + script + "' '" +
                        arg + "' 2>&1",
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

void SetCity(const std::string& dir, const char* city) {
  std::unique_ptr<xbase::Table> t;
  ASSERT_TRUE(xbase::Table::Open(xbase::Env::Default(), dir + "/PROPERTY.DBF", {}, &t).ok());
  xbase::Record change = t->NewRecord();
  ASSERT_TRUE(change.SetText(t->FindField("PR_CITY"), city).ok());
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
    bool update;      // the read undone updates the job a first read added (new city)
    bool edit_after;  // the job's city is changed in the tables after the read
    std::string journal;  // the journal as the JSON oracle lists it
    UndoOutcome outcome;
    const char* box;  // in undo's last box
  } cases[] = {
      {"add", false, false, kAddLines, UndoOutcome::kUndone,
       "record 31 of INVOICE.DBF deleted\n  record 41 of PROPERTY.DBF deleted\n  record 16 of "
       "CLIENT.DBF deleted"},
      {"update", true, false, kAddLines + std::string("read PROPERTY.DBF 41 updated PR_CITY\n"),
       UndoOutcome::kUndone, "record 41 of PROPERTY.DBF put back"},
      {"edited since", false, true, kAddLines, UndoOutcome::kRefused,
       "record 41 of PROPERTY.DBF has changed since the read of file NEW-01: its field PR_CITY "
       "is now \"Elsewhere\", the read left \"Decatur\". Nothing was undone."},
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
    if (c.edit_after) SetCity(dir.path(), "Elsewhere");

    UndoOutcome outcome{};
    const auto edited = Files(dir.path());
    const std::string box = run([&](RealOffice& o) { return o.Undo(&outcome); }, "");
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
    EXPECT_EQ(CheckTables(dir.path()), "");
    std::string out;
    if (HaveChecker()) {
      EXPECT_EQ(RunChecker(dir.path(), &out), 0) << out;
    }
    const auto was = OracleView(before.path()), is = OracleView(dir.path());
    for (std::size_t t = 0; t < was.size(); ++t) EXPECT_EQ(is[t].substr(0, was[t].size()), was[t]);
    const auto undone = Files(dir.path());
    run([&](RealOffice& o) { return o.Undo(&outcome); }, "");
    EXPECT_EQ(outcome, UndoOutcome::kNothingToUndo);
    EXPECT_TRUE(Files(dir.path()) == undone);
  }
}

}  // namespace
}  // namespace xfr::campaign
