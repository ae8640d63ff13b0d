// The lines of the transfer journal (TRANSFER.LOG, see platform/journal.h): one JSON object a
// line, written by the journal, read back from its end by undo and by `dbftool journal`.
//
//   {"time":"2026-12-07T09:15:02","workstation":"FRONT","user":"ann","transfer":"...","seq":1,
//    "command":"read","file_num":"24-00150","table":"PROPERTY.DBF","record":12,
//    "stage":"before","deleted":false,"before":{"FILE_NUM":"24-00150",...}|null,
//    "after":{"FILE_NUM":"24-00150",...}}
//
// A write has a "before" line (the record's before-image, null for an append, and the image
// about to be written) and, once written, an "after" line with its after-image ("before"
// omitted). "transfer" tells the lines of one transfer from those of others running at the same
// time; "seq" numbers its lines from 1 (lines written before it was added have none); "deleted"
// is the after-image's deleted flag. A write's "after" line is written after the next write's
// "before" line (or at the transfer's end), so that a transfer stopped between two writes shows
// a write without its "after" line. Field values are their stored texts (FieldTexts). Any
// program that reads JSON can read the journal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/journal.h"
#include "platform/table.h"

namespace xfr {

struct JournalLine {
  std::string time;  // local time, ISO 8601
  std::string workstation;
  std::string user;
  std::string transfer;  // the same on every line of one transfer
  std::string command;   // "read", "undo"
  std::string file_num;
  std::string table;  // file name, as "PROPERTY.DBF"
  std::uint32_t record = 0;
  bool after_stage = false;          // "after" line (else "before")
  bool deleted = false;              // the after-image's deleted flag
  std::optional<FieldTexts> before;  // before lines: the before-image, none for an append
  FieldTexts after;
  std::uint32_t seq = 0;  // the line's place in its transfer, from 1; 0: not said
};

// The text of field `name` in `fields` ("" when it is not there).
std::string_view TextOf(const FieldTexts& fields, std::string_view name);

// One line, without its line end.
std::string EncodeJournalLine(const JournalLine& line);
// False, with *error saying what is wrong, for anything but a whole line as written above.
bool DecodeJournalLine(std::string_view text, JournalLine* line, std::string* error);

// One transfer as the journal holds it: its lines in the order they were written. `whole` is
// false when its first lines are no longer there (they were in a rolled copy since let go).
struct JournalTransfer {
  std::vector<JournalLine> lines;
  bool whole = true;
};

struct JournalTail {
  std::vector<JournalTransfer> transfers;  // the newest (by its last line) first
  // The journal's last line cut short (a write stopped by a crash), or a line holding NUL bytes
  // (one a power cut kept only sectors of), left out.
  std::string note;
  // A line met that does not decode: "line N: ..." ("line N of TRANSFER.LOG.1: ..." in a rolled
  // copy). No transfers are given then.
  std::string error;
};

// Reads the journal from its end, file after file, for the last `limit` transfers that `pick`
// takes (asked with each transfer's last line): each with every line it has in the journal.
// It stops once it has them whole, so its time and memory go with those transfers, not with the
// journal (a transfer written before lines were numbered is whole only at the journal's start).
// Raises RuntimeError 75 when a file cannot be read.
JournalTail ReadLastTransfers(JournalFiles& files, std::size_t limit,
                              const std::function<bool(const JournalLine&)>& pick);

// What a person is told of `transfer` when a write's "before" line has no "after" line after it
// ("The last read of file X did not finish ..."): what happened and what to do; "" when every
// write it began finished. Such a write was cut short by a power loss or a crash of its computer
// (or failed, and the transfer said so then).
std::string UnfinishedTransferNote(const JournalTransfer& transfer);

// The journal for a person: one block a transfer (time, workstation, user, command, file
// number), one line a write (table, record number, added / updated / deleted, whether it was
// completed) and one line a changed field (old -> new).
std::string ListJournal(const std::vector<JournalLine>& lines);

}  // namespace xfr
