#include "transfer/undo.h"

#include <algorithm>
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

// What undo would do to each record the read wrote (kUndone, with `changes`), or why it does
// nothing (`why`): every record still as the read left it or as before it, or undo refuses.
UndoOutcome Plan(App& app, const std::vector<Written>& written, const std::string& job,
                 std::map<std::string, std::unique_ptr<Recordset>>* tables,
                 std::vector<Change>* changes, std::string* why) {
  changes->clear();
  try {
    for (const Written& w : written) {
      auto& rs = (*tables)[UCase(w.table)];
      if (!rs) rs = app.services().tables->Open("FoxPro 2.6;", DataDirectory(app), w.table, 0);
      FieldTexts now;
      const RecordState state = rs->ReadTexts(w.record, &now);
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
  } catch (const RuntimeError& e) {
    *why = e.description() + "." + kNothingWritten;
    return UndoOutcome::kFailed;
  }
  if (changes->empty()) {
    *why = "Nothing to undo: the records the last read of file " + job +
           " wrote hold what they held before it.";
    return UndoOutcome::kNothingToUndo;
  }
  return UndoOutcome::kUndone;
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

JournalScope::~JournalScope() {
  if (journal_) journal_->End();
}

std::string UndoQuestion(std::string_view file_num) {
  return "Undo the last read of file " + std::string(file_num) + "?";
}

UndoOutcome UndoLastRead(App& app, std::string_view file_num) {
  TransferJournal* journal = app.services().journal;
  if (!journal) return Say(app, UndoOutcome::kNothingToUndo, "There is no transfer journal.");
  JournalText text;
  try {
    text = ParseJournal(journal->Read(DataDirectory(app)));
  } catch (const RuntimeError& e) {
    return Say(app, UndoOutcome::kFailed, e.description() + "." + kNothingWritten);
  }
  if (!text.error.empty()) {
    return Say(app, UndoOutcome::kRefused,
               "The transfer journal " + DataDirectory(app) + "\\TRANSFER.LOG is damaged (" +
                   text.error + ")." + kNothingWritten);
  }

  // A last line cut short by a crash is left out; the person hears of it with the result.
  const std::string note = text.note.empty() ? "" : "\n(The journal's " + text.note + ".)";
  auto say = [&](UndoOutcome outcome, const std::string& message) {
    return Say(app, outcome, message + note);
  };

  // The job's last read, and every record it wrote.
  const JournalLine* last = nullptr;
  for (const JournalLine& l : text.lines) {
    if (l.command == "read" && (VbTrim(file_num).empty() || SameJob(l.file_num, file_num))) {
      last = &l;
    }
  }
  if (!last) {
    return say(UndoOutcome::kNothingToUndo,
               VbTrim(file_num).empty()
                   ? std::string("The transfer journal holds no read to undo.")
                   : "The transfer journal holds no read of file " + VbTrim(file_num) + ".");
  }
  const std::string job = last->file_num;
  const std::string transfer = last->transfer;
  const std::string made = " (made " + last->time + " on " + last->workstation + ")";
  std::vector<Written> written;
  std::size_t order = 0;
  for (const JournalLine& l : text.lines) {
    if (l.transfer != transfer || l.after_stage) continue;
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

  // Every record is checked before the question (nothing to ask when there is nothing to undo
  // or undo would refuse), and again after the answer: the office may have written meanwhile.
  std::map<std::string, std::unique_ptr<Recordset>> tables;
  std::vector<Change> changes;
  std::string why;
  for (int pass = 0; pass < 2; ++pass) {
    const UndoOutcome planned = Plan(app, written, job, &tables, &changes, &why);
    if (planned != UndoOutcome::kUndone) return say(planned, why);
    if (pass == 1) break;
    tables.clear();  // nothing held open while the question waits
    if (app.window().MessageBox(UndoQuestion(job), kAppTitle, Buttons::kYesNo) != Answer::kYes) {
      return UndoOutcome::kDeclined;
    }
  }

  // The last written first, so the tables go back through the states the read went through.
  std::sort(changes.begin(), changes.end(),
            [](const Change& a, const Change& b) { return a.written->last > b.written->last; });
  std::string done;
  try {
    JournalScope scope(app, "undo", job);
    for (const Change& change : changes) {
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
  return say(UndoOutcome::kUndone, "The last read of file " + job + made + " was undone:" + done);
}

void UndoLastRead_Click(FrmMain& form) { UndoLastRead(form.app()); }

}  // namespace xfr
