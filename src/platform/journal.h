// The transfer journal: TRANSFER.LOG in the tracking data directory, beside the tables, shared by
// every workstation of the office. While a transfer runs (between Begin and End), every record
// its tables write is journalled there as JSON lines (base/journal.h has the format): before the
// write the record's before-image (none for an append) with the image about to be written, and
// after the write its after-image, each line under the table's header lock and flushed before
// the table is written. Undo of a read reads it back. Implemented over the table engine by
// TableJournal (platform/tables/table_journal.h). Not thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace xfr {

class TransferJournal {
 public:
  virtual ~TransferJournal() = default;

  // Starts journalling the writes of one transfer: `command` ("read", "undo") and `file_num`
  // go on every line until End. `data_dir` is the directory the tables are opened from
  // (Windows-style). Creates TRANSFER.LOG there when missing and makes sure it can be written;
  // raises RuntimeError 75 with a description that names the file and what to do when it
  // cannot, before anything is written.
  virtual void Begin(std::string_view data_dir, std::string_view command,
                     std::string_view file_num) = 0;
  // Ends the transfer begun last; later writes are not journalled. Never raises.
  virtual void End() = 0;
  // The whole journal of `data_dir`; "" when there is none. Raises 75 when it cannot be read.
  virtual std::string Read(std::string_view data_dir) = 0;
};

}  // namespace xfr
