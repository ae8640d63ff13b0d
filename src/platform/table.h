// The table service: what the program needs of a FoxPro table connection (the data control's
// recordset). Implemented over the xbase engine by XbaseTableService
// (platform/tables/xbase_table.h); tests use an in-memory fake.
//
// Every operation raises RuntimeError with the numbers the program expects:
//   3011 table not found, 3015 not an index of this table, 3019 no current index,
//   3020 SetField/Update without AddNew or Edit, 3021 no current record, 3022 duplicate key in a
//   unique tag, 3027 table read-only (a tag the engine cannot maintain), 3218 table or index
//   damaged, 3260 record or table locked by another program, 3265 no such field.
// Not thread-safe: one thread owns a recordset.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/value.h"

namespace xfr {

struct FieldInfo {
  std::string name;   // as stored in the table (upper case for FoxPro)
  char type = 'C';    // C, N, F, D, L, M, ...
  int size = 0;       // width in bytes (one-byte characters of the table's code page)
  int decimals = 0;
};

enum class EditMode { kNone, kEdit, kAdd };

// A record's fields by name, each as its stored text: a character field without its trailing
// blanks, any other field trimmed ("" when blank). The transfer journal keeps records so.
using FieldTexts = std::vector<std::pair<std::string, std::string>>;

// Whether a record number holds a record: past the table's end, live, or marked deleted.
enum class RecordState { kMissing, kLive, kDeleted };

class Recordset {
 public:
  virtual ~Recordset() = default;

  // Positioning. Deleted records are never current.
  virtual bool HasCurrent() const = 0;
  // Makes the first record (physical order) current; an empty table has no current record.
  virtual void MoveFirst() = 0;
  // Selects the index tag by name, without regard to case (3015 when there is no such tag).
  virtual void SetIndex(std::string_view tag) = 0;
  virtual std::string Index() const = 0;
  // Seeks with comparison "=" on the current index; the key is compared blank-padded to the
  // tag's key length. A match becomes current; a miss leaves no current record and sets NoMatch.
  virtual void Seek(std::string_view comparison, std::string_view key) = 0;
  virtual bool NoMatch() const = 0;
  virtual std::string Bookmark() const = 0;             // 3021 without a current record
  virtual void SetBookmark(const std::string& mark) = 0;  // back to a remembered record

  // Fields, by name without regard to case.
  virtual const std::vector<FieldInfo>& Fields() const = 0;
  virtual Value GetField(std::string_view name) const = 0;
  virtual void SetField(std::string_view name, const Value& value) = 0;
  virtual int FieldSize(std::string_view name) const = 0;
  // The text as this table holds it once written: each character the table's code page has no
  // byte for becomes that code page's substitute, "?" (a character stays one character).
  virtual std::string InCodePage(std::string_view text) const = 0;

  // Writing. AddNew makes a blank buffer current; Edit starts editing the current record;
  // Update writes the buffer (with every index tag) and leaves the written record current.
  virtual void AddNew() = 0;
  virtual void Edit() = 0;
  virtual void Update() = 0;
  // Update of an AddNew that appends only when no live record has the new record's key on `tag`
  // yet, looked up under the lock that covers the append, so that two programs adding the same
  // key at the same moment add it once. False when one has: nothing is written, the AddNew is
  // over and that record is current. (Outside add mode, the same as Update.)
  virtual bool UpdateUnlessFound(std::string_view tag) = 0;
  virtual void CancelUpdate() = 0;
  virtual EditMode GetEditMode() const = 0;

  virtual void Close() = 0;

  // For undo of a transfer, by record number, whatever is current (these raise 3251 on a
  // connection that cannot do them).
  // Whether record `recno` is there and, when it is, its fields as FieldTexts.
  virtual RecordState ReadTexts(std::uint32_t recno, FieldTexts* fields);
  // Takes at once, without waiting, the table's header lock and the locks of `recnos`: true with
  // all of them held; false with none held when another program holds one, *busy then naming it
  // ("PROPERTY.DBF: record 5's lock is held by another program"). They stay held until
  // UnlockRecords or Close: meanwhile no other program writes those records (nor appends), so
  // what ReadTexts shows of them is what Restore writes over.
  virtual bool TryLockRecords(const std::vector<std::uint32_t>& recnos, std::string* busy);
  virtual void UnlockRecords();
  // Writes `fields` (stored texts, as ReadTexts gives them, put back as they were stored, never
  // read as values) over record `recno` and gives it the deleted flag `deleted`, as one edit
  // with every index tag kept in step. REQUIRES: TryLockRecords holds the record's lock. Cancels
  // any pending AddNew or Edit; no record is current afterwards.
  virtual void Restore(std::uint32_t recno, const FieldTexts& fields, bool deleted);
};

class TableService {
 public:
  virtual ~TableService() = default;
  // Opens the table `record_source` (a file name such as "PROPERTY.DBF"; ".dbf" is added when it
  // has no extension) in the directory `database` (Windows-style path, no trailing backslash;
  // "" is the current directory). recordset_type 0 is a table-type recordset.
  // The first record is current afterwards. Raises 3011 when the table or its index is missing
  // or cannot be opened (no permission), 3218 when one of them does not decode.
  virtual std::unique_ptr<Recordset> Open(std::string_view connect, std::string_view database,
                                          std::string_view record_source, int recordset_type) = 0;
};

}  // namespace xfr
