#include "platform/xbase/table.h"

#include <algorithm>
#include <cctype>
#include <ctime>

#include "platform/xbase/coding.h"
#include "platform/xbase/write_ahead.h"

namespace xbase {

// Releases a lock taken by Table::Lock when it goes out of scope.
class LockHolder {
 public:
  LockHolder() = default;
  ~LockHolder() { Release(); }
  void Hold(File* file, std::uint64_t offset) {
    file_ = file;
    offset_ = offset;
  }
  void Release() {
    if (file_ != nullptr) file_->Unlock(offset_, 1);
    file_ = nullptr;
  }
  bool held() const { return file_ != nullptr; }

 private:
  File* file_ = nullptr;
  std::uint64_t offset_ = 0;
};

namespace {

const std::vector<TagInfo> kNoTags;

std::tm LocalToday() {
  std::time_t now = std::time(nullptr);
  std::tm tm_now{};
  localtime_r(&now, &tm_now);
  return tm_now;
}

// A header date as one number, YYYYMMDD.
int DateStamp(int year, int month, int day) { return (year * 100 + month) * 100 + day; }

int Today() {
  const std::tm t = LocalToday();
  return DateStamp(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
}

// `path` without its extension.
std::string Stem(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    return path.substr(0, dot);
  }
  return path;
}

}  // namespace

std::string SiblingPath(Env* env, const std::string& dbf_path, const std::string& ext) {
  const std::string stem = Stem(dbf_path);
  const std::size_t slash = stem.find_last_of('/');
  std::string upper = ext, lower = ext;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const std::string& e : {upper, lower}) {
    if (env->FileExists(stem + e)) return stem + e;
  }
  // Named in another case (client.dbf beside CLIENT.CDX, Property.Cdx): the directory's entry
  // that matches without regard to case, the first in byte order when several do.
  const std::size_t dir_end = slash == std::string::npos ? 0 : slash + 1;
  const std::string want = stem.substr(dir_end) + upper;
  auto folded = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  std::string best;
  for (const std::string& name : env->ListDirectory(stem.substr(0, dir_end))) {
    if (folded(name) == folded(want) && (best.empty() || name < best)) best = name;
  }
  return stem.substr(0, dir_end) + (best.empty() ? want : best);
}

std::string WriteAheadPath(const std::string& dbf_path) {
  const std::string stem = Stem(dbf_path);
  const bool lower = dbf_path.size() > stem.size() + 1 &&
                     std::islower(static_cast<unsigned char>(dbf_path[stem.size() + 1]));
  return stem + (lower ? ".wal" : ".WAL");
}

LockLayout LockLayout::For(const DbfLayout& layout) {
  LockLayout l;
  l.indexed = (layout.header().flags & 0x01) != 0;
  l.header_length = layout.header().header_length;
  l.record_length = layout.header().record_length;
  return l;
}

Table::Table(Env* env, std::string path, const TableOptions& options)
    : env_(env), path_(std::move(path)), options_(options) {}

Table::~Table() = default;

Status Table::Open(Env* env, const std::string& dbf_path, const TableOptions& options,
                   std::unique_ptr<Table>* table) {
  std::unique_ptr<Table> t(new Table(env, dbf_path, options));
  Status s = t->Load();
  if (!s.ok()) return s;
  *table = std::move(t);
  return Status::OK();
}

Status Table::Load() {
  Status s = env_->OpenFile(path_, options_.read_only, &dbf_);
  if (!s.ok()) return s;
  if (!options_.read_only && options_.sync) {
    auto staged = std::make_unique<StagedFile>(std::move(dbf_));
    staged_dbf_ = staged.get();
    dbf_ = std::move(staged);
  }
  // A write open puts right what a write cut short left behind, under FoxPro's header lock. The
  // lock is tried, never waited for: held by another program, a write is in progress and the
  // open leaves the table alone. It is taken before the header is read, so that the count read
  // is the one the catch-up works on, at the offset of a table with a structural index (as
  // nearly every table has), and moved when the header says the table has none.
  LockHolder header_lock;
  if (!options_.read_only && dbf_->TryLock(kIndexedHeaderLock, 1, true).ok()) {
    header_lock.Hold(dbf_.get(), kIndexedHeaderLock);
  }
  s = ReadLayout();
  if (!s.ok()) return s;
  if (!options_.read_only && !locks_.indexed) {
    header_lock.Release();
    if (dbf_->TryLock(locks_.header(), 1, true).ok()) header_lock.Hold(dbf_.get(), locks_.header());
  }
  const bool indexed = (layout_.header().flags & 0x01) != 0;
  if (header_lock.held()) {
    bool finished = false;
    s = FinishWriteAhead(indexed, &finished);
    if (s.ok() && finished) s = ReadLayout();
    if (!s.ok()) return s;
  }
  s = CheckLength();
  if (!s.ok()) return s;
  if (indexed) {
    s = OpenIndex(&header_lock);
    if (!s.ok()) {
      if (env_->FileExists(cdx_path_)) return s;
      return Status::NotFound(BaseName(path_) + ": the table has a structural index, but " +
                              BaseName(cdx_path_) + " is missing");
    }
  }
  return Status::OK();
}

Status Table::ReadLayout() {
  // One read takes the header and field descriptors of any ordinary table; a longer header is
  // read again in full.
  std::string bytes(4096, '\0');
  std::size_t got = 0;
  Status s = dbf_->ReadAt(0, bytes.size(), bytes.data(), &got);
  if (!s.ok()) return s;
  bytes.resize(got);
  DbfHeader h;
  s = h.DecodeFrom(std::string_view(bytes).substr(0, DbfHeader::kEncodedLength));
  if (!s.ok()) return Status::Corruption(BaseName(path_) + ": " + s.message());
  const std::size_t want =
      std::max<std::size_t>(h.header_length, std::min(got, DbfHeader::kEncodedLength));
  if (want <= got) {
    bytes.resize(want);
  } else {
    bytes.assign(want, '\0');
    s = dbf_->ReadAt(0, bytes.size(), bytes.data(), &got);
    if (!s.ok()) return s;
    bytes.resize(got);
  }
  s = DbfLayout::Decode(bytes, &layout_);
  if (!s.ok()) {
    std::string msg = BaseName(path_) + ": " + s.message();
    return s.code() == Status::Code::kNotSupported ? Status::NotSupported(msg)
                                                   : Status::Corruption(msg);
  }
  const DbfHeader& lh = layout_.header();
  known_count_ = lh.record_count;
  header_date_ = DateStamp(lh.year, lh.month, lh.day);
  locks_ = LockLayout::For(layout_);
  code_page_ = &CodePage::ForMark(lh.code_page);
  return Status::OK();
}

Status Table::CheckLength() {
  // The size is taken after the header: another program appending meanwhile only makes the file
  // longer than the count we read, never shorter.
  const DbfHeader& h = layout_.header();
  std::uint64_t size = 0;
  Status s = dbf_->Size(&size);
  if (!s.ok()) return s;
  if (size < layout_.FileLength(h.record_count) - 1) {
    return Status::Corruption(BaseName(path_) + ": header counts " +
                              std::to_string(h.record_count) + " records of " +
                              std::to_string(h.record_length) + " bytes, the file has room for " +
                              std::to_string((size - h.header_length) / h.record_length));
  }
  return Status::OK();
}

Status Table::FinishWriteAhead(bool indexed, bool* finished) {
  // Under the header lock the caller holds and the index lock tried here, a write found in
  // NAME.WAL is no write in progress but one a power loss or a crash cut short.
  *finished = false;
  // Nearly always there is none: a look at the name costs less than a failed open.
  const std::string wal_path = WriteAheadPath(path_);
  if (!env_->FileExists(wal_path)) return Status::OK();
  std::unique_ptr<File> wal, cdx;
  Status s = env_->OpenFile(wal_path, false, &wal);
  bool pending = false;
  if (s.ok()) s = WriteAheadPending(wal.get(), &pending);
  if (s.ok() && pending && indexed) {
    s = env_->OpenFile(SiblingPath(env_, path_, ".CDX"), false, &cdx);
  }
  if (!s.ok() || !pending) return s.IsNotFound() ? Status::OK() : s;
  LockHolder index_lock;
  if (cdx) {
    if (!cdx->TryLock(kCdxLockOffset, 1, true).ok()) return Status::OK();
    index_lock.Hold(cdx.get(), kCdxLockOffset);
  }
  File* dbf = staged_dbf_ != nullptr ? staged_dbf_->base() : dbf_.get();
  Interrupted outcome = Interrupted::kNone;
  s = FinishInterruptedWrite(wal.get(), dbf, cdx.get(), &outcome);
  *finished = outcome == Interrupted::kFinished;
  return s;
}

Status Table::OpenIndex(LockHolder* header_lock) {
  // Opened under the name it nearly always has, which spares a look-up; SiblingPath finds it
  // named in another letter case.
  std::unique_ptr<File> file;
  cdx_path_ = Stem(path_) + ".CDX";
  Status s = env_->OpenFile(cdx_path_, options_.read_only, &file);
  if (s.IsNotFound()) {
    cdx_path_ = SiblingPath(env_, path_, ".CDX");
    s = env_->OpenFile(cdx_path_, options_.read_only, &file);
  }
  if (!s.ok()) return s;
  if (staged_dbf_ != nullptr) {
    auto staged = std::make_shared<StagedFile>(std::move(file));
    staged_cdx_ = staged.get();
    cdx_lock_file_ = std::move(staged);
  } else {
    cdx_lock_file_ = std::move(file);
  }
  // Another program may be writing the index right now: its headers are read under the index
  // lock so its pages and the header naming them are seen together. A write open that holds the
  // header lock tries it exclusively, to put the last record right in the same hold; failing
  // that, it lets the header lock go before it waits.
  LockHolder index_lock;
  const bool exclusive =
      header_lock->held() && cdx_lock_file_->TryLock(kCdxLockOffset, 1, true).ok();
  if (!exclusive) {
    header_lock->Release();
    s = Lock(cdx_lock_file_.get(), kCdxLockOffset, "the index lock", false);
    if (!s.ok()) return s;
  }
  index_lock.Hold(cdx_lock_file_.get(), kCdxLockOffset);
  s = CdxFile::Open(env_, cdx_lock_file_, cdx_path_, options_.read_only, &cdx_);
  if (!s.ok()) return s;
  CompileTags();
  // Best effort: a table whose index cannot be put right now still opens, and the check names
  // what is wrong.
  if (exclusive && writable_.ok()) CatchUpLastRecord();
  return Status::OK();
}

void Table::CompileTags() {
  const auto& infos = cdx_->tags();
  tag_state_.clear();
  tag_state_.resize(infos.size());
  writable_ = Status::OK();
  for (std::size_t i = 0; i < infos.size(); ++i) {
    const TagInfo& info = infos[i];
    TagState& st = tag_state_[i];
    std::string what = BaseName(cdx_path_) + " tag " + info.name + ": ";
    Status s = Expr::Compile(info.key_expr, layout_, &st.key);
    if (s.ok()) {
      st.expr_type = st.key->type();
      switch (st.expr_type) {
        case ExprType::kChar:
          st.key_type = 'C';
          if (st.key->width() >= 0 && st.key->width() != info.key_length) {
            s = Status::NotSupported("key expression " + info.key_expr + " gives " +
                                     std::to_string(st.key->width()) + " bytes, the tag holds " +
                                     std::to_string(info.key_length));
          }
          break;
        case ExprType::kNumber:
        case ExprType::kDate:
          st.key_type = 'N';
          if (info.key_length != 8) {
            s = Status::NotSupported("numeric key " + info.key_expr + " with key length " +
                                     std::to_string(info.key_length));
          }
          break;
        case ExprType::kLogical:
          st.key_type = 'L';
          if (info.key_length != 1) {
            s = Status::NotSupported("logical key " + info.key_expr + " with key length " +
                                     std::to_string(info.key_length));
          }
          break;
      }
      cdx_->SetKeyType(static_cast<int>(i), st.key_type);
    }
    if (s.ok() && !info.for_expr.empty()) {
      s = Expr::Compile(info.for_expr, layout_, &st.cond);
      if (s.ok() && st.cond->type() != ExprType::kLogical) {
        s = Status::NotSupported("FOR expression " + info.for_expr + " is not logical");
      }
    }
    if (s.ok() && !info.machine_collation) {
      s = Status::NotSupported("collation " + info.collation + " is not maintained (MACHINE only)");
    }
    if (!s.ok()) {
      st.problem = Status::NotSupported(what + s.message());
      if (writable_.ok()) {
        writable_ =
            Status::NotSupported(what + s.message() + "; the table is read-only to this program");
      }
    }
  }
}

const std::vector<TagInfo>& Table::tags() const { return cdx_ ? cdx_->tags() : kNoTags; }

int Table::FindTag(std::string_view name) const { return cdx_ ? cdx_->FindTag(name) : -1; }

Status Table::ReadHeader(DbfHeader* header) {
  char head[DbfHeader::kEncodedLength];
  std::size_t got = 0;
  Status s = dbf_->ReadAt(0, sizeof head, head, &got);
  if (!s.ok()) return s;
  s = header->DecodeFrom(std::string_view(head, got));
  if (!s.ok()) return Status::Corruption(BaseName(path_) + ": " + s.message());
  if (header->header_length != layout_.header().header_length ||
      header->record_length != layout_.header().record_length) {
    return Status::Corruption(BaseName(path_) + ": the header changed its structure while open");
  }
  known_count_ = header->record_count;
  header_date_ = DateStamp(header->year, header->month, header->day);
  return Status::OK();
}

Status Table::RecordCount(std::uint32_t* count) {
  DbfHeader h;
  Status s = ReadHeader(&h);
  if (!s.ok()) return s;
  *count = h.record_count;
  return Status::OK();
}

Status Table::Read(std::uint32_t recno, Record* record) {
  if (recno < 1 || recno > known_count_) {
    std::uint32_t count = 0;
    Status s = RecordCount(&count);
    if (!s.ok()) return s;
    if (recno < 1 || recno > count) {
      return Status::NotFound(BaseName(path_) + ": no record " + std::to_string(recno) +
                              " (the table has " + std::to_string(count) + ")");
    }
  }
  std::string buf(layout_.header().record_length, '\0');
  std::size_t got = 0;
  Status s = dbf_->ReadAt(layout_.RecordOffset(recno), buf.size(), buf.data(), &got);
  if (!s.ok()) return s;
  if (got != buf.size()) {
    return Status::Corruption(BaseName(path_) + ": record " + std::to_string(recno) +
                              " is cut short by the end of the file");
  }
  record->Assign(buf);
  return Status::OK();
}

Status Table::First(bool* found, std::uint32_t* recno) {
  *found = false;
  const std::uint32_t len = layout_.header().record_length;
  // Records are only ever added at the end: those this table last saw counted are looked at
  // first, and the count is read again only when none of them is live. Flags are read a block
  // of records at a time: a small block first, as the first record is nearly always live, then
  // large ones.
  std::uint32_t from = 1, count = known_count_;
  for (bool again = false;; again = true) {
    if (again) {
      Status s = RecordCount(&count);
      if (!s.ok()) return s;
    }
    std::string buf;
    for (std::uint32_t r = from; r <= count;) {
      const std::uint32_t per_block = std::max<std::uint32_t>(1, (r == 1 ? 4096 : 65536) / len);
      const std::uint32_t n = std::min(per_block, count - r + 1);
      buf.resize(std::size_t{n} * len);
      std::size_t got = 0;
      Status s = dbf_->ReadAt(layout_.RecordOffset(r), buf.size(), buf.data(), &got);
      if (!s.ok()) return s;
      for (std::uint32_t i = 0; i < n && std::size_t{i} * len < got; ++i) {
        if (buf[std::size_t{i} * len] != '*') {
          *found = true;
          *recno = r + i;
          return Status::OK();
        }
      }
      r += n;
    }
    if (again) return Status::OK();
    from = count + 1;
  }
}

Status Table::SeekKey(int tag, std::string_view text, std::string* key) {
  if (!cdx_ || tag < 0 || tag >= static_cast<int>(tag_state_.size())) {
    return Status::NotFound(BaseName(path_) + ": no such index tag");
  }
  const TagInfo& info = cdx_->tags()[tag];
  const TagState& st = tag_state_[tag];
  if (!info.machine_collation) {
    return Status::NotSupported(BaseName(cdx_path_) + " tag " + info.name + ": collation " +
                                info.collation + " cannot be sought");
  }
  ExprValue v;
  v.type = st.key ? st.expr_type : ExprType::kChar;
  std::string t(text);
  while (!t.empty() && t.back() == ' ') t.pop_back();
  switch (v.type) {
    case ExprType::kChar:
      v.text = code_page_->FromUtf8(text);
      break;
    case ExprType::kNumber:
      if (!ParseNumber(t, &v.number)) v.number = 0;
      break;
    case ExprType::kDate: {
      std::string digits;
      for (char c : t) {
        if (c != '-') digits.push_back(c);
      }
      DbfDate d;
      if (t.empty()) {
        v.julian = 0;
      } else if (ParseDate(digits, &d)) {
        v.julian = JulianDay(d);
      } else {
        return Status::InvalidArgument("\"" + t + "\" is not a date YYYY-MM-DD for tag " +
                                       info.name);
      }
      break;
    }
    case ExprType::kLogical:
      v.logical = !t.empty() && (t[0] == 'T' || t[0] == 't' || t[0] == 'Y' || t[0] == 'y');
      break;
  }
  *key = EncodeKey(v, info.key_length);
  return Status::OK();
}

Status Table::Seek(int tag, std::string_view text, bool* found, std::uint32_t* recno) {
  std::string key;
  Status s = SeekKey(tag, text, &key);
  if (!s.ok()) return s;
  if (tag_state_[tag].expr_type == ExprType::kChar) {
    // A key longer than the tag's (trailing blanks aside) matches nothing.
    std::string bytes = code_page_->FromUtf8(text);
    while (!bytes.empty() && bytes.back() == ' ') bytes.pop_back();
    if (bytes.size() > key.size()) {
      *found = false;
      return Status::OK();
    }
  }
  return SeekRaw(tag, key, found, recno);
}

Status Table::SeekRaw(int tag, std::string_view key, bool* found, std::uint32_t* recno) {
  *found = false;
  if (!cdx_ || tag < 0 || tag >= static_cast<int>(tag_state_.size())) {
    return Status::NotFound(BaseName(path_) + ": no such index tag");
  }
  // Held shared for the whole look-up: a writer changes pages in place, and a seek that read
  // half of its change could miss a key that has been there all along.
  LockHolder read_lock;
  Status s = Lock(cdx_lock_file_.get(), kCdxLockOffset, "the index lock", false);
  if (!s.ok()) return s;
  read_lock.Hold(cdx_lock_file_.get(), kCdxLockOffset);
  s = cdx_->Refresh();
  if (!s.ok()) return s;
  return SeekHeld(tag, key, found, recno);
}

Status Table::SeekHeld(int tag, std::string_view key, bool* found, std::uint32_t* recno) {
  *found = false;
  bool hit = false;
  std::uint32_t r = 0;
  Status s = cdx_->Seek(tag, key, &hit, &r);
  if (!s.ok() || !hit) return s;
  Record rec = NewRecord();
  s = Read(r, &rec);
  if (!s.ok()) {
    if (s.IsNotFound()) {
      return Status::Corruption(BaseName(cdx_path_) + " tag " + cdx_->tags()[tag].name +
                                " points to record " + std::to_string(r) + ", beyond the table");
    }
    return s;
  }
  if (!rec.deleted()) {
    *found = true;
    *recno = r;
    return Status::OK();
  }
  // The first match is deleted: look at the other records with the same key, in index order.
  Status inner;
  bool past = false;
  s = cdx_->Walk(tag, [&](std::string_view k, std::uint32_t rn) {
    int c = k.compare(key);
    if (c != 0) {
      // Entries of the key are contiguous; after them there is nothing to find.
      if (past) return false;
      return true;
    }
    past = true;
    Record other = NewRecord();
    inner = Read(rn, &other);
    if (!inner.ok()) return false;
    if (!other.deleted()) {
      *found = true;
      *recno = rn;
      return false;
    }
    return true;
  });
  if (!s.ok()) return s;
  return inner;
}

Status Table::TagKey(int tag, const Record& record, std::uint32_t recno, bool* included,
                     std::string* key) const {
  const TagState& st = tag_state_[tag];
  if (!st.problem.ok()) return st.problem;
  *included = true;
  if (st.cond) {
    ExprValue v;
    Status s = st.cond->Evaluate(record, recno, &v);
    if (!s.ok()) return s;
    *included = v.logical;
  }
  return st.key->EvaluateKey(record, recno, cdx_->tags()[tag].key_length, key);
}

Status Table::Lock(File* file, std::uint64_t offset, const char* what, bool exclusive) {
  std::uint64_t waited = 0;
  for (;;) {
    Status s = file->TryLock(offset, 1, exclusive);
    if (s.ok() || !s.IsLocked()) return s;
    if (waited >= options_.lock_timeout_micros) {
      return Status::Locked(BaseName(path_) + ": " + what + " is held by another program");
    }
    env_->SleepMicros(options_.lock_retry_micros);
    waited += options_.lock_retry_micros;
  }
}

Status Table::CheckWritable() const {
  if (options_.read_only) return Status::NotSupported(BaseName(path_) + " is open read-only");
  if (layout_.header().flags & 0x01 && !cdx_) {
    return Status::NotSupported(BaseName(path_) + ": structural index not open");
  }
  return writable_;
}

Status Table::RefreshIndex() {
  if (!cdx_) return Status::OK();
  if (!cdx_->status().ok() || reload_index_) {
    // A failed change left the index object unusable: start again from the file.
    reload_index_ = false;
    cdx_.reset();
    Status s = CdxFile::Open(env_, cdx_lock_file_, cdx_path_, options_.read_only, &cdx_);
    if (!s.ok()) return s;
    CompileTags();
    if (!writable_.ok()) return writable_;
  }
  return cdx_->Refresh();
}

Status Table::CatchUpLastRecord() {
  // The caller holds the header lock and the index lock, so no other program is in the middle of
  // an append or of an index change.
  const std::uint32_t count = known_count_;
  if (count == 0) return Status::OK();
  // Whether record r (read into *rec unless it is there) is in the tag under the key it has
  // now (true when its FOR clause keeps it out, or a unique tag holds its key for another record).
  auto indexed = [&](int tag, std::uint32_t r, Record* rec, bool read, std::string* key,
                     bool* yes) -> Status {
    Status rs = read ? Read(r, rec) : Status::OK();
    if (!rs.ok()) return rs;
    bool in = false;
    rs = TagKey(tag, *rec, r, &in, key);
    if (!rs.ok() || !in) {
      *yes = true;
      return rs;
    }
    if (cdx_->tags()[static_cast<std::size_t>(tag)].unique) {
      std::uint32_t at = 0;
      return cdx_->Seek(tag, *key, yes, &at);
    }
    return cdx_->Contains(tag, *key, r, yes);
  };
  // First find what is missing, then change the index.
  struct Fix {
    int tag;
    std::string key;
    std::vector<std::string> stale;  // keys the record is still indexed under
  };
  std::vector<Fix> fixes;
  Record last = NewRecord(), other = NewRecord();
  auto find_missing = [&]() -> Status {
    fixes.clear();
    Status fs = Read(count, &last);
    if (!fs.ok()) return fs;
    for (std::size_t t = 0; t < tag_state_.size(); ++t) {
      const int tag = static_cast<int>(t);
      Fix fix{tag, {}, {}};
      bool present = false;
      fs = indexed(tag, count, &last, false, &fix.key, &present);
      if (!fs.ok()) return fs;
      if (present) continue;
      // Only the last record may be out of step: when the records before it are not indexed
      // under their keys either, this is damage (a changed header, another program's index), not
      // an interrupted write, and it is left to the check and a rebuild.
      for (std::uint32_t r : {count - 1, 1u}) {
        if (r < 1 || r >= count) continue;
        std::string key;
        fs = indexed(tag, r, &other, true, &key, &present);
        if (!fs.ok()) return fs;
        if (!present) {
          fixes.clear();
          return Status::OK();
        }
      }
      // The walk happens only here, when the last record is missing from the tag.
      fs = cdx_->Walk(tag, [&](std::string_view k, std::uint32_t r) {
        if (r == count) fix.stale.emplace_back(k);
        return true;
      });
      if (!fs.ok()) return fs;
      fixes.push_back(std::move(fix));
    }
    return Status::OK();
  };
  // In nearly every open the last record is indexed, which a look shows without its lock. Else
  // an editor of the last record holds its lock, tried here: held, what we saw may be a write in
  // progress, not an interrupted one, and nothing is done; taken, the record is looked at again.
  Status s = find_missing();
  if (!s.ok() || fixes.empty()) return s;
  const std::uint64_t record_lock_at = locks_.record(count);
  s = dbf_->TryLock(record_lock_at, 1, true);
  if (!s.ok()) return s;
  LockHolder record_lock;
  record_lock.Hold(dbf_.get(), record_lock_at);
  s = find_missing();
  if (!s.ok()) return s;
  if (fixes.empty()) return Status::OK();
  s = BeginWrite();
  for (const Fix& fix : fixes) {
    for (std::size_t i = 0; s.ok() && i < fix.stale.size(); ++i) {
      s = cdx_->Delete(fix.tag, fix.stale[i], count);
      if (s.ok() && cdx_->tags()[static_cast<std::size_t>(fix.tag)].unique) {
        s = UniqueRefill(fix.tag, fix.stale[i], count);
      }
    }
    if (s.ok()) s = cdx_->Insert(fix.tag, fix.key, count);
  }
  return EndWrite(FinishIndex(s));
}

Status Table::WriteRecord(std::uint32_t recno, const std::string& bytes, bool with_end_marker) {
  std::string out = bytes;
  if (with_end_marker) out.push_back('\x1A');
  return dbf_->WriteAt(layout_.RecordOffset(recno), out.data(), out.size());
}

Status Table::WriteHeaderStamp(std::uint32_t count, bool with_count) {
  const std::tm tm_now = LocalToday();
  DbfHeader& h = layout_.mutable_header();
  h.year = tm_now.tm_year + 1900;
  h.month = tm_now.tm_mon + 1;
  h.day = tm_now.tm_mday;
  h.record_count = count;
  header_date_ = DateStamp(h.year, h.month, h.day);
  if (with_count) known_count_ = count;
  char buf[DbfHeader::kCountLength];
  h.EncodeCountTo(buf);
  // An edit writes only the date: another program may be appending and owns the count.
  return dbf_->WriteAt(DbfHeader::kCountOffset, buf, with_count ? sizeof buf : 3);
}

Status Table::UniqueRefill(int tag, const std::string& key, std::uint32_t skip_recno) {
  // The record that carried a unique tag's key lost it; FoxPro's unique tag then holds the key of
  // the first other record that has it, if any.
  std::uint32_t count = 0;
  Status s = RecordCount(&count);
  if (!s.ok()) return s;
  Record rec = NewRecord();
  for (std::uint32_t r = 1; r <= count; ++r) {
    if (r == skip_recno) continue;
    s = Read(r, &rec);
    if (!s.ok()) return s;
    bool in = false;
    std::string k;
    s = TagKey(tag, rec, r, &in, &k);
    if (!s.ok()) return s;
    if (in && k == key) return cdx_->Insert(tag, k, r);
  }
  return Status::OK();
}

Status Table::UpdateTags(std::uint32_t recno, const std::string* old_bytes,
                         const std::string& new_bytes) {
  Record old_rec = NewRecord(), new_rec = NewRecord();
  new_rec.Assign(new_bytes);
  if (old_bytes) old_rec.Assign(*old_bytes);
  for (std::size_t t = 0; t < tag_state_.size(); ++t) {
    int tag = static_cast<int>(t);
    bool new_in = false, old_in = false;
    std::string new_key, old_key;
    Status s = TagKey(tag, new_rec, recno, &new_in, &new_key);
    if (!s.ok()) return s;
    if (old_bytes) {
      s = TagKey(tag, old_rec, recno, &old_in, &old_key);
      if (!s.ok()) return s;
    }
    if (old_in == new_in && old_key == new_key) continue;
    bool unique = cdx_->tags()[t].unique;
    if (old_in && new_in && !unique) {
      s = cdx_->Replace(tag, old_key, new_key, recno);
      if (!s.ok()) return s;
      continue;
    }
    if (old_in) {
      s = cdx_->Delete(tag, old_key, recno);
      if (s.ok() && unique) {
        s = UniqueRefill(tag, old_key, recno);
      } else if (s.IsNotFound()) {
        // A unique tag indexes another record under this key; otherwise the index already lacked
        // the entry, and the new one below puts the record right.
        s = Status::OK();
      }
      if (!s.ok()) return s;
    }
    if (new_in) {
      s = cdx_->Insert(tag, new_key, recno);
      if (!s.ok()) return s;
    }
  }
  return Status::OK();
}

Status Table::FinishIndex(Status s) {
  if (!cdx_) return s;
  if (s.ok()) s = cdx_->Flush();
  return s;
}

Status Table::BeginWrite() {
  if (staged_dbf_ == nullptr) return Status::OK();
  if (!wal_) {
    const std::string path = WriteAheadPath(path_);
    Status s = env_->CreateIfMissing(path, path_);
    if (s.ok()) s = env_->OpenFile(path, false, &wal_);
    if (!s.ok()) return s;
  }
  staged_dbf_->Hold();
  if (staged_cdx_ != nullptr) staged_cdx_->Hold();
  return Status::OK();
}

Status Table::EndWrite(Status s) {
  if (staged_dbf_ == nullptr || !staged_dbf_->holding()) return s;
  if (s.ok()) {
    s = CommitStaged(wal_.get(), staged_dbf_, staged_cdx_);
  } else {
    staged_dbf_->Discard();
    if (staged_cdx_ != nullptr) staged_cdx_->Discard();
  }
  if (!s.ok()) {
    // What this object knows of the files may be what was held back and is not in them: the
    // count and the date are read again, and the index from the file before its next use.
    known_count_ = 0;
    header_date_ = 0;
    reload_index_ = true;
  }
  return s;
}

Status Table::Append(const Record& record, std::uint32_t* recno, int unique_tag,
                     std::uint32_t* existing) {
  Status s = CheckWritable();
  if (!s.ok()) return s;
  LockHolder header_lock, record_lock, index_lock;
  s = Lock(dbf_.get(), locks_.header(), "the table's header lock");
  if (!s.ok()) return s;
  header_lock.Hold(dbf_.get(), locks_.header());
  DbfHeader h;
  s = ReadHeader(&h);
  if (!s.ok()) return s;
  if (h.record_count == 0xFFFFFFFFu) return Status::InvalidArgument(BaseName(path_) + " is full");
  // The new record is locked from before its bytes are written until its index entries are in,
  // as FoxPro does: another program's open leaves a locked last record alone.
  const std::uint64_t record_lock_at = locks_.record(h.record_count + 1);
  s = Lock(dbf_.get(), record_lock_at, "the new record's lock");
  if (!s.ok()) return s;
  record_lock.Hold(dbf_.get(), record_lock_at);
  if (cdx_) {
    s = Lock(cdx_lock_file_.get(), kCdxLockOffset, "the index lock");
    if (!s.ok()) return s;
    index_lock.Hold(cdx_lock_file_.get(), kCdxLockOffset);
    s = RefreshIndex();
    if (!s.ok()) return s;
  }
  std::uint64_t size = 0;
  s = dbf_->Size(&size);
  if (!s.ok()) return s;
  if (size < layout_.FileLength(h.record_count) - 1) {
    return Status::Corruption(BaseName(path_) + ": header counts " +
                              std::to_string(h.record_count) + " records, the file is shorter");
  }
  const std::uint32_t n = h.record_count + 1;
  if (unique_tag >= 0) {
    // Under the header lock every append of another program has finished, its index included,
    // and none can start: the key found here or not stays so until this append is done.
    *existing = 0;
    if (!cdx_ || unique_tag >= static_cast<int>(tag_state_.size())) {
      return Status::NotFound(BaseName(path_) + ": no such index tag");
    }
    bool in = false, found = false;
    std::string key;
    std::uint32_t r = 0;
    s = TagKey(unique_tag, record, n, &in, &key);
    if (s.ok()) s = SeekHeld(unique_tag, key, &found, &r);
    if (!s.ok()) return s;
    if (found) {
      *existing = r;
      return Status::OK();
    }
  }
  std::string bytes = record.bytes();
  bytes[0] = ' ';
  // Compute every key before anything is written.
  for (std::size_t t = 0; t < tag_state_.size(); ++t) {
    bool in = false;
    std::string key;
    s = TagKey(static_cast<int>(t), record, n, &in, &key);
    if (!s.ok()) return s;
  }
  if (options_.observer) {
    s = options_.observer->BeforeWrite(*this, n, nullptr, bytes);
    if (!s.ok()) return s;
  }
  s = BeginWrite();
  if (s.ok()) s = WriteRecord(n, bytes, true);
  if (s.ok()) s = WriteHeaderStamp(n, true);
  // Bytes of an earlier, interrupted append beyond the new end marker.
  if (s.ok() && size > layout_.FileLength(n)) s = dbf_->Truncate(layout_.FileLength(n));
  if (s.ok() && cdx_) s = UpdateTags(n, nullptr, bytes);
  s = EndWrite(FinishIndex(s));
  if (s.ok() && options_.observer) s = options_.observer->AfterWrite(*this, n, bytes);
  if (!s.ok()) return s;
  *recno = n;
  return Status::OK();
}

Status Table::Update(std::uint32_t recno, const Record& changes) {
  Status s = CheckWritable();
  if (!s.ok()) return s;
  LockHolder header_lock, record_lock;
  if (options_.observer || staged_dbf_ != nullptr) {
    // The observer's lines come in the order of the writes of every program, and a synced write
    // owns the table's NAME.WAL: an edit is serialised with the appends (and the other observed
    // or synced edits) by the header lock.
    s = Lock(dbf_.get(), locks_.header(), "the table's header lock");
    if (!s.ok()) return s;
    header_lock.Hold(dbf_.get(), locks_.header());
  }
  const std::uint64_t lock_at = locks_.record(recno);
  s = Lock(dbf_.get(), lock_at, "the record lock");
  if (!s.ok()) return s;
  record_lock.Hold(dbf_.get(), lock_at);
  return EditLocked(recno, changes);
}

Status Table::EditLocked(std::uint32_t recno, const Record& changes) {
  // Records are never taken away while the table is open, and only today's date is written: an
  // edit of a record this table has seen counted, when the header has today's date, reads
  // neither the count nor the date again.
  Status s;
  const int today = Today();
  if (recno < 1 || recno > known_count_ || header_date_ != today) {
    DbfHeader h;
    s = ReadHeader(&h);
    if (!s.ok()) return s;
    if (recno < 1 || recno > known_count_) {
      return Status::NotFound(BaseName(path_) + ": no record " + std::to_string(recno));
    }
  }
  LockHolder index_lock;
  if (cdx_) {
    s = Lock(cdx_lock_file_.get(), kCdxLockOffset, "the index lock");
    if (!s.ok()) return s;
    index_lock.Hold(cdx_lock_file_.get(), kCdxLockOffset);
    s = RefreshIndex();
    if (!s.ok()) return s;
  }
  Record current = NewRecord();
  s = Read(recno, &current);
  if (!s.ok()) return s;
  std::string old_bytes = current.bytes();
  std::string new_bytes = old_bytes;
  changes.ApplyChangesTo(&new_bytes);
  if (new_bytes == old_bytes) return Status::OK();
  Record next = NewRecord();
  next.Assign(new_bytes);
  for (std::size_t t = 0; t < tag_state_.size(); ++t) {
    bool in = false;
    std::string key;
    s = TagKey(static_cast<int>(t), next, recno, &in, &key);
    if (!s.ok()) return s;
  }
  if (options_.observer) {
    s = options_.observer->BeforeWrite(*this, recno, &old_bytes, new_bytes);
    if (!s.ok()) return s;
  }
  s = BeginWrite();
  if (s.ok()) s = WriteRecord(recno, new_bytes, false);
  // The date of the last update: written only when it is not today's already.
  if (s.ok() && header_date_ != today) s = WriteHeaderStamp(known_count_, false);
  if (s.ok() && cdx_) s = UpdateTags(recno, &old_bytes, new_bytes);
  s = EndWrite(FinishIndex(s));
  if (s.ok() && options_.observer) s = options_.observer->AfterWrite(*this, recno, new_bytes);
  return s;
}

Status Table::TryHoldLocks(const std::vector<std::uint32_t>& recnos, bool header) {
  ReleaseHeldLocks();
  std::vector<std::uint32_t> records = recnos;
  std::sort(records.begin(), records.end());
  records.erase(std::unique(records.begin(), records.end()), records.end());
  if (!records.empty() && records.front() == 0) {
    return Status::InvalidArgument(BaseName(path_) + ": no record 0");
  }
  for (std::size_t i = header ? 0 : 1; i <= records.size(); ++i) {
    const std::uint64_t at = i == 0 ? locks_.header() : locks_.record(records[i - 1]);
    Status s = dbf_->TryLock(at, 1, true);
    if (!s.ok()) {
      ReleaseHeldLocks();
      if (!s.IsLocked()) return s;
      return Status::Locked(BaseName(path_) + ": " +
                            (i == 0 ? std::string("the table's header lock")
                                    : "record " + std::to_string(records[i - 1]) + "'s lock") +
                            " is held by another program");
    }
    held_.push_back(at);
  }
  return Status::OK();
}

void Table::ReleaseHeldLocks() {
  for (std::uint64_t at : held_) dbf_->Unlock(at, 1);
  held_.clear();
}

Status Table::WriteHeld(std::uint32_t recno, const Record& changes) {
  Status s = CheckWritable();
  if (!s.ok()) return s;
  auto held = [&](std::uint64_t at) {
    return std::find(held_.begin(), held_.end(), at) != held_.end();
  };
  if (recno == 0 || !held(locks_.record(recno))) {
    return Status::NotSupported(BaseName(path_) + ": record " + std::to_string(recno) +
                                "'s lock is not held");
  }
  LockHolder header_lock;
  if ((options_.observer || staged_dbf_ != nullptr) && !held(locks_.header())) {
    s = Lock(dbf_.get(), locks_.header(), "the table's header lock");
    if (!s.ok()) return s;
    header_lock.Hold(dbf_.get(), locks_.header());
  }
  return EditLocked(recno, changes);
}

}  // namespace xbase
