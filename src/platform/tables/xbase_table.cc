#include "platform/tables/xbase_table.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/text.h"
#include "platform/runtime_error.h"
#include "platform/xbase/table.h"

namespace xfr {
namespace {

using xbase::Status;

[[noreturn]] void Raise(int number, const std::string& detail = {}) {
  if (detail.empty()) throw RuntimeError(number);
  throw RuntimeError(number, DescribeError(number) + " " + detail);
}

// An engine failure as the run-time error the program expects.
[[noreturn]] void RaiseStatus(const Status& s, int not_found = kErrNoCurrentRecord) {
  switch (s.code()) {
    case Status::Code::kNotFound:
      Raise(not_found);
    case Status::Code::kLocked:
      Raise(kErrRecordLocked, "(" + s.message() + ")");
    case Status::Code::kNotSupported:
      Raise(kErrTableReadOnly, "(" + s.message() + ")");
    case Status::Code::kDuplicate:
      Raise(kErrDuplicateKey);
    case Status::Code::kInvalidArgument:
      Raise(kErrDataTypeMismatch, "(" + s.message() + ")");
    default:
      Raise(kErrDatabaseDamaged, "(" + s.message() + ")");
  }
}

bool ParseDateText(const std::string& t, xbase::DbfDate* d) {
  int a = 0, b = 0, c = 0;
  char s1 = 0, s2 = 0, extra = 0;
  if (std::sscanf(t.c_str(), "%d%c%d%c%d%c", &a, &s1, &b, &s2, &c, &extra) != 5) return false;
  if (s1 == '-' && s2 == '-') {
    *d = {a, b, c};  // YYYY-MM-DD
  } else if (s1 == '/' && s2 == '/') {
    *d = {c, a, b};  // month/day/year
  } else {
    return false;
  }
  return xbase::ValidDate(*d);
}

class XbaseRecordset final : public Recordset {
 public:
  XbaseRecordset(std::unique_ptr<xbase::Table> table, TableJournal* journal)
      : table_(std::move(table)),
        journal_(journal),
        buffer_(table_->NewRecord()),
        current_rec_(table_->NewRecord()) {
    for (const auto& f : table_->layout().fields()) {
      fields_.push_back(FieldInfo{f.name, f.type, f.length, f.decimals});
    }
    MoveFirst();
  }

  bool HasCurrent() const override { return current_ != 0; }

  void MoveFirst() override {
    Live();
    mode_ = EditMode::kNone;
    bool found = false;
    std::uint32_t recno = 0;
    Status s = table_->First(&found, &recno);
    if (!s.ok()) RaiseStatus(s);
    Position(found ? recno : 0);
  }

  void SetIndex(std::string_view tag) override {
    Live();
    int t = table_->FindTag(tag);
    if (t < 0) Raise(kErrNotAnIndex);
    tag_ = t;
    index_ = table_->tags()[t].name;
  }

  std::string Index() const override { return index_; }

  void Seek(std::string_view comparison, std::string_view key) override {
    Live();
    if (tag_ < 0) Raise(kErrNoCurrentIndex);
    if (VbTrim(comparison) != "=") {
      throw RuntimeError(3251, "Operation is not supported for this type of object.");
    }
    mode_ = EditMode::kNone;
    bool found = false;
    std::uint32_t recno = 0;
    Status s = table_->Seek(tag_, key, &found, &recno);
    if (!s.ok()) RaiseStatus(s);
    no_match_ = !found;
    Position(found ? recno : 0);
  }

  bool NoMatch() const override { return no_match_; }

  std::string Bookmark() const override {
    if (current_ == 0) Raise(kErrNoCurrentRecord);
    return std::to_string(current_);
  }

  void SetBookmark(const std::string& mark) override {
    Live();
    char* end = nullptr;
    unsigned long r = std::strtoul(mark.c_str(), &end, 10);
    if (mark.empty() || *end != '\0' || r == 0 || r > 0xFFFFFFFFul) Raise(kErrNoCurrentRecord);
    mode_ = EditMode::kNone;
    xbase::Record rec = table_->NewRecord();
    Status s = table_->Read(static_cast<std::uint32_t>(r), &rec);
    if (!s.ok()) RaiseStatus(s);
    if (rec.deleted()) Raise(kErrNoCurrentRecord);
    Position(static_cast<std::uint32_t>(r));
  }

  const std::vector<FieldInfo>& Fields() const override { return fields_; }

  Value GetField(std::string_view name) const override {
    int f = FieldIndex(name);
    if (mode_ == EditMode::kAdd && !buffer_.changed(f)) return Value{};
    if (mode_ == EditMode::kNone && current_ == 0) Raise(kErrNoCurrentRecord);
    return ToValue(mode_ == EditMode::kNone ? current_rec_ : buffer_, f);
  }

  void SetField(std::string_view name, const Value& value) override {
    int f = FieldIndex(name);
    if (mode_ == EditMode::kNone) Raise(kErrUpdateWithoutEdit);
    Status s = Store(f, value);
    if (!s.ok()) RaiseStatus(s);
  }

  int FieldSize(std::string_view name) const override {
    return fields_[static_cast<std::size_t>(FieldIndex(name))].size;
  }

  std::string InCodePage(std::string_view text) const override {
    return table_->code_page().ToUtf8(table_->code_page().FromUtf8(text));
  }

  void AddNew() override {
    Live();
    buffer_.Clear();
    mode_ = EditMode::kAdd;
  }

  void Edit() override {
    Live();
    if (current_ == 0) Raise(kErrNoCurrentRecord);
    // Start from the record as it is now on disk.
    xbase::Record rec = table_->NewRecord();
    Status s = table_->Read(current_, &rec);
    if (!s.ok()) RaiseStatus(s);
    if (rec.deleted()) Raise(kErrNoCurrentRecord);
    current_rec_ = rec;
    buffer_ = rec;
    buffer_.ClearChanged();
    mode_ = EditMode::kEdit;
  }

  void Update() override {
    Live();
    if (mode_ == EditMode::kNone) Raise(kErrUpdateWithoutEdit);
    std::uint32_t recno = current_;
    Status s;
    if (mode_ == EditMode::kAdd) {
      s = table_->Append(buffer_, &recno);
    } else {
      s = table_->Update(current_, buffer_);
    }
    if (!s.ok()) RaiseWrite(s);
    mode_ = EditMode::kNone;
    Position(recno);
  }

  bool UpdateUnlessFound(std::string_view tag) override {
    Live();
    if (mode_ != EditMode::kAdd) {
      Update();
      return true;
    }
    const int t = table_->FindTag(tag);
    if (t < 0) Raise(kErrNotAnIndex);
    std::uint32_t recno = 0, existing = 0;
    Status s = table_->Append(buffer_, &recno, t, &existing);
    if (!s.ok()) RaiseWrite(s);
    mode_ = EditMode::kNone;
    Position(existing != 0 ? existing : recno);
    return existing == 0;
  }

  void CancelUpdate() override { mode_ = EditMode::kNone; }
  EditMode GetEditMode() const override { return mode_; }

  void Close() override {
    table_->ReleaseHeldLocks();
    mode_ = EditMode::kNone;
    current_ = 0;
    closed_ = true;
  }

  RecordState ReadTexts(std::uint32_t recno, FieldTexts* fields) override {
    Live();
    std::uint32_t count = 0;
    Status s = table_->RecordCount(&count);
    if (!s.ok()) RaiseStatus(s);
    if (recno == 0 || recno > count) return RecordState::kMissing;
    xbase::Record rec = table_->NewRecord();
    s = table_->Read(recno, &rec);
    if (!s.ok()) RaiseStatus(s);
    fields->clear();
    const auto& layout = table_->layout().fields();
    for (std::size_t f = 0; f < layout.size(); ++f) {
      fields->emplace_back(layout[f].name, rec.Text(static_cast<int>(f)));
    }
    return rec.deleted() ? RecordState::kDeleted : RecordState::kLive;
  }

  bool TryLockRecords(const std::vector<std::uint32_t>& recnos, std::string* busy) override {
    Live();
    Status s = table_->TryHoldLocks(recnos, true);
    if (s.IsLocked()) {
      *busy = s.message();
      return false;
    }
    if (!s.ok()) RaiseStatus(s);
    return true;
  }

  void UnlockRecords() override { table_->ReleaseHeldLocks(); }

  void Restore(std::uint32_t recno, const FieldTexts& fields, bool deleted) override {
    Live();
    mode_ = EditMode::kNone;
    current_ = 0;
    xbase::Record changes = table_->NewRecord();
    for (const auto& [name, text] : fields) {
      Status s = changes.SetStored(FieldIndex(name), text);
      if (!s.ok()) RaiseStatus(s);
    }
    changes.SetDeleted(deleted);
    Status s = table_->WriteHeld(recno, changes);
    if (!s.ok()) RaiseWrite(s);
  }

 private:
  // A failed write: the journal's own failure as the journal describes it, else the engine's.
  [[noreturn]] void RaiseWrite(const Status& s) {
    if (journal_) {
      std::string why = journal_->TakeFailure();
      if (!why.empty()) throw RuntimeError(75, why);
    }
    RaiseStatus(s);
  }

  void Live() const {
    if (closed_) Raise(kErrNoCurrentRecord);
  }

  int FieldIndex(std::string_view name) const {
    int f = table_->FindField(name);
    if (f < 0) Raise(kErrItemNotFound);
    return f;
  }

  void Position(std::uint32_t recno) {
    current_ = recno;
    if (recno == 0) return;
    Status s = table_->Read(recno, &current_rec_);
    if (!s.ok()) {
      current_ = 0;
      RaiseStatus(s);
    }
  }

  static Value ToValue(const xbase::Record& rec, int f) {
    const xbase::DbfField& field = rec.layout().fields()[f];
    switch (field.type) {
      case 'C':
        return rec.Text(f);
      case 'N':
      case 'F': {
        double v = 0;
        if (!rec.Number(f, &v)) return Value{};
        return v;
      }
      case 'D': {
        xbase::DbfDate d;
        if (!rec.Date(f, &d)) return Value{};
        return Date{d.year, d.month, d.day};
      }
      case 'L': {
        bool b = false;
        if (!rec.Logical(f, &b)) return Value{};
        return b;
      }
      case 'M':
        return Value{};  // memo text is not read through this connection
      default: {
        std::string t = rec.Text(f);
        if (t.empty()) return Value{};
        return t;
      }
    }
  }

  Status Store(int f, const Value& value) {
    const xbase::DbfField& field = table_->layout().fields()[f];
    if (IsNull(value)) return buffer_.SetBlank(f);
    if (field.type == 'C') return buffer_.SetText(f, ValueText(value));
    if (const auto* s = std::get_if<std::string>(&value)) {
      std::string t = VbTrim(*s);
      if (t.empty()) return buffer_.SetBlank(f);
      if (field.type == 'D') {
        xbase::DbfDate d;
        if (!ParseDateText(t, &d)) {
          return Status::InvalidArgument("\"" + t + "\" is not a date for field " + field.name);
        }
        return buffer_.SetDate(f, d);
      }
      return buffer_.SetFromString(f, t);
    }
    if (const auto* d = std::get_if<double>(&value)) {
      if (field.type == 'N' || field.type == 'F') return buffer_.SetNumber(f, *d);
      if (field.type == 'L') return buffer_.SetLogical(f, *d != 0);
    }
    if (const auto* d = std::get_if<Date>(&value)) {
      if (field.type == 'D') return buffer_.SetDate(f, xbase::DbfDate{d->year, d->month, d->day});
    }
    if (const auto* b = std::get_if<bool>(&value)) {
      if (field.type == 'L') return buffer_.SetLogical(f, *b);
      if (field.type == 'N' || field.type == 'F') return buffer_.SetNumber(f, *b ? -1 : 0);
    }
    return Status::InvalidArgument("field " + field.name + " cannot take this value");
  }

  std::unique_ptr<xbase::Table> table_;
  TableJournal* journal_;
  std::vector<FieldInfo> fields_;
  xbase::Record buffer_;
  xbase::Record current_rec_;
  std::uint32_t current_ = 0;
  int tag_ = -1;
  std::string index_;
  bool no_match_ = false;
  bool closed_ = false;
  EditMode mode_ = EditMode::kNone;
};

}  // namespace

XbaseTableService::XbaseTableService(Resolver resolver, xbase::Env* env, TableJournal* journal,
                                     Writes writes)
    : resolver_(std::move(resolver)),
      env_(env ? env : xbase::Env::Default()),
      journal_(journal),
      writes_(writes) {}

std::unique_ptr<Recordset> XbaseTableService::Open(std::string_view connect,
                                                   std::string_view database,
                                                   std::string_view record_source,
                                                   int recordset_type) {
  if (recordset_type != 0) {
    throw RuntimeError(3251, "Operation is not supported for this type of object.");
  }
  std::string name = VbTrim(record_source);
  if (name.empty()) Raise(kErrTableNotFound);
  std::size_t slash = name.find_last_of("\\/");
  std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) name += ".dbf";
  std::string path = resolver_(database, name);
  if (path.empty() || !env_->FileExists(path)) Raise(kErrTableNotFound, "(no such file)");
  std::unique_ptr<xbase::Table> table;
  xbase::TableOptions options;
  options.observer = journal_;
  // Every write whole on the disk or not at all, whatever a power loss keeps.
  options.sync = writes_ == Writes::kSynced;
  Status s = xbase::Table::Open(env_, path, options, &table);
  if (!s.ok() && s.code() == Status::Code::kIOError) {
    // No write access: the table can still be read.
    options.read_only = true;
    s = xbase::Table::Open(env_, path, options, &table);
  }
  // A file that is missing (the index) or that this user may not open is a table that cannot be
  // found; only a file that does not decode is damage.
  if (s.code() == Status::Code::kNotFound || s.code() == Status::Code::kIOError) {
    Raise(kErrTableNotFound, "(" + s.message() + ")");
  }
  if (!s.ok()) RaiseStatus(s);
  return std::make_unique<XbaseRecordset>(std::move(table), journal_);
}

}  // namespace xfr
