// The crash campaign: one whole read (add branch: new property, new client, new invoice) is
// stopped after each of its writes in turn (the journal's lines among them), as if the machine
// had stopped there, on fresh copies of the fixture tables. At every point the records there
// before are byte for byte unchanged; undo of the read puts the tables back as they were (the
// added records only marked deleted) or refuses and writes nothing; the engine's check passes or
// names the table and the tag or record at fault, as the independent checker (when present)
// does; the next start opens the tables without a message, and the next read of the same job
// ends with one property NEW-01, one invoice and one client NEW01, all indexed.
// The independent checker runs at every third point and wherever our check finds a fault
// (XFR_CAMPAIGN_FULL=1: at every point). XFR_CAMPAIGN_LOG=FILE writes one line per point (the
// table in doc/reliability.md comes from it).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>

#include "campaign/real_office.h"
#include "platform/xbase/fault_env.h"

namespace xfr::campaign {
namespace {

using xbase::table_testing::HaveChecker;
using xbase::table_testing::RunChecker;

// One write of the counting run: its file's base name, offset and length (0: a truncate).
struct Write {
  std::string file;
  std::uint64_t offset;
  std::size_t length;
};

// The counting run: every write of a whole read, without faults.
std::vector<Write> CountWrites() {
  TempDir dir;
  CopyTrackingTables(dir.path());
  std::vector<Write> writes;
  xbase::FaultEnv env(xbase::Env::Default());
  env.on_write = [&](const std::string& path, std::uint64_t offset, std::size_t n) {
    writes.push_back({fs::path(path).filename().string(), offset, n});
  };
  RealOffice office(dir.path(), &env);
  EXPECT_EQ(office.Start(), Ended::kNormally);
  EXPECT_EQ(office.Read(), Ended::kNormally);
  EXPECT_EQ(office.Close(), Ended::kNormally);
  EXPECT_EQ(office.Boxes(), "NEW-01 was not found.  Add?");
  EXPECT_EQ(CheckTables(dir.path()), "");
  return writes;
}

// Tallies over the points, for the summary.
struct Tally {
  std::map<std::string, int> kinds;  // how many points left each outcome
  int checker_runs = 0, no_invoice = 0;
};

// One crash point: the read stopped after n writes, undo on a copy, the next start and read.
void RunPoint(int n, const std::vector<Write>& writes, Tally& tally, std::ofstream& log) {
  TempDir original, dir;
  CopyTrackingTables(original.path());
  CopyTrackingTables(dir.path());
  Ended read;
  {
    xbase::FaultEnv env(xbase::Env::Default());
    env.CrashAfter(n);
    RealOffice office(dir.path(), &env);
    office.Start();
    read = office.Read();
    office.Close();
    EXPECT_NE(read, Ended::kEscaped) << office.escaped;
  }
  const std::string check = CheckTables(dir.path());
  ++tally.kinds[check.empty() ? "consistent" : check.substr(0, check.find(':')) + ": a fault"];
  EXPECT_EQ(ComparePreExisting(original.path(), dir.path()), "");
  // A fault is named precisely: the table or index, and the record or tag.
  if (!check.empty()) {
    EXPECT_TRUE(std::regex_search(check, std::regex(R"(\.(DBF|CDX).*(record| tag ))"))) << check;
  }
  // The independent checker takes a tenth of a second.
  int checker = -2;
  std::string out;
  const char* full = std::getenv("XFR_CAMPAIGN_FULL");
  if (((full && std::string(full) == "1") || n % 3 == 0 || !check.empty()) && HaveChecker()) {
    checker = RunChecker(dir.path(), &out);
    ++tally.checker_runs;
    EXPECT_EQ(checker == 0, check.empty()) << check;
  }
  // Undo of the interrupted read, on a copy: the tables as they were before the read (the
  // records it added marked deleted), or a refusal that writes nothing.
  std::string undo_box;
  {
    TempDir copy;
    fs::copy(dir.path(), copy.path(), fs::copy_options::recursive);
    const auto left = Files(copy.path());
    RealOffice office(copy.path());
    office.Start();
    UndoOutcome undo{};
    EXPECT_EQ(office.Undo(&undo), Ended::kNormally) << office.escaped;
    office.Close();
    undo_box = office.window.boxes.empty() ? "" : office.window.boxes.back().text;
    EXPECT_NE(undo, UndoOutcome::kFailed) << undo_box;
    ++tally.kinds[undo == UndoOutcome::kUndone          ? "undo: put back"
                  : undo == UndoOutcome::kNothingToUndo ? "undo: nothing to put back"
                                                        : "undo: refused, nothing written"];
    if (undo == UndoOutcome::kRefused) {
      EXPECT_TRUE(Files(copy.path()) == left);
    } else {
      EXPECT_EQ(ComparePreExisting(original.path(), copy.path()), "") << undo_box;
      EXPECT_EQ(LiveAppended(original.path(), copy.path()), 0) << undo_box;
      const std::string after_undo = CheckTables(copy.path());
      if (after_undo.find("not counted in the header") == std::string::npos) {
        EXPECT_EQ(after_undo, "") << undo_box;
        if (checker != -2) {
          EXPECT_EQ(RunChecker(copy.path(), &out), 0) << out;
        }
      }
    }
  }
  // The next start, on the real file system, and the same read again.
  RealOffice office(dir.path());
  const Ended restart = office.Start();
  const std::string restart_boxes = office.Boxes();
  EXPECT_EQ(restart, Ended::kNormally);
  EXPECT_EQ(restart_boxes, "");
  office.window.boxes.clear();
  if (restart == Ended::kNormally) {
    office.Read();
    office.Close();
  }
  const std::string next_boxes = office.Boxes();
  // Whatever is left is consistent, but for the bytes of an append that stopped before its
  // record count: they lie past the table's end, every reader ignores them and the table's
  // next append replaces them.
  const std::string after_next = CheckTables(dir.path());
  if (after_next.find("not counted in the header") == std::string::npos) {
    EXPECT_EQ(after_next, "") << "next read: " << next_boxes;
  }
  const int properties = CountLive(dir.path(), "PROPERTY", "FILE_NUM=NEW-01"),
            clients = CountLive(dir.path(), "CLIENT", "CLI_NUM=NEW01"),
            invoices = CountLive(dir.path(), "INVOICE", "INV_NUM=NEW-01");
  EXPECT_EQ(std::pair(properties, clients), std::pair(1, 1)) << next_boxes;
  // A read that stopped after the property and before the invoice leaves the job without one:
  // the next read updates the job, and an update never adds an invoice.
  EXPECT_LE(invoices, 1) << next_boxes;
  tally.no_invoice += invoices == 0;
  if (log) {
    log << n << "\t" << (n == 0 ? "-" : writes[static_cast<std::size_t>(n - 1)].file) << "\tread "
        << EndedName(read) << "\tcheck: " << (check.empty() ? "consistent" : check)
        << "\tundo: " << undo_box
        << "\tchecker: " << (checker == -2 ? "-" : std::to_string(checker))
        << "\tnext start: " << EndedName(restart)
        << (restart_boxes.empty() ? "" : " [" + restart_boxes + "]")
        << "\tnext read: " << next_boxes
        << "\tthen: " << (after_next.empty() ? "consistent" : after_next) << " P" << properties
        << " C" << clients << " I" << invoices << "\n";
  }
}

TEST(CrashCampaign, EveryStopOfAnAddingReadLeavesOldRecordsAndANamedFault) {
  const auto started = std::chrono::steady_clock::now();
  const std::vector<Write> writes = CountWrites();
  ASSERT_GT(writes.size(), 3u) << "the read wrote (almost) nothing";
  std::ofstream log;
  if (const char* path = std::getenv("XFR_CAMPAIGN_LOG")) log.open(path);
  if (log) {
    log << "writes of a whole read:\n";
    for (std::size_t i = 0; i < writes.size(); ++i) {
      log << "  " << i + 1 << " " << writes[i].file << " @" << writes[i].offset << " "
          << (writes[i].length ? std::to_string(writes[i].length) + " bytes" : "truncate") << "\n";
    }
  }
  Tally tally;
  for (int n = 0; n <= static_cast<int>(writes.size()); ++n) {
    SCOPED_TRACE("crash after " + std::to_string(n) + " writes");
    RunPoint(n, writes, tally, log);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::string summary = std::to_string(writes.size() + 1) + " crash points, " +
                        std::to_string(tally.checker_runs) + " with the independent checker, " +
                        std::to_string(seconds) + " s:";
  for (const auto& [kind, count] : tally.kinds)
    summary += "\n  " + std::to_string(count) + "  " + kind;
  summary += "\n  after the next read: " + std::to_string(tally.no_invoice) +
             " points leave the job without its invoice";
  std::printf("%s\n", summary.c_str());
  if (log) log << summary << "\n";
}

}  // namespace
}  // namespace xfr::campaign
