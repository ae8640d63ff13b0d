// The lines of the transfer journal (TRANSFER.LOG, see platform/journal.h): one JSON object a
// line, written by the journal, read back by undo and by `dbftool journal`.
//
//   {"time":"2026-12-07T09:15:02","workstation":"FRONT","user":"ann","transfer":"...",
//    "command":"read","file_num":"24-00150","table":"PROPERTY.DBF","record":12,
//    "stage":"before","deleted":false,"before":{"FILE_NUM":"24-00150",...}|null,
//    "after":{"FILE_NUM":"24-00150",...}}
//
// A write has a "before" line (the record's before-image, null for an append, and the image
// about to be written) and, once written, an "after" line with its after-image ("before"
// omitted). "transfer" tells the lines of one transfer from those of others running at the same
// time; "deleted" is the after-image's deleted flag. Field values are their stored texts
// (FieldTexts). Any program that reads JSON can read the journal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
};

// One line, without its line end.
std::string EncodeJournalLine(const JournalLine& line);
// False, with *error saying what is wrong, for anything but a whole line as written above.
bool DecodeJournalLine(std::string_view text, JournalLine* line, std::string* error);

struct JournalText {
  std::vector<JournalLine> lines;
  // A last line cut short (a write stopped by a crash) is left out and said here.
  std::string note;
  // Any other line that does not decode: "line N: ...". The lines are then not to be used.
  std::string error;
};
JournalText ParseJournal(std::string_view text);

// The journal for a person: one block a transfer (time, workstation, user, command, file
// number), one line a write (table, record number, added / updated / deleted, whether it was
// completed) and one line a changed field (old -> new).
std::string ListJournal(const std::vector<JournalLine>& lines);

}  // namespace xfr
