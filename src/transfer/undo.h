// The transfer journal as the commands use it: the writes of a read are journalled while a
// JournalScope lives, and "Undo last read" puts back what the last read of a job wrote.
//
// Undo reads the journal from its end for the job's last read and looks at every record it wrote
// before asking: a record that still holds what the read left is to be put back (an updated
// record gets its before-image, as its stored texts; a record the read added is marked deleted,
// its index entries kept in step); one that still holds what it held before the read (a write
// that never happened, or was undone already) is left alone; any other record (changed since, in
// the tracking program or by a later transfer) makes undo refuse, naming the table, the record
// and the field, with nothing written. After the answer it opens every table the read wrote (one
// missing: nothing written, the table named), takes the header lock of each and the lock of every
// record it wrote, all at once or none (waiting while another program holds one, up to the
// tables' lock time, then refusing and naming it), looks again and writes under those locks, so
// that nobody writes those records between the look and the write. A client the read added is
// kept while another live job names it, and the result says so. Undo's own writes are journalled
// (command "undo"), so a second undo finds nothing to put back.
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
  // The transfer ran to its end (TransferJournal::Finish).
  void Finish();
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

// At the program's start, once the tables are open (their open finished any write a power loss
// cut short): when the last transfer of this workstation in the journal did not finish, says so
// in a box, and what to do. Nothing is put back without the person asking for it. Says nothing
// when the journal cannot be read (undo names that when it is asked).
void ReportUnfinishedTransfer(App& app);

// The window's "Undo last read" (the job of the journal's last read).
void UndoLastRead_Click(FrmMain& form);

}  // namespace xfr
