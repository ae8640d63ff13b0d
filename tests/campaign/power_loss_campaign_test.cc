// The power-loss campaign of a whole transfer: a read (add branch: new property, new client, new
// invoice) and then its undo, on copies of the fixture tables through the recording FaultEnv,
// every write and sync logged. From the log come the disk states a power cut can leave (Land, as
// in the engine's campaign: at every point, everything since each file's last sync landed or
// lost, and seeded mixes of sectors and sizes). Each state is started as the next start does
// (the tables' write opens finish what their NAME.WAL holds); both checkers pass; every record is
// as before the transfer or as after it, or the start says the transfer did not finish and undo
// then puts the job back; no other record changes. XFR_POWER_LOSS_FULL=1: 40 mixes a point and
// the independent checker on every state.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "campaign/real_office.h"
#include "platform/xbase/power_loss.h"

namespace xfr::campaign {
namespace {

using Op = xbase::FaultEnv::Op;

// Every record of `before` as it was in `now`, and every record added since deleted.
bool AsBefore(const TableDump& before, const TableDump& now) {
  for (const auto& [name, rows] : now) {
    const auto& old = before.at(name);
    if (rows.size() < old.size() || !std::equal(old.begin(), old.end(), rows.begin())) return false;
    for (std::size_t r = old.size(); r < rows.size(); ++r) {
      if (rows[r][0] != "*") return false;
    }
  }
  return true;
}

TEST(PowerLoss, ATransferCutAnywhereIsWholeOrToldAndUndone) {
  const bool full = std::getenv("XFR_POWER_LOSS_FULL") != nullptr;
  TempDir dir;
  CopyTrackingTables(dir.path());
  const xbase::table_testing::Files start = Files(dir.path());
  const TableDump before = DumpTables(dir.path());
  xbase::FaultEnv env(xbase::Env::Default());
  env.record = true;
  UndoOutcome outcome{};
  std::vector<std::size_t> ends;  // where the read's log and the undo's end
  TableDump after_read;
  for (bool undo : {false, true}) {
    RealOffice office(dir.path(), &env);
    ASSERT_EQ(office.Start(), Ended::kNormally);
    ASSERT_EQ(undo ? office.Undo(&outcome) : office.Read(), Ended::kNormally) << office.Boxes();
    ends.push_back(env.log.size());
    office.Close();
    if (!undo) after_read = DumpTables(dir.path());
  }
  ASSERT_EQ(outcome, UndoOutcome::kUndone);
  const std::vector<Op> log = env.log;

  // The barriers: a table file is written only once the journal's lines are synced, and so is
  // the journal when a transfer ends. Then the disk states the log can leave.
  bool journal_unsynced = false;
  for (std::size_t i = 0; i < log.size(); ++i) {
    const bool journal = xbase::BaseName(log[i].path) == "TRANSFER.LOG";
    if (log[i].kind == Op::kWrite && journal) journal_unsynced = true;
    if (log[i].kind == Op::kSync && journal) journal_unsynced = false;
    EXPECT_TRUE(journal || log[i].kind != Op::kWrite || !journal_unsynced) << "op " << i;
    EXPECT_TRUE(!journal_unsynced || (i + 1 != ends[0] && i + 1 != ends[1])) << "op " << i;
  }
  int states = 0, whole = 0, told = 0;
  std::mt19937 rng(34);
  for (std::size_t cut = 0; cut <= log.size(); ++cut) {
    for (const auto& choose : xbase::table_testing::Choices(full ? 40 : 1, rng)) {
      SCOPED_TRACE("cut " + std::to_string(cut) + " of " + std::to_string(log.size()));
      TempDir next;
      for (const auto& [name, bytes] : xbase::table_testing::Land(start, log, cut, choose)) {
        testing::WriteFile(next / name, bytes);
      }
      RealOffice office(next.path());
      ASSERT_EQ(office.Start(), Ended::kNormally) << office.Boxes();
      ASSERT_EQ(office.Activate(), Ended::kNormally) << office.Boxes();
      const std::string said = office.Boxes();
      office.Close();
      EXPECT_EQ(CheckTables(next.path()), "");
      if (xbase::table_testing::HaveChecker() && (full || states % 40 == 0)) {
        std::string out;
        EXPECT_EQ(xbase::table_testing::RunChecker(next.path(), &out), 0) << out;
      }
      ++states;
      const TableDump now = DumpTables(next.path());
      if (said.empty()) {  // as before the transfer cut, or as after it
        EXPECT_TRUE(cut <= ends[0] ? now == before || now == after_read
                                   : now == after_read || AsBefore(before, now))
            << ::testing::PrintToString(Changes(before, now));
        ++whole;
        continue;
      }
      ++told;
      EXPECT_EQ(said.rfind("The last ", 0), 0u) << said;
      EXPECT_NE(said.find(" of file NEW-01 (made "), std::string::npos) << said;
      RealOffice again(next.path());
      ASSERT_EQ(again.Start(), Ended::kNormally);
      ASSERT_EQ(again.Undo(&outcome), Ended::kNormally);
      EXPECT_TRUE(outcome == UndoOutcome::kUndone || outcome == UndoOutcome::kNothingToUndo)
          << again.Boxes();
      again.Close();
      EXPECT_TRUE(AsBefore(before, DumpTables(next.path()))) << said;
      EXPECT_EQ(CheckTables(next.path()), "");
    }
  }
  std::printf("power-loss campaign of a read and its undo: %zu log entries, %d states: %d whole, "
              "%d told as cut and undone, none lost\n", log.size(), states, whole, told);
  EXPECT_GT(told, 0);
}

}  // namespace
}  // namespace xfr::campaign
