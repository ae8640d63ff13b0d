// The transfer journal as the commands use it: the writes of a read are journalled while a
// JournalScope lives, and "Undo last read" puts back what the last read of a job wrote.
//
// Undo finds the job's last read in the journal and checks every record it wrote before writing
// anything: a record that still holds what the read left is put back (an updated record gets its
// before-image, a record the read added is marked deleted, its index entries kept in step); one
// that still holds what it held before the read (a write that never happened, or was undone
// already) is left alone; any other record (changed since, in the tracking program or by a later
// transfer) makes undo refuse, naming the table, the record and the field, with nothing written.
// Undo's own writes are journalled (command "undo"), so a second undo finds nothing to put back.
#pragma once

#include <string>
#include <string_view>

#include "form/main_window.h"

namespace xfr {

// Journals the table writes made while it lives under `command` and `file_num` (nothing when
// the program runs without a journal). Raises RuntimeError 75, naming the journal and what to
// do, when the journal cannot be written; nothing has been written then.
class JournalScope {
 public:
  JournalScope(App& app, std::string_view command, std::string_view file_num);
  ~JournalScope();
  JournalScope(const JournalScope&) = delete;
  JournalScope& operator=(const JournalScope&) = delete;

 private:
  TransferJournal* journal_;
};

enum class UndoOutcome { kUndone, kDeclined, kNothingToUndo, kRefused, kFailed };

// "Undo the last read of file " + file number + "?"
std::string UndoQuestion(std::string_view file_num);

// "Undo last read": finds the last read of `file_num` (trimmed, without regard to case; "" for
// the last read in the journal), asks the Yes/No question naming the job (not when there is
// nothing to undo or undo would refuse), checks again, undoes it and says in a box what was put
// back or why nothing was. Runs on the window's thread.
UndoOutcome UndoLastRead(App& app, std::string_view file_num = "");

// The window's "Undo last read" (the job of the journal's last read).
void UndoLastRead_Click(FrmMain& form);

}  // namespace xfr
