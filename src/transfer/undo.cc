#include "transfer/undo.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "base/journal.h"
#include "base/text.h"
#include "platform/runtime_error.h"

namespace xfr {

namespace {

// The data directory as the tables are opened from it: without its trailing backslash.
std::string DataDirectory(const App& app) {
  std::string dir = app.config.DataDir;
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  return dir;
}

constexpr const char* kClientTable = "CLIENT.DBF";
constexpr const char* kPropertyTable = "PROPERTY.DBF";
// How long undo waits for the locks another program holds, as long as a table write waits.
constexpr double kLockSeconds = 3;

bool SameJob(std::string_view a, std::string_view b) {
  return UCase(VbTrim(a)) == UCase(VbTrim(b));
}

// One record the read wrote: the images it went through, the first its before-image (none for
// an append), and where its last write stands among the read's writes.
struct Written {
  std::string table;
  std::uint32_t record = 0;
  std::vector<std::optional<FieldTexts>> images;
  std::size_t last = 0;
};

// What undo does to one record, decided before anything is written.
struct Change {
  const Written* written;
  FieldTexts fields;  // the fields to put back
  bool delete_it = false;
};

// Whether the record as it is now (state and fields) is `image` (none: not there or deleted).
bool Holds(RecordState state, const FieldTexts& now, const std::optional<FieldTexts>& image) {
  if (!image) return state != RecordState::kLive;
  if (state != RecordState::kLive) return false;
  for (const auto& [name, value] : *image) {
    bool same = false;
    for (const auto& [n, v] : now) {
      if (n == name) same = v == value;
    }
    if (!same) return false;
  }
  return true;
}

std::string Describe(const Written& w) {
  return "record " + std::to_string(w.record) + " of " + w.table;
}

// Why the record is not what the read left: the first field that differs.
std::string Changed(const Written& w, RecordState state, const FieldTexts& now,
                    std::string_view file_num) {
  const std::string head =
      Describe(w) + " has changed since the read of file " + std::string(file_num);
  const std::optional<FieldTexts>& left = w.images.back();
  if (state != RecordState::kLive || !left) return head + ": it is no longer there";
  for (const auto& [name, value] : *left) {
    std::string current = "(no such field)";
    for (const auto& [n, v] : now) {
      if (n == name) current = "\"" + v + "\"";
    }
    if (current != "\"" + value + "\"") {
      return head + ": its field " + name + " is now " + current + ", the read left \"" + value +
             "\"";
    }
  }
  return head;
}

constexpr const char* kNothingWritten = " Nothing was undone.";

// The tables undo writes, by their names upper-cased.
using Tables = std::map<std::string, std::unique_ptr<Recordset>>;

// Opens `table` unless it is open; one that cannot be opened raises, naming it.
Recordset& Table(App& app, Tables* tables, const std::string& table) {
  auto& rs = (*tables)[UCase(table)];
  if (rs) return *rs;
  try {
    rs = app.services().tables->Open("FoxPro 2.6;", DataDirectory(app), table, 0);
  } catch (const RuntimeError& e) {
    throw RuntimeError(e.number(), "The table " + table + " cannot be opened (" +
                                       VbTrim(e.description()) + ")");
  }
  return *rs;
}

// What undo would do to each record the read wrote (kUndone, with `changes`), or why it does
// nothing (`why`): every record still as the read left it or as before it, or undo refuses.
// Every table is opened first, so that one missing means nothing is written.
UndoOutcome Plan(App& app, const std::vector<Written>& written, const std::string& job,
                 Tables* tables, std::vector<Change>* changes, std::string* why) {
  changes->clear();
  for (const Written& w : written) Table(app, tables, w.table);
  for (const Written& w : written) {
    FieldTexts now;
    const RecordState state = Table(app, tables, w.table).ReadTexts(w.record, &now);
    std::size_t k = w.images.size();
    while (k-- > 0 && !Holds(state, now, w.images[k])) {
    }
    if (k == static_cast<std::size_t>(-1)) {
      *why = Changed(w, state, now, job) + "." + kNothingWritten;
      return UndoOutcome::kRefused;
    }
    if (k == 0) continue;  // as before the read: that write never happened, or was undone
    Change change{&w, {}, !w.images[0]};
    if (w.images[0]) {
      for (const auto& [name, value] : *w.images[0]) {
        for (const auto& [n, v] : now) {
          if (n == name && v != value) change.fields.emplace_back(name, value);
        }
      }
    }
    changes->push_back(std::move(change));
  }
  if (changes->empty()) {
    *why = "Nothing to undo: the records the last read of file " + job +
           " wrote hold what they held before it.";
    return UndoOutcome::kNothingToUndo;
  }
  return UndoOutcome::kUndone;
}

// Takes the locks of every record the read wrote and the header locks of their tables, table by
// table in the order of their names, all of them or none: while another program holds one,
// tries again until the tables' lock time is up. "" once they are held, else which lock another
// program holds.
std::string LockAll(App& app, const std::vector<Written>& written, Tables* tables) {
  std::map<std::string, std::vector<std::uint32_t>> records;
  for (const Written& w : written) records[UCase(w.table)].push_back(w.record);
  Clock* clock = app.services().clock;
  const double until = clock ? clock->MonotonicSeconds() + kLockSeconds : 0;
  for (;;) {
    std::string busy;
    std::vector<Recordset*> held;
    for (const auto& [name, recnos] : records) {
      if (!(*tables)[name]->TryLockRecords(recnos, &busy)) break;
      held.push_back((*tables)[name].get());
    }
    if (busy.empty()) return "";
    for (Recordset* rs : held) rs->UnlockRecords();
    if (!clock || clock->MonotonicSeconds() >= until) return busy;
    clock->Sleep(std::chrono::milliseconds(5));
  }
}

bool IsClient(const Change& change) {
  return change.delete_it && UCase(change.written->table) == kClientTable;
}

// The job of a live property that names the client the read added (`change`), "" when none does.
std::string JobNamingClient(App& app, Tables* tables, const Change& change) {
  Recordset& property = Table(app, tables, kPropertyTable);
  property.SetIndex("CLI_NUM");
  property.Seek("=", std::string(TextOf(*change.written->images.back(), "CLI_NUM")));
  return property.NoMatch() ? "" : VbTrim(ValueText(property.GetField("FILE_NUM")));
}

UndoOutcome Say(App& app, UndoOutcome outcome, const std::string& text) {
  app.window().MessageBox(text, kAppTitle, Buttons::kOk);
  return outcome;
}

}  // namespace

JournalScope::JournalScope(App& app, std::string_view command, std::string_view file_num)
    : journal_(app.services().journal) {
  if (journal_) journal_->Begin(DataDirectory(app), command, file_num);
}

void JournalScope::Finish() {
  if (journal_) journal_->Finish();
}

JournalScope::~JournalScope() {
  if (journal_) journal_->End();
}

std::string UndoQuestion(std::string_view file_num) {
  return "Undo the last read of file " + std::string(file_num) + "?";
}

UndoOutcome UndoLastRead(App& app, std::string_view file_num) {
  TransferJournal* journal = app.services().journal;
  if (!journal) return Say(app, UndoOutcome::kNothingToUndo, "There is no transfer journal.");
  // The journal is read from its end, only as far back as the read to undo goes.
  const std::string wanted = VbTrim(file_num);
  JournalTail tail;
  try {
    tail = ReadLastTransfers(*journal->Files(DataDirectory(app)), 1, [&](const JournalLine& l) {
      return l.command == "read" && (wanted.empty() || SameJob(l.file_num, wanted));
    });
  } catch (const RuntimeError& e) {
    return Say(app, UndoOutcome::kFailed, e.description() + "." + kNothingWritten);
  }
  if (!tail.error.empty()) {
    return Say(app, UndoOutcome::kRefused,
               "The transfer journal " + DataDirectory(app) + "\\TRANSFER.LOG is damaged (" +
                   tail.error + ")." + kNothingWritten);
  }

  // A last line cut short by a crash is left out; the person hears of it with the result.
  const std::string note = tail.note.empty() ? "" : "\n(The journal's " + tail.note + ".)";
  auto say = [&](UndoOutcome outcome, const std::string& message) {
    return Say(app, outcome, message + note);
  };
  if (tail.transfers.empty()) {
    return say(UndoOutcome::kNothingToUndo,
               wanted.empty() ? std::string("The transfer journal holds no read to undo.")
                              : "The transfer journal holds no read of file " + wanted + ".");
  }

  // The job's last read, and every record it wrote.
  const JournalTransfer& read = tail.transfers.front();
  const JournalLine& last = read.lines.back();
  const std::string job = last.file_num;
  const std::string made = " (made " + read.lines.front().time + " on " + last.workstation + ")";
  if (!read.whole) {
    return say(UndoOutcome::kRefused,
               "The transfer journal no longer holds all of the last read of file " + job + made +
                   ": its first lines went with an old copy of the journal." + kNothingWritten);
  }
  std::vector<Written> written;
  std::size_t order = 0;
  for (const JournalLine& l : read.lines) {
    if (l.after_stage) continue;
    ++order;
    Written* w = nullptr;
    for (Written& x : written) {
      if (x.record == l.record && UCase(x.table) == UCase(l.table)) w = &x;
    }
    if (!w) {
      written.push_back(Written{l.table, l.record, {l.before}, 0});
      w = &written.back();
    }
    w->images.push_back(l.after);
    w->last = order;
  }

  // Every record is looked at before the question (nothing to ask when there is nothing to undo
  // or undo would refuse); after the answer undo takes the locks of every record it may write,
  // looks again and writes under them, so that nobody writes those records in between.
  Tables tables;
  std::vector<Change> changes;
  std::string why;
  try {
    const UndoOutcome planned = Plan(app, written, job, &tables, &changes, &why);
    if (planned != UndoOutcome::kUndone) return say(planned, why);
  } catch (const RuntimeError& e) {
    return say(UndoOutcome::kFailed, e.description() + "." + kNothingWritten);
  }
  tables.clear();  // nothing held open while the question waits
  if (app.window().MessageBox(UndoQuestion(job), kAppTitle, Buttons::kYesNo) != Answer::kYes) {
    return UndoOutcome::kDeclined;
  }
  std::optional<JournalScope> scope;
  try {
    scope.emplace(app, "undo", job);
    for (const Written& w : written) Table(app, &tables, w.table);
    const std::string busy = LockAll(app, written, &tables);
    if (!busy.empty()) {
      return say(UndoOutcome::kRefused, "The last read of file " + job +
                                            " cannot be undone now: " + busy +
                                            " (someone may be editing it; try again later)." +
                                            kNothingWritten);
    }
    const UndoOutcome planned = Plan(app, written, job, &tables, &changes, &why);
    if (planned != UndoOutcome::kUndone) return say(planned, why);
    if (std::any_of(changes.begin(), changes.end(), IsClient)) {
      Table(app, &tables, kPropertyTable).SetIndex("CLI_NUM");
    }
  } catch (const RuntimeError& e) {
    return say(UndoOutcome::kFailed, e.description() + "." + kNothingWritten);
  }

  // The last written first, so the tables go back through the states the read went through; a
  // client the read added comes last, once the job no longer names it, and is kept while
  // another job names it.
  std::sort(changes.begin(), changes.end(),
            [](const Change& a, const Change& b) { return a.written->last > b.written->last; });
  std::stable_partition(changes.begin(), changes.end(),
                        [](const Change& c) { return !IsClient(c); });
  std::string done, kept;
  try {
    for (const Change& change : changes) {
      const std::string other = IsClient(change) ? JobNamingClient(app, &tables, change) : "";
      if (!other.empty()) {
        kept += "\n  " + Describe(*change.written) + " kept: job " + other + " names client " +
                std::string(TextOf(*change.written->images.back(), "CLI_NUM"));
        continue;
      }
      tables[UCase(change.written->table)]->Restore(change.written->record, change.fields,
                                                    change.delete_it);
      done += "\n  " + Describe(*change.written) + (change.delete_it ? " deleted" : " put back");
    }
  } catch (const RuntimeError& e) {
    return say(UndoOutcome::kFailed,
               "Undo of the last read of file " + job + " stopped: " + e.description() + "." +
                   (done.empty() ? std::string(kNothingWritten)
                                 : "\nPut back before it stopped (undo again to finish):" + done));
  }
  scope->Finish();
  if (done.empty()) {
    return say(UndoOutcome::kNothingToUndo, "Nothing to undo: of what the last read of file " +
                                                job + made + " wrote, only this is left:" + kept);
  }
  return say(UndoOutcome::kUndone,
             "The last read of file " + job + made + " was undone:" + done + kept);
}

void ReportUnfinishedTransfer(App& app) {
  TransferJournal* journal = app.services().journal;
  if (!journal) return;
  const std::string workstation = app.services().files->WorkstationName();
  JournalTail tail;
  try {
    tail = ReadLastTransfers(*journal->Files(DataDirectory(app)), 1,
                             [&](const JournalLine& l) { return l.workstation == workstation; });
  } catch (const RuntimeError&) {
    return;
  }
  if (tail.transfers.empty()) return;
  const std::string note = UnfinishedTransferNote(tail.transfers.front());
  if (!note.empty()) app.window().MessageBox(note, kAppTitle, Buttons::kOk);
}

void UndoLastRead_Click(FrmMain& form) { UndoLastRead(form.app()); }

}  // namespace xfr
