// TableJournal: the transfer journal (platform/journal.h) over the table engine. It is the
// engine's write observer of every table the program opens (XbaseTableService passes it on), so
// its lines are written while the table's header lock is held (a write's "after" line after the
// next write's "before" line, or at the transfer's finish or end; each synced when the tables'
// writes are), and it appends them through the
// engine's file layer (the crash tests stop it there like any table write). Each append holds
// the journal's own lock (1 byte at 0x7FFFFFFE of TRANSFER.LOG) for the length of one write, so
// lines of several workstations never mix. Under that lock it first looks at the file's end: a
// last line without its line end is ended when it is a whole line and cut off when it is not (a
// line cut short by a crash); then, when the new line would take the file past the roll size,
// it rolls the journal. Not thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/journal.h"
#include "platform/clock.h"
#include "platform/journal.h"
#include "platform/xbase/env.h"
#include "platform/xbase/table.h"

namespace xfr {

inline constexpr std::string_view kJournalName = "TRANSFER.LOG";

// The journal's files for reading through `env`: `path_of` gives the native path of a file of the
// data directory by its name ("TRANSFER.LOG", "TRANSFER.LOG.1"; "" when there is no such
// directory); `shown` is the journal's name in messages. Each file is opened at its first use and
// kept open while the object lives.
std::unique_ptr<JournalFiles> JournalFilesIn(xbase::Env* env,
                                             std::function<std::string(std::string_view)> path_of,
                                             std::string shown);

class TableJournal final : public TransferJournal, public xbase::WriteObserver {
 public:
  // The native path of `file` in the Windows-style directory `dir`, matched without regard to
  // case when it exists, as written when it does not.
  using Resolver = std::function<std::string(std::string_view dir, std::string_view file)>;

  // The journal is rolled before a line that would take it past this size.
  static constexpr std::uint64_t kRollBytes = 4 << 20;

  TableJournal(Resolver resolver, xbase::Env* env, Clock* clock, std::string workstation,
               std::string user, std::uint64_t roll_bytes = kRollBytes);
  ~TableJournal() override;

  void Begin(std::string_view data_dir, std::string_view command,
             std::string_view file_num) override;
  void Finish() override;
  void End() override;
  std::unique_ptr<JournalFiles> Files(std::string_view data_dir) override;

  xbase::Status BeforeWrite(const xbase::Table& table, std::uint32_t recno,
                            const std::string* before, const std::string& after) override;
  xbase::Status AfterWrite(const xbase::Table& table, std::uint32_t recno,
                           const std::string& after) override;

  // After a write failed: why, when the journal made it fail (the failure is then forgotten);
  // "" when the journal had no part in it.
  std::string TakeFailure();

 private:
  xbase::Status Append(JournalLine line, const xbase::Table& table, std::uint32_t recno);
  // Every line of the journal is written here: `line` when there is one, then the "after" line
  // held back (`pending_`), each synced when the table written last (`table_`) is.
  xbase::Status AppendLines(std::optional<JournalLine> line);
  // Under the journal's lock: ends or cuts off a last line without its line end; *size is the
  // file's size afterwards.
  xbase::Status EndLastLine(std::uint64_t* size);
  // Under the journal's lock: moves its `size` bytes to TRANSFER.LOG.1 (see the .cc).
  xbase::Status Roll(std::uint64_t size);
  std::string Now();

  Resolver resolver_;
  xbase::Env* env_;
  Clock* clock_;
  std::string workstation_;
  std::string user_;
  std::uint64_t roll_bytes_;
  // While a transfer runs: the journal's path, the open file (null until the first line when the
  // file is not there yet), what every line says of the transfer, and the last line's number.
  std::string path_;
  std::unique_ptr<xbase::File> file_;
  std::string shown_;  // its Windows-style path, for messages
  JournalLine transfer_;
  std::string failure_;
  // The last table written (its path, and whether its writes are synced), and the "after" line
  // of its last write, written with the next line.
  std::string table_;
  bool sync_ = false;
  std::optional<JournalLine> pending_;
};

}  // namespace xfr
