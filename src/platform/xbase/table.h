// Table: one FoxPro 2.x table opened in place - the DBF, its structural CDX (all tags kept in
// step with every append and edit) and its FPT memo file (read by nobody here, never written).
//
// Reading: records by number, the first live record in physical order, seeks by tag. Deleted
// records are never found by First() or Seek().
//
// Writing takes FoxPro's locks, each tried for a bounded time (kLocked afterwards, never a
// hang), at the offsets FoxPro uses for the kind of table (LockLayout below): the header/append
// lock, the lock of the record written, and 1 byte at 0x7FFFFFFE of the CDX while the index
// changes. Order of an append: header lock, the new record's lock, index lock, record and end
// marker, header count and date, every tag, index flush, unlock. An edit: record lock, index lock,
// record, header date, every tag whose key changed, flush, unlock. The data goes first and the
// index after it, so an interrupted write leaves a table FoxPro opens, whose index lags behind the data by the
// one record (which `dbftool check` names and REINDEX repairs); records already there are never
// touched by an append. Opening a table for writing puts the last record's index entries right
// when such a write stopped on it (an append, or an edit of that record), under the index lock,
// so the record is found again and the job it holds is not added a second time; while another
// program holds the header lock or that record's lock, the record is a write in progress and is
// left alone. A write open also finishes a synced write (TableOptions::sync) that a power loss
// cut short, from the table's NAME.WAL, under the same locks.
//
// A tag whose key or FOR expression, key length or collation the engine cannot maintain makes
// every write fail with kNotSupported naming the tag; nothing is written. Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xbase/cdx.h"
#include "platform/xbase/dbf.h"
#include "platform/xbase/env.h"
#include "platform/xbase/expr.h"
#include "platform/xbase/status.h"
#include "platform/xbase/write_ahead.h"

namespace xbase {

class LockHolder;
class Table;

// Told of every record a table writes, while the write holds the table's header lock, so that a
// log kept by every program that shares the tables has their writes in the order they were made.
class WriteObserver {
 public:
  virtual ~WriteObserver() = default;
  // Before record `recno` is written: `before` is its bytes now (null for an append), `after`
  // the bytes about to be written. A failure stops the write before anything is written.
  virtual Status BeforeWrite(const Table& table, std::uint32_t recno, const std::string* before,
                             const std::string& after) = 0;
  // Once the record and its index entries are written. A failure is the write's result.
  virtual Status AfterWrite(const Table& table, std::uint32_t recno, const std::string& after) = 0;
};

struct TableOptions {
  bool read_only = false;
  // How long a write waits for FoxPro's locks, and how often it tries again meanwhile.
  std::uint64_t lock_timeout_micros = 3'000'000;
  std::uint64_t lock_retry_micros = 5'000;
  // Every write (an append, an edit, the open's catch-up) reaches the disk whole or not at all,
  // whatever a power loss keeps, and is on the disk when it returns: it goes through the table's
  // write-ahead file NAME.WAL and is synced (write_ahead.h). An edit then also holds the header
  // lock, as an append does, while it writes. Without it, writes are left to the system.
  bool sync = false;
  // Told of every append and edit (not owned; null: nobody). An edit then also holds the
  // header lock, as an append does, while it writes.
  WriteObserver* observer = nullptr;
};

// FoxPro 2.x lock offsets (1-byte exclusive locks unless said otherwise).
// A table without a structural index: header lock at 0x40000000, record n at 0x40000000 + its
// file offset.
constexpr std::uint64_t kDbfLockBase = 0x40000000;
// A table whose header marks a structural index (byte 28, bit 0x01): header lock at 0x7FFFFFFE,
// record n at 0x7FFFFFFE - n, and the whole-table lock on the range just below the header byte.
constexpr std::uint64_t kIndexedHeaderLock = 0x7FFFFFFE;
constexpr std::uint64_t kIndexedTableLockStart = 0x77FFFFFF;
constexpr std::uint64_t kIndexedTableLockLength = 0x07FFFFFF;
// The index lock in the CDX: shared while reading, exclusive while writing.
constexpr std::uint64_t kCdxLockOffset = 0x7FFFFFFE;

// Where FoxPro locks the header and the records of one table.
struct LockLayout {
  bool indexed = false;  // the header marks a structural index
  std::uint32_t header_length = 0;
  std::uint32_t record_length = 0;

  static LockLayout For(const DbfLayout& layout);
  std::uint64_t header() const { return indexed ? kIndexedHeaderLock : kDbfLockBase; }
  std::uint64_t record(std::uint32_t recno) const {
    return indexed ? kIndexedHeaderLock - recno
                   : kDbfLockBase + header_length + std::uint64_t{recno - 1} * record_length;
  }
};

class Table {
 public:
  ~Table();
  // Opens `dbf_path` and, when DBF byte 28 says so, the CDX beside it (same name, .CDX).
  static Status Open(Env* env, const std::string& dbf_path, const TableOptions& options,
                     std::unique_ptr<Table>* table);

  const std::string& path() const { return path_; }
  const TableOptions& options() const { return options_; }
  const DbfLayout& layout() const { return layout_; }
  const LockLayout& locks() const { return locks_; }
  const CodePage& code_page() const { return *code_page_; }
  bool read_only() const { return options_.read_only; }
  int FindField(std::string_view name) const { return layout_.FindField(name); }

  // Tags of the structural index (empty without one).
  const std::vector<TagInfo>& tags() const;
  int FindTag(std::string_view name) const;
  // OK when the engine can maintain every tag; else the first tag's problem.
  const Status& writable() const { return writable_; }
  // The problem of one tag (OK when it is maintained).
  const Status& tag_status(int tag) const { return tag_state_[tag].problem; }
  CdxFile* cdx() { return cdx_.get(); }
  // 'C' for character keys, 'N' for numeric and date keys, 'L' for logical ones.
  char key_type(int tag) const { return tag_state_[tag].key_type; }

  // The record count from the header as it is now on disk (another program may have appended).
  Status RecordCount(std::uint32_t* count);
  Status Read(std::uint32_t recno, Record* record);
  Record NewRecord() const { return Record(&layout_, code_page_); }
  // First live record in physical order; *found false when there is none.
  Status First(bool* found, std::uint32_t* recno);

  // The key bytes a seek for `text` (UTF-8; a number or a date for numeric and date tags) looks
  // for: converted to the table's code page, blank-padded or cut to the key length.
  Status SeekKey(int tag, std::string_view text, std::string* key);
  // Exact-match seek; finds the live record with the lowest number whose key equals `text`.
  Status Seek(int tag, std::string_view text, bool* found, std::uint32_t* recno);
  // The same with key bytes as built by SeekKey.
  Status SeekRaw(int tag, std::string_view key, bool* found, std::uint32_t* recno);

  // The key of `record` (number recno) in a tag, and whether the FOR clause lets it in.
  // REQUIRES: tag_status(tag).ok().
  Status TagKey(int tag, const Record& record, std::uint32_t recno, bool* included,
                std::string* key) const;

  // Appends a live record with the bytes of `record`; *recno is its number. With `unique_tag`
  // (>= 0), the record's key in that tag is first looked up under the header and index locks
  // the append holds: when a live record has it (another program appended it since the caller
  // looked), nothing is written and *existing is that record's number; otherwise *existing is 0.
  Status Append(const Record& record, std::uint32_t* recno, int unique_tag = -1,
                std::uint32_t* existing = nullptr);
  // Writes the fields set in `changes` (Record::changed) and its deleted flag, when set, over
  // record `recno` as it is on disk. (Append and Update let go of the locks they take: they are
  // not for a table that holds locks with TryHoldLocks.)
  Status Update(std::uint32_t recno, const Record& changes);

  // A compare-then-write over several records (undo of a transfer), or a person's edit held over
  // time as FoxPro holds it. TryHoldLocks takes at once, without waiting, the header lock (when
  // `header`) and the locks of `recnos`: OK with all of them held, kLocked naming the first that
  // another program holds with none held. They stay held until ReleaseHeldLocks or the table is
  // closed; meanwhile no other program writes those records (nor, with the header lock, appends
  // or makes an observed edit), so what Read shows of them is what WriteHeld writes over.
  Status TryHoldLocks(const std::vector<std::uint32_t>& recnos, bool header);
  void ReleaseHeldLocks();
  // Update of record `recno`, whose lock TryHoldLocks holds, without taking it again (the header
  // lock too, when it holds it; with an observer and without it, the header lock is taken for
  // the write). kNotSupported when the record's lock is not held.
  Status WriteHeld(std::uint32_t recno, const Record& changes);

 private:
  struct TagState {
    std::unique_ptr<Expr> key;
    std::unique_ptr<Expr> cond;  // null without a FOR clause
    char key_type = 'C';         // 'C', 'N' (numbers and dates), 'L'
    ExprType expr_type = ExprType::kChar;
    Status problem;
  };

  Table(Env* env, std::string path, const TableOptions& options);
  Status Load();
  // Reads and decodes the header and field descriptors; CheckLength then sees that the file
  // holds the records the header counts.
  Status ReadLayout();
  Status CheckLength();
  // Finishes a write NAME.WAL holds (*finished when it wrote). REQUIRES: the header lock.
  Status FinishWriteAhead(bool indexed, bool* finished);
  // Opens the CDX beside the table. When the caller holds the header lock (a write open) and the
  // index lock can be had exclusively as well, the catch-up runs.
  Status OpenIndex(LockHolder* header_lock);
  void CompileTags();
  Status ReadHeader(DbfHeader* header);
  Status Lock(File* file, std::uint64_t offset, const char* what, bool exclusive = true);
  // SeekRaw's look-up, for a caller that holds the index lock and has refreshed the index.
  Status SeekHeld(int tag, std::string_view key, bool* found, std::uint32_t* recno);
  Status CheckWritable() const;
  Status RefreshIndex();
  // REQUIRES: the header lock and the index lock, held exclusively.
  Status CatchUpLastRecord();
  // With TableOptions::sync, everything written between these is held back and put through
  // NAME.WAL by EndWrite, which returns its argument or the commit's failure.
  Status BeginWrite();
  Status EndWrite(Status s);
  Status WriteRecord(std::uint32_t recno, const std::string& bytes, bool with_end_marker);
  Status WriteHeaderStamp(std::uint32_t count, bool with_count);
  // An edit of record `recno` whose lock (and, with an observer, the header lock) is held: the
  // index lock, then the fields set in `changes` over the record as it is on disk.
  Status EditLocked(std::uint32_t recno, const Record& changes);
  Status UpdateTags(std::uint32_t recno, const std::string* old_bytes,
                    const std::string& new_bytes);
  Status UniqueRefill(int tag, const std::string& key, std::uint32_t skip_recno);
  Status FinishIndex(Status s);

  Env* env_;
  std::string path_;
  std::string cdx_path_;
  TableOptions options_;
  std::unique_ptr<File> dbf_;
  // With TableOptions::sync (writable), the DBF and the CDX as held back by writes, and NAME.WAL
  // (opened by the first write).
  StagedFile* staged_dbf_ = nullptr;
  StagedFile* staged_cdx_ = nullptr;
  std::unique_ptr<File> wal_;
  // The CDX, read through cdx_ and locked through this (FoxPro's index lock; readers take it
  // shared while they walk the index, so a writer's flush is never seen half done). Kept here so
  // that the lock outlives a reopen of cdx_ after a failed change.
  std::shared_ptr<File> cdx_lock_file_;
  std::unique_ptr<CdxFile> cdx_;
  DbfLayout layout_;
  LockLayout locks_;
  const CodePage* code_page_ = nullptr;
  std::vector<TagState> tag_state_;
  Status writable_;
  // The header's count and date (YYYYMMDD) as last read or written.
  std::uint32_t known_count_ = 0;
  int header_date_ = 0;
  // A synced write failed after the index object took its changes for written.
  bool reload_index_ = false;
  // The lock offsets TryHoldLocks holds on the DBF (the header's first when it holds it).
  std::vector<std::uint64_t> held_;
};

// The path of a file beside `dbf_path` with the same name and extension `ext` (".CDX"), in
// whichever letter case exists (of its name and of its extension); the table's name with the
// upper-case extension when none does.
std::string SiblingPath(Env* env, const std::string& dbf_path, const std::string& ext);

// The write-ahead file of a table (write_ahead.h): its DBF path with the extension .WAL, or .wal
// when the DBF's extension is in lower case.
std::string WriteAheadPath(const std::string& dbf_path);

}  // namespace xbase
