// TableJournal: the transfer journal (platform/journal.h) over the table engine. It is the
// engine's write observer of every table the program opens (XbaseTableService passes it on), so
// its lines are written while the table's header lock is held, and it appends them through the
// engine's file layer (the crash tests stop it there like any table write). Each append holds
// the journal's own lock (1 byte at 0x7FFFFFFE of TRANSFER.LOG) for the length of one write, so
// lines of several workstations never mix; a line cut short by a crash is cut off by the next
// append. Not thread-safe.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/journal.h"
#include "platform/clock.h"
#include "platform/journal.h"
#include "platform/xbase/env.h"
#include "platform/xbase/table.h"

namespace xfr {

inline constexpr std::string_view kJournalName = "TRANSFER.LOG";

class TableJournal final : public TransferJournal, public xbase::WriteObserver {
 public:
  // The native path of `file` in the Windows-style directory `dir`, matched without regard to
  // case when it exists, as written when it does not.
  using Resolver = std::function<std::string(std::string_view dir, std::string_view file)>;

  TableJournal(Resolver resolver, xbase::Env* env, Clock* clock, std::string workstation,
               std::string user);
  ~TableJournal() override;

  void Begin(std::string_view data_dir, std::string_view command,
             std::string_view file_num) override;
  void End() override;
  std::string Read(std::string_view data_dir) override;

  xbase::Status BeforeWrite(const xbase::Table& table, std::uint32_t recno,
                            const std::string* before, const std::string& after) override;
  xbase::Status AfterWrite(const xbase::Table& table, std::uint32_t recno,
                           const std::string& after) override;

  // After a write failed: why, when the journal made it fail (the failure is then forgotten);
  // "" when the journal had no part in it.
  std::string TakeFailure();

 private:
  xbase::Status Append(JournalLine line, const xbase::Table& table, std::uint32_t recno);
  xbase::Status AppendLine(JournalLine line, const xbase::Table& table, std::uint32_t recno);
  std::string Now();

  Resolver resolver_;
  xbase::Env* env_;
  Clock* clock_;
  std::string workstation_;
  std::string user_;
  // While a transfer runs: the open journal, its path and what every line says of the transfer.
  std::unique_ptr<xbase::File> file_;
  std::string path_;
  std::string shown_;  // its Windows-style path, for messages
  JournalLine transfer_;
  std::string failure_;
};

}  // namespace xfr
