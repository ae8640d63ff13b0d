// Reindex: rebuilds a table's structural index (.CDX) from its records, as FoxPro's REINDEX does,
// for an index that a check found out of step or damaged.
#pragma once

#include <cstdint>
#include <string>

#include "platform/xbase/status.h"
#include "platform/xbase/table.h"

namespace xbase {

struct ReindexResult {
  std::uint32_t records = 0;
  int tags = 0;
};

// Rebuilds every tag of the structural index of `dbf_path` (on the real file system). Each tag
// keeps its name, its place in the tag order, and its header as it is: key and FOR expressions,
// key length, unique and descending flags, collation. The keys come from the records, deleted
// ones included, a unique tag keeping the first record of each key.
//
// The whole time, the table is held under FoxPro's header lock, its whole-table lock and the
// index lock (each waited for up to options.lock_timeout_micros), so no program appends, edits
// or reads the index meanwhile. The new index is written to a file beside the old one
// ("<name>.CDX.new"), synced, checked tag by tag, and only then renamed over the old one; on any
// failure the old index is left exactly as it was and the new file removed.
//
// The tag headers must still be readable (they are where the expressions live): when they are
// not, kCorruption and nothing is changed. A tag whose key or FOR expression or collation the
// engine cannot evaluate gives kNotSupported naming the tag, likewise with nothing changed.
// A program that keeps the table open across the rebuild would keep using the old index, so the
// table must be closed everywhere else, as FoxPro's REINDEX wants it used exclusively: on Linux,
// a process this user can see with the DBF or CDX open makes it kLocked, naming the process.
Status Reindex(const std::string& dbf_path, const TableOptions& options, ReindexResult* result);

}  // namespace xbase
