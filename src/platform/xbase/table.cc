#include "platform/xbase/table.h"

#include <algorithm>
#include <cctype>
#include <ctime>

#include "platform/xbase/coding.h"

namespace xbase {
namespace {

const std::vector<TagInfo> kNoTags;

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

 private:
  File* file_ = nullptr;
  std::uint64_t offset_ = 0;
};

std::tm LocalToday() {
  std::time_t now = std::time(nullptr);
  std::tm tm_now{};
  localtime_r(&now, &tm_now);
  return tm_now;
}

}  // namespace

std::string SiblingPath(Env* env, const std::string& dbf_path, const std::string& ext) {
  std::string stem = dbf_path;
  std::size_t slash = stem.find_last_of('/');
  std::size_t dot = stem.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) stem.resize(dot);
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
  // One read takes the header and field descriptors of any ordinary table; a longer header is
  // read again in full.
  std::string bytes(4096, '\0');
  std::size_t got = 0;
  s = dbf_->ReadAt(0, bytes.size(), bytes.data(), &got);
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
  // The size is taken after the header: another program appending meanwhile only makes the file
  // longer than the count we read, never shorter.
  std::uint64_t size = 0;
  s = dbf_->Size(&size);
  if (!s.ok()) return s;
  if (size < layout_.FileLength(lh.record_count) - 1) {
    return Status::Corruption(BaseName(path_) + ": header counts " +
                              std::to_string(lh.record_count) + " records of " +
                              std::to_string(lh.record_length) + " bytes, the file has room for " +
                              std::to_string((size - lh.header_length) / lh.record_length));
  }
  known_count_ = lh.record_count;
  locks_ = LockLayout::For(layout_);
  code_page_ = &CodePage::ForMark(lh.code_page);
  if (lh.flags & 0x01) {
    cdx_path_ = SiblingPath(env_, path_, ".CDX");
    s = OpenIndex(cdx_path_);
    if (!s.ok()) {
      if (env_->FileExists(cdx_path_)) return s;
      return Status::NotFound(BaseName(path_) + ": the table has a structural index, but " +
                              BaseName(cdx_path_) + " is missing");
    }
    // Best effort: a table whose index cannot be put right now still opens, and the check names
    // what is wrong.
    if (!options_.read_only && writable_.ok()) CatchUpLastRecord();
  }
  return Status::OK();
}

Status Table::OpenIndex(const std::string& cdx_path) {
  std::unique_ptr<File> file;
  Status s = env_->OpenFile(cdx_path, options_.read_only, &file);
  if (!s.ok()) return s;
  cdx_lock_file_ = std::move(file);
  {
    // Another program may be writing the index right now: read its headers under the shared
    // index lock so its pages and the header naming them are seen together.
    LockHolder read_lock;
    s = Lock(cdx_lock_file_.get(), kCdxLockOffset, "the index lock", false);
    if (!s.ok()) return s;
    read_lock.Hold(cdx_lock_file_.get(), kCdxLockOffset);
    s = CdxFile::Open(env_, cdx_lock_file_, cdx_path, options_.read_only, &cdx_);
    if (!s.ok()) return s;
  }
  CompileTags();
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
  return Status::OK();
}

Status Table::RecordCount(std::uint32_t* count) {
  DbfHeader h;
  Status s = ReadHeader(&h);
  if (!s.ok()) return s;
  known_count_ = h.record_count;
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
  std::uint32_t count = 0;
  Status s = RecordCount(&count);
  if (!s.ok()) return s;
  const std::uint32_t len = layout_.header().record_length;
  // Read the flags a block of records at a time: a small block first, as the first record is
  // nearly always live, then large ones.
  std::uint32_t per_block = std::max<std::uint32_t>(1, 4096 / len);
  std::string buf;
  for (std::uint32_t r = 1; r <= count; r += per_block) {
    if (r > 1) per_block = std::max<std::uint32_t>(1, 65536 / len);
    std::uint32_t n = std::min(per_block, count - r + 1);
    buf.resize(std::size_t{n} * len);
    std::size_t got = 0;
    s = dbf_->ReadAt(layout_.RecordOffset(r), buf.size(), buf.data(), &got);
    if (!s.ok()) return s;
    for (std::uint32_t i = 0; i < n && std::size_t{i} * len < got; ++i) {
      if (buf[std::size_t{i} * len] != '*') {
        *found = true;
        *recno = r + i;
        return Status::OK();
      }
    }
  }
  return Status::OK();
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
  if (!cdx_->status().ok()) {
    // A failed change left the index object unusable: start again from the file.
    cdx_.reset();
    Status s = CdxFile::Open(env_, cdx_lock_file_, cdx_path_, options_.read_only, &cdx_);
    if (!s.ok()) return s;
    CompileTags();
    if (!writable_.ok()) return writable_;
  }
  return cdx_->Refresh();
}

Status Table::CatchUpLastRecord() {
  // Only when no other program is in the middle of a write: an appender holds the header lock,
  // an editor the record's lock, and either holds the index lock until its index is flushed.
  // Any of them held means what we would see may be a write in progress, not an interrupted
  // one, so nothing is done (the locks are only tried, never waited for).
  Status s = dbf_->TryLock(locks_.header(), 1, true);
  if (!s.ok()) return s;
  LockHolder header_lock, index_lock, record_lock;
  header_lock.Hold(dbf_.get(), locks_.header());
  s = cdx_lock_file_->TryLock(kCdxLockOffset, 1, true);
  if (!s.ok()) return s;
  index_lock.Hold(cdx_lock_file_.get(), kCdxLockOffset);
  s = RefreshIndex();
  if (!s.ok()) return s;
  std::uint32_t count = 0;
  s = RecordCount(&count);
  if (!s.ok() || count == 0) return s;
  const std::uint64_t record_lock_at = locks_.record(count);
  s = dbf_->TryLock(record_lock_at, 1, true);
  if (!s.ok()) return s;
  record_lock.Hold(dbf_.get(), record_lock_at);
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
  Record last = NewRecord(), other = NewRecord();
  s = Read(count, &last);
  if (!s.ok()) return s;
  // First find what is missing, then change the index.
  struct Fix {
    int tag;
    std::string key;
    std::vector<std::string> stale;  // keys the record is still indexed under
  };
  std::vector<Fix> fixes;
  for (std::size_t t = 0; t < tag_state_.size(); ++t) {
    const int tag = static_cast<int>(t);
    Fix fix{tag, {}, {}};
    bool present = false;
    s = indexed(tag, count, &last, false, &fix.key, &present);
    if (!s.ok()) return s;
    if (present) continue;
    // Only the last record may be out of step: when the records before it are not indexed under
    // their keys either, this is damage (a changed header, another program's index), not an
    // interrupted write, and it is left to the check and a rebuild.
    for (std::uint32_t r : {count - 1, 1u}) {
      if (r < 1 || r >= count) continue;
      std::string key;
      s = indexed(tag, r, &other, true, &key, &present);
      if (!s.ok()) return s;
      if (!present) return Status::OK();
    }
    // The walk happens only here, when the last record is missing from the tag.
    s = cdx_->Walk(tag, [&](std::string_view k, std::uint32_t r) {
      if (r == count) fix.stale.emplace_back(k);
      return true;
    });
    if (!s.ok()) return s;
    fixes.push_back(std::move(fix));
  }
  if (fixes.empty()) return Status::OK();
  for (const Fix& fix : fixes) {
    for (const std::string& old_key : fix.stale) {
      s = cdx_->Delete(fix.tag, old_key, count);
      if (s.ok() && cdx_->tags()[static_cast<std::size_t>(fix.tag)].unique) {
        s = UniqueRefill(fix.tag, old_key, count);
      }
      if (!s.ok()) return s;
    }
    s = cdx_->Insert(fix.tag, fix.key, count);
    if (!s.ok()) return s;
  }
  return FinishIndex(Status::OK());
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
  if (s.ok()) s = options_.sync ? cdx_->Sync() : cdx_->Flush();
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
  s = WriteRecord(n, bytes, true);
  if (!s.ok()) return s;
  s = WriteHeaderStamp(n, true);
  if (!s.ok()) return s;
  known_count_ = n;
  if (size > layout_.FileLength(n)) {
    // Bytes of an earlier, interrupted append beyond the new end marker.
    s = dbf_->Truncate(layout_.FileLength(n));
    if (!s.ok()) return s;
  }
  if (options_.sync) {
    s = dbf_->Sync();
    if (!s.ok()) return s;
  }
  if (cdx_) s = FinishIndex(UpdateTags(n, nullptr, bytes));
  if (s.ok() && options_.observer) s = options_.observer->AfterWrite(*this, n, bytes);
  if (!s.ok()) return s;
  *recno = n;
  return Status::OK();
}

Status Table::Update(std::uint32_t recno, const Record& changes) {
  Status s = CheckWritable();
  if (!s.ok()) return s;
  LockHolder header_lock, record_lock;
  if (options_.observer) {
    // The observer's lines come in the order of the writes of every program: an edit is
    // serialised with the appends (and the other observed edits) by the header lock.
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
  DbfHeader h;
  Status s = ReadHeader(&h);
  if (!s.ok()) return s;
  const std::uint32_t count = known_count_ = h.record_count;
  if (recno < 1 || recno > count) {
    return Status::NotFound(BaseName(path_) + ": no record " + std::to_string(recno));
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
  s = WriteRecord(recno, new_bytes, false);
  if (!s.ok()) return s;
  // The date of the last update: written only when it is not today's already.
  const std::tm today = LocalToday();
  if (h.year != today.tm_year + 1900 || h.month != today.tm_mon + 1 || h.day != today.tm_mday) {
    s = WriteHeaderStamp(count, false);
    if (!s.ok()) return s;
  }
  if (options_.sync) {
    s = dbf_->Sync();
    if (!s.ok()) return s;
  }
  if (cdx_) s = FinishIndex(UpdateTags(recno, &old_bytes, new_bytes));
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
  if (options_.observer && !held(locks_.header())) {
    s = Lock(dbf_.get(), locks_.header(), "the table's header lock");
    if (!s.ok()) return s;
    header_lock.Hold(dbf_.get(), locks_.header());
  }
  return EditLocked(recno, changes);
}

}  // namespace xbase
