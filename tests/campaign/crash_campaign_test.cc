// The crash campaign: one whole read (add branch: new property, new client, new invoice) is
// stopped after each of its writes in turn (the journal's lines among them), as if the machine
// had stopped there, on fresh copies of the fixture tables. At every point:
//   - the records that were there before are byte for byte unchanged;
//   - undo of the read puts the tables back as they were (the records added only marked
//     deleted), or refuses and writes nothing;
//   - the engine's check passes, or names the table and the tag or record at fault, and the
//     independent checker (when present) gives the same verdict;
//   - the next start of the program opens the tables without a message, and the next read of the
//     same job ends with one property NEW-01, one invoice and one client NEW01, all indexed.
//
// The ctest form runs every point when the read writes at most kQuickPoints times, else every
// fourth point plus the points on either side of each change of file; XFR_CAMPAIGN_FULL=1 runs
// every point with the independent checker at each. XFR_CAMPAIGN_LOG=FILE writes one line per
// point (the table in doc/reliability.md comes from it).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <set>

#include "campaign/real_office.h"
#include "platform/xbase/fault_env.h"

namespace xfr::campaign {
namespace {

using xbase::table_testing::HaveChecker;
using xbase::table_testing::RunChecker;

constexpr int kQuickPoints = 80;

// One write of the counting run: its file's base name, offset and length (0: a truncate).
struct Write {
  std::string file;
  std::uint64_t offset;
  std::size_t length;
};

// What one crash point left and what the next start made of it.
struct Point {
  int n = 0;               // writes that landed
  std::string last_write;  // the file of the n-th write
  Ended read = Ended::kNormally;
  std::string crash_boxes;   // boxes the interrupted run showed
  std::string escaped;       // what escaped the interrupted run, if anything
  std::string check;         // engine check after the crash ("" = consistent)
  int checker = -2;          // independent checker's exit status (-2: not run)
  std::string pre_existing;  // changes to records that were there before
  UndoOutcome undo{};        // undo of the interrupted read, on a copy
  std::string undo_box;      // what it said last
  std::string after_undo;    // what differs from the tables before the read ("" for nothing)
  Ended restart = Ended::kNormally;
  std::string restart_boxes;
  std::string next_question;                      // the question the next read asked
  std::string next_boxes;                         // every box of the next read
  std::string after_next;                         // engine check after the next read
  int properties = 0, clients = 0, invoices = 0;  // NEW-01 / NEW01 records after the next read
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

Point RunPoint(int n, const std::vector<Write>& writes, bool with_checker) {
  Point p;
  p.n = n;
  p.last_write = n == 0 ? "-" : writes[static_cast<std::size_t>(n - 1)].file;
  TempDir original, dir;
  CopyTrackingTables(original.path());
  CopyTrackingTables(dir.path());
  {
    xbase::FaultEnv env(xbase::Env::Default());
    env.CrashAfter(n);
    RealOffice office(dir.path(), &env);
    office.Start();
    p.read = office.Read();
    office.Close();
    p.crash_boxes = office.Boxes();
    p.escaped = office.escaped;
  }
  p.check = CheckTables(dir.path());
  p.pre_existing = ComparePreExisting(original.path(), dir.path());
  if (with_checker && HaveChecker()) {
    std::string out;
    p.checker = RunChecker(dir.path(), &out);
  }
  // Undo of the interrupted read, on a copy: the tables as they were before the read, or a
  // refusal that writes nothing.
  {
    TempDir copy;
    fs::copy(dir.path(), copy.path(), fs::copy_options::recursive);
    std::map<std::string, std::string> left;
    for (const auto& e : fs::directory_iterator(copy.path())) left[e.path()] = Slurp(e.path());
    RealOffice office(copy.path());
    office.Start();
    if (office.Undo(&p.undo) != Ended::kNormally) p.after_undo = "undo: " + office.escaped;
    office.Close();
    p.undo_box = office.window.boxes.empty() ? "" : office.window.boxes.back().text;
    std::string changed;
    for (const auto& [path, bytes] : left) changed += Slurp(path) != bytes ? path + " " : "";
    if (p.undo == UndoOutcome::kRefused && !changed.empty()) p.after_undo += "wrote " + changed;
    if (p.undo != UndoOutcome::kRefused) {
      p.after_undo += ComparePreExisting(original.path(), copy.path());
      if (LiveAppended(original.path(), copy.path()) != 0) p.after_undo += " live records added";
      const std::string check = CheckTables(copy.path());
      if (check.find("not counted in the header") == std::string::npos) p.after_undo += check;
      std::string out;
      if (p.checker != -2 && RunChecker(copy.path(), &out) != 0 && check.empty())
        p.after_undo += out;
    }
  }
  // The next start, on the real file system, and the same read again.
  {
    RealOffice office(dir.path());
    p.restart = office.Start();
    p.restart_boxes = office.Boxes();
    office.window.boxes.clear();
    if (p.restart == Ended::kNormally) {
      office.Read();
      office.Close();
      p.next_boxes = office.Boxes();
      p.next_question = office.window.boxes.empty() ? "" : office.window.boxes[0].text;
    }
  }
  p.after_next = CheckTables(dir.path());
  p.properties = CountLive(dir.path() + "/PROPERTY.DBF", "FILE_NUM", "NEW-01");
  p.clients = CountLive(dir.path() + "/CLIENT.DBF", "CLI_NUM", "NEW01");
  p.invoices = CountLive(dir.path() + "/INVOICE.DBF", "INV_NUM", "NEW-01");
  return p;
}

// The kind of fault a check message names, for the summary.
std::string Kind(const std::string& check) {
  if (check.empty()) return "consistent";
  std::string table = check.substr(0, check.find(':'));
  if (check.find("not counted in the header") != std::string::npos) {
    return table + ": record written, count not yet";
  }
  if (check.find("missing from the tag") != std::string::npos) {
    return table + ": last record not yet in the index";
  }
  if (check.find(" holds ") != std::string::npos &&
      check.find("whose key is") != std::string::npos) {
    return table + ": last record still indexed under its old key";
  }
  return table + ": other (" + check + ")";
}

bool Full() {
  const char* v = std::getenv("XFR_CAMPAIGN_FULL");
  return v && std::string(v) == "1";
}

// The points to run: all of 0..W, or in the quick form every fourth point, the first and last,
// and the points on either side of each change of file.
std::vector<int> Points(const std::vector<Write>& writes) {
  const int w = static_cast<int>(writes.size());
  std::set<int> points;
  for (int n = 0; n <= w; ++n) {
    if (Full() || w <= kQuickPoints || n % 4 == 0 || n == w) points.insert(n);
  }
  for (int i = 1; i < w; ++i) {
    if (writes[static_cast<std::size_t>(i)].file != writes[static_cast<std::size_t>(i - 1)].file) {
      for (int n = i - 1; n <= i + 1; ++n) points.insert(n);
    }
  }
  return {points.begin(), points.end()};
}

TEST(CrashCampaign, EveryStopOfAnAddingReadLeavesOldRecordsAndANamedFault) {
  const auto started = std::chrono::steady_clock::now();
  const std::vector<Write> writes = CountWrites();
  ASSERT_GT(writes.size(), 3u) << "the read wrote (almost) nothing";
  std::map<std::string, int> kinds;
  std::ofstream log;
  if (const char* path = std::getenv("XFR_CAMPAIGN_LOG")) log.open(path);
  if (log) {
    log << "writes of a whole read:\n";
    for (std::size_t i = 0; i < writes.size(); ++i) {
      log << "  " << i + 1 << " " << writes[i].file << " @" << writes[i].offset << " "
          << (writes[i].length ? std::to_string(writes[i].length) + " bytes" : "truncate") << "\n";
    }
  }
  const std::vector<int> points = Points(writes);
  int checker_runs = 0;
  int no_invoice = 0;
  for (int n : points) {
    SCOPED_TRACE("crash after " + std::to_string(n) + " writes");
    // The independent checker takes a tenth of a second; the quick form asks it at every third
    // point and at every point where our check finds a fault.
    const bool with_checker = Full() || n % 3 == 0;
    Point p = RunPoint(n, writes, with_checker);
    if (!with_checker && !p.check.empty() && HaveChecker()) {
      p = RunPoint(n, writes, true);
    }
    if (p.checker != -2) ++checker_runs;
    ++kinds[Kind(p.check)];

    EXPECT_NE(p.read, Ended::kOtherException) << p.escaped;
    EXPECT_EQ(p.pre_existing, "");
    EXPECT_EQ(p.after_undo, "") << p.undo_box;
    EXPECT_NE(p.undo, UndoOutcome::kFailed) << p.undo_box;
    ++kinds[p.undo == UndoOutcome::kUndone          ? "undo: put back"
            : p.undo == UndoOutcome::kNothingToUndo ? "undo: nothing to put back"
                                                    : "undo: refused, nothing written"];
    if (!p.check.empty()) {
      // Named precisely: the table or index, and the record or tag.
      EXPECT_TRUE(p.check.find(".DBF") != std::string::npos ||
                  p.check.find(".CDX") != std::string::npos)
          << p.check;
      EXPECT_TRUE(p.check.find("record") != std::string::npos ||
                  p.check.find(" tag ") != std::string::npos)
          << p.check;
    }
    if (p.checker != -2) {
      EXPECT_EQ(p.checker == 0, p.check.empty()) << p.check;
    }
    // The next start and read.
    EXPECT_EQ(p.restart, Ended::kNormally);
    EXPECT_EQ(p.restart_boxes, "");
    // Whatever is left is consistent, but for the bytes of an append that stopped before its
    // record count: they lie past the table's end, every reader ignores them and the table's
    // next append replaces them.
    if (p.after_next.find("not counted in the header") == std::string::npos) {
      EXPECT_EQ(p.after_next, "") << "next read: " << p.next_boxes;
    }
    EXPECT_EQ(p.properties, 1) << p.next_boxes;
    EXPECT_EQ(p.clients, 1) << p.next_boxes;
    // A read that stopped after the property and before the invoice leaves the job without one:
    // the next read updates the job, and an update never adds an invoice.
    EXPECT_LE(p.invoices, 1) << p.next_boxes;
    if (p.invoices == 0) ++no_invoice;
    if (log) {
      log << n << "\t" << p.last_write << "\tread " << EndedName(p.read)
          << "\tcheck: " << (p.check.empty() ? "consistent" : p.check) << "\tundo: " << p.undo_box
          << "\tchecker: " << (p.checker == -2 ? "-" : std::to_string(p.checker))
          << "\tnext start: " << EndedName(p.restart)
          << (p.restart_boxes.empty() ? "" : " [" + p.restart_boxes + "]")
          << "\tnext read: " << p.next_boxes
          << "\tthen: " << (p.after_next.empty() ? "consistent" : p.after_next) << " P"
          << p.properties << " C" << p.clients << " I" << p.invoices << "\n";
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::string summary = std::to_string(points.size()) + " of " + std::to_string(writes.size() + 1) +
                        " crash points, " + std::to_string(checker_runs) +
                        " with the independent checker, " + std::to_string(seconds) + " s:";
  for (const auto& [kind, count] : kinds) summary += "\n  " + std::to_string(count) + "  " + kind;
  summary += "\n  after the next read: " + std::to_string(no_invoice) +
             " points leave the job without its invoice";
  std::printf("%s\n", summary.c_str());
  if (log) log << summary << "\n";
}

}  // namespace
}  // namespace xfr::campaign
