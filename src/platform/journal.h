// The transfer journal: TRANSFER.LOG in the tracking data directory, beside the tables, shared by
// every workstation of the office. While a transfer runs (between Begin and End), every record
// its tables write is journalled there as JSON lines (base/journal.h has the format): before the
// write the record's before-image (none for an append) with the image about to be written, and
// after the write its after-image, written after the next write's "before" line (or when the
// transfer finishes or ends). Each line is written under the table's header lock, and synced
// when the table's writes are, before the table is written. The file is made at the first line
// written, with the permission bits and group of the table being written; once a line would
// take it past a size bound it is rolled (its lines copied to TRANSFER.LOG.1, the older copies
// moved on to .2 and .3, the oldest let go) under its own lock. Undo of a read reads it back from its end, through JournalFiles.
// Implemented over the table engine by TableJournal (platform/tables/table_journal.h). Not
// thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace xfr {

// How many rolled copies of the journal are kept (TRANSFER.LOG.1 to .3).
inline constexpr int kJournalOldFiles = 3;

// The journal's files as its readers see them: file 0 is TRANSFER.LOG, file k (1 to
// kJournalOldFiles) its k-th rolled copy, older with every k. Both calls raise RuntimeError 75
// naming the file when it cannot be read.
class JournalFiles {
 public:
  virtual ~JournalFiles() = default;
  // File k's size now; false when there is no such file.
  virtual bool Size(int k, std::uint64_t* size) = 0;
  // Up to n bytes of file k from `offset` (fewer at its end).
  virtual std::string Read(int k, std::uint64_t offset, std::size_t n) = 0;
};

class TransferJournal {
 public:
  virtual ~TransferJournal() = default;

  // Starts journalling the writes of one transfer: `command` ("read", "undo") and `file_num`
  // go on every line until End. `data_dir` is the directory the tables are opened from
  // (Windows-style). Makes sure TRANSFER.LOG can be written there (or made, when it is missing:
  // nothing is made until the first line); raises RuntimeError 75 with a description that names
  // the file and what to do when it cannot, before anything is written.
  virtual void Begin(std::string_view data_dir, std::string_view command,
                     std::string_view file_num) = 0;
  // The transfer begun last ran to its end: its last write's "after" line is written (synced
  // when the tables' writes are) before the person is told. Never raises: a journal that cannot
  // write it has the transfer found unfinished at the next start.
  virtual void Finish() {}
  // Ends the transfer begun last; later writes are not journalled. Never raises.
  virtual void End() = 0;
  // The journal of `data_dir` for reading (no files at all when there is none yet).
  virtual std::unique_ptr<JournalFiles> Files(std::string_view data_dir) = 0;
};

}  // namespace xfr
