// XbaseTableService: the program's table connections (TableService / Recordset of table.h) over
// the FoxPro table engine of platform/xbase. Engine failures become the run-time errors the
// program expects (table.h lists them). Not thread-safe.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/table.h"
#include "platform/tables/table_journal.h"
#include "platform/xbase/env.h"

namespace xfr {

class XbaseTableService final : public TableService {
 public:
  // Turns a Windows-style directory and a file name into the native path of the file; an empty
  // result when there is no such file.
  using Resolver = std::function<std::string(std::string_view directory, std::string_view file)>;

  // How the tables are written: kSynced (each write whole through NAME.WAL, synced, and so each
  // journal line) is how the program always writes; kUnsynced is there only for the benchmarks
  // that measure what those barriers cost.
  enum class Writes { kSynced, kUnsynced };

  // env: the engine's file layer (nullptr: the real file system); journal: told of every write
  // (nullptr: nothing is journalled).
  explicit XbaseTableService(Resolver resolver, xbase::Env* env = nullptr,
                             TableJournal* journal = nullptr, Writes writes = Writes::kSynced);

  std::unique_ptr<Recordset> Open(std::string_view connect, std::string_view database,
                                  std::string_view record_source, int recordset_type) override;

 private:
  Resolver resolver_;
  xbase::Env* env_;
  TableJournal* journal_;
  Writes writes_;
};

}  // namespace xfr
