// Write-ahead for the engine's synced writes (TableOptions::sync): one table write (an append, an
// edit, the open-time catch-up) reaches the disk whole or not at all, whatever a power loss keeps.
//
// A power loss may keep any of the writes the system had not synced yet, in any order, a sector
// at a time. No order of writes in place keeps a table whole then: a record that straddles two
// sectors, a key moved from one leaf to another, a leaf split (the old leaf, its new sibling and
// their parent) each need several sectors to land together. So a synced write goes through a
// small file beside the table, NAME.WAL beside NAME.DBF:
//
//   1. the write is made into StagedFiles, which hold its bytes back (reads through them see
//      them), so a write that fails half-way writes nothing;
//   2. CommitStaged puts every byte the write changes into NAME.WAL, with the bytes they replace,
//      and syncs it. Barrier 1: nothing of the table changes before the whole write can be
//      redone from NAME.WAL;
//   3. the bytes go into the DBF and then the CDX, each file's changes from its end to its start
//      (records before the header that counts them, new index pages before the pages and headers
//      that point to them, the compound header with its change counter last), and both are
//      synced. Barrier 2: the table holds the whole write before NAME.WAL lets go of it;
//   4. NAME.WAL's mark is overwritten (not synced: a write found again there is found whole in
//      the table and left as it is). The file keeps its size, so that syncing the next write
//      into it commits no new size.
//
// The next write open (Table::Open), under FoxPro's header lock and index lock, so that no write
// is in progress, hands NAME.WAL to FinishInterruptedWrite: a write cut before barrier 1 left a
// torn NAME.WAL (its hash is wrong) and a table nothing touched; one cut after it is written
// again, whole. A sector whose part of the write holds neither the old nor the new bytes (as far
// as the file reaches) was written by another program after the cut, one that does not know
// NAME.WAL: the write is then not redone.
//
// NAME.WAL (integers big-endian):
//    0  8 bytes "XFRWAL1\n" (zeros once the write is let go of)
//    8  u32     length of the body
//   12  u64     FNV-1a hash of the body
//   20  body, one entry per change: u8 file (0 the DBF, 1 the CDX), u8 kind (0 bytes, 1 the file
//       cut to a size), u64 offset (the size, for a cut), u32 length n; for bytes, the n new bytes
//       and the n old ones (zero past the end of the file).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/xbase/env.h"
#include "platform/xbase/status.h"

namespace xbase {

// A File that passes everything through to its base, except that between Hold() and Take() (or
// Discard()) writes and cuts are held back; reads and Size() see them. One cut per held write.
class StagedFile final : public File {
 public:
  explicit StagedFile(std::unique_ptr<File> base) : base_(std::move(base)) {}

  struct Changes {
    std::map<std::uint64_t, std::string> bytes;  // offset -> bytes, not overlapping
    std::optional<std::uint64_t> cut;            // the size the file is cut to before the bytes
    bool empty() const { return bytes.empty() && !cut; }
  };

  File* base() { return base_.get(); }
  void Hold() { holding_ = true; }
  bool holding() const { return holding_; }
  // Ends holding and hands over what was held.
  Changes Take();
  void Discard() { Take(); }

  Status ReadAt(std::uint64_t offset, std::size_t n, char* scratch, std::size_t* read) override;
  Status WriteAt(std::uint64_t offset, const char* data, std::size_t n) override;
  Status Size(std::uint64_t* size) override;
  Status Truncate(std::uint64_t size) override;
  // Nothing to sync while holding: CommitStaged syncs.
  Status Sync() override { return holding_ ? Status::OK() : base_->Sync(); }
  Status TryLock(std::uint64_t offset, std::uint64_t length, bool exclusive) override {
    return base_->TryLock(offset, length, exclusive);
  }
  Status Unlock(std::uint64_t offset, std::uint64_t length) override {
    return base_->Unlock(offset, length);
  }

 private:
  std::unique_ptr<File> base_;
  bool holding_ = false;
  Changes changes_;
};

// Steps 2-4 above for what `dbf` and `cdx` (null: the table has no index) hold, which they stop
// holding. `log` is the table's NAME.WAL, open for writing. On a failure before barrier 1 nothing
// of the table is written; after it, the next write open finishes the write.
Status CommitStaged(File* log, StagedFile* dbf, StagedFile* cdx);

// Whether NAME.WAL holds a write: its mark is there (the write may still be torn).
Status WriteAheadPending(File* log, bool* pending);

enum class Interrupted {
  kNone,      // NAME.WAL empty, torn, or holding a write that is already whole in the table
  kFinished,  // a write cut short was written whole
  kStale,     // the table was changed by another program since; the write was not redone
};

// Finishes the write NAME.WAL holds, if any, and lets go of it. REQUIRES: the caller holds FoxPro's
// header lock and (with a CDX) the index lock exclusively. `cdx` is null without an index.
Status FinishInterruptedWrite(File* log, File* dbf, File* cdx, Interrupted* outcome);

}  // namespace xbase
