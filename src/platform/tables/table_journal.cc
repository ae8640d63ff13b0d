#include "platform/tables/table_journal.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "platform/runtime_error.h"

namespace xfr {

namespace {

using xbase::BaseName;

constexpr std::uint64_t kJournalLock = 0x7FFFFFFE;
constexpr int kLockTries = 600;  // 3 s at 5 ms, as the tables wait for their locks
constexpr std::uint64_t kLockRetryMicros = 5'000;
// A last line longer than this is not one the journal wrote.
constexpr std::size_t kMaxTail = 1 << 20;

FieldTexts TextsOf(const xbase::Table& table, const std::string& bytes) {
  xbase::Record record = table.NewRecord();
  record.Assign(bytes);
  FieldTexts fields;
  const auto& layout = table.layout().fields();
  for (std::size_t f = 0; f < layout.size(); ++f) {
    fields.emplace_back(layout[f].name, record.Text(static_cast<int>(f)));
  }
  return fields;
}

// The journal's Windows-style path, for messages.
std::string Shown(std::string_view data_dir) {
  return data_dir.empty() ? std::string(kJournalName)
                          : std::string(data_dir) + "\\" + std::string(kJournalName);
}

// Releases the journal's lock however the append ends.
struct Unlocker {
  xbase::File* file;
  ~Unlocker() { file->Unlock(kJournalLock, 1); }
};

}  // namespace

TableJournal::TableJournal(Resolver resolver, xbase::Env* env, Clock* clock,
                           std::string workstation, std::string user, std::uint64_t roll_bytes)
    : resolver_(std::move(resolver)),
      env_(env ? env : xbase::Env::Default()),
      clock_(clock),
      workstation_(std::move(workstation)),
      user_(std::move(user)),
      roll_bytes_(roll_bytes) {}

TableJournal::~TableJournal() = default;

std::string TableJournal::Now() {
  const Date d = clock_->Today();
  const int s = static_cast<int>(clock_->SecondsSinceMidnight());
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", d.year, d.month, d.day,
                s / 3600 % 24, s / 60 % 60, s % 60);
  return buf;
}

void TableJournal::Begin(std::string_view data_dir, std::string_view command,
                         std::string_view file_num) {
  End();
  const std::string shown = Shown(data_dir);
  const std::string path = resolver_(data_dir, kJournalName);
  // The file is made at the first line: a run that writes nothing leaves nothing behind.
  std::unique_ptr<xbase::File> file;
  xbase::Status s = path.empty()              ? xbase::Status::IOError("no such directory")
                    : env_->FileExists(path) ? env_->OpenFile(path, false, &file)
                                             : env_->CanCreate(path);
  if (!s.ok()) {
    throw RuntimeError(75, "The transfer journal " + shown + " cannot be written (" + s.message() +
                               "). Nothing was written. Make sure this user may create and "
                               "write that file in the tracking data directory, then try again");
  }
  file_ = std::move(file);
  path_ = path;
  shown_ = shown;
  std::random_device random;
  char id[16];
  std::snprintf(id, sizeof id, "%08x", static_cast<unsigned>(random()));
  transfer_ = JournalLine{};
  transfer_.time = Now();
  transfer_.workstation = workstation_;
  transfer_.user = user_;
  transfer_.transfer = transfer_.time + " " + workstation_ + " " + id;
  transfer_.command = std::string(command);
  transfer_.file_num = std::string(file_num);
}

void TableJournal::Finish() {
  if (!path_.empty()) AppendLines(std::nullopt);
}

void TableJournal::End() {
  // A transfer that stopped at a failure after a write that completed: that write's line.
  if (!path_.empty() && pending_) AppendLines(std::nullopt);
  pending_.reset();
  file_.reset();
  path_.clear();
}

std::unique_ptr<JournalFiles> TableJournal::Files(std::string_view data_dir) {
  const std::string dir(data_dir);
  return JournalFilesIn(
      env_, [this, dir](std::string_view name) { return resolver_(dir, name); }, Shown(data_dir));
}

xbase::Status TableJournal::BeforeWrite(const xbase::Table& table, std::uint32_t recno,
                                        const std::string* before, const std::string& after) {
  if (path_.empty()) return xbase::Status::OK();
  JournalLine line = transfer_;
  if (before) line.before = TextsOf(table, *before);
  line.after = TextsOf(table, after);
  line.deleted = !after.empty() && after[0] == '*';
  return Append(std::move(line), table, recno);
}

xbase::Status TableJournal::AfterWrite(const xbase::Table& table, std::uint32_t recno,
                                       const std::string& after) {
  if (path_.empty()) return xbase::Status::OK();
  JournalLine line = transfer_;
  line.after_stage = true;
  line.after = TextsOf(table, after);
  line.deleted = !after.empty() && after[0] == '*';
  return Append(std::move(line), table, recno);
}

std::string TableJournal::TakeFailure() { return std::exchange(failure_, {}); }

xbase::Status TableJournal::Append(JournalLine line, const xbase::Table& table,
                                   std::uint32_t recno) {
  line.table = BaseName(table.path());
  line.record = recno;
  if (line.after_stage) {
    pending_ = std::move(line);
    return xbase::Status::OK();
  }
  table_ = table.path();
  sync_ = table.options().sync;
  xbase::Status s = AppendLines(std::move(line));
  if (!s.ok()) {
    failure_ = "The transfer journal " + shown_ + " could not be written (" + s.message() +
               "). The record was not written; the transfer stopped before it. Make sure this "
               "user may write that file, then try again";
  }
  return s;
}

xbase::Status TableJournal::AppendLines(std::optional<JournalLine> line) {
  // The next write's "before" line first, then the last write's "after" line, each synced (when
  // the tables' writes are): an "after" line on the disk means that the next "before" line is
  // there too, so that a transfer a power cut stopped between two writes always shows a write
  // without its "after" line, whatever sectors the cut kept.
  std::vector<std::string> texts;
  for (std::optional<JournalLine>* l : {&line, &pending_}) {
    if (!*l) continue;
    (*l)->time = Now();
    (*l)->seq = ++transfer_.seq;
    texts.push_back(EncodeJournalLine(**l) + "\n");
  }
  pending_.reset();
  if (texts.empty()) return xbase::Status::OK();
  xbase::Status s;
  if (!file_) {
    // Made like the table being written, so that whoever may write the tables may write it.
    s = env_->CreateIfMissing(path_, table_);
    if (s.ok()) s = env_->OpenFile(path_, false, &file_);
    if (!s.ok()) return s;
  }
  for (int tries = 0;; ++tries) {
    s = file_->TryLock(kJournalLock, 1, true);
    if (s.ok() || !s.IsLocked()) break;
    if (tries == kLockTries) {
      return xbase::Status::Locked(std::string(kJournalName) +
                                   ": the journal's lock is held by another program");
    }
    env_->SleepMicros(kLockRetryMicros);
  }
  if (!s.ok()) return s;
  Unlocker unlock{file_.get()};
  std::uint64_t size = 0;
  s = EndLastLine(&size);
  for (std::size_t i = 0; s.ok() && i < texts.size(); size += texts[i++].size()) {
    // A roll that fails leaves the journal as it was; it is tried again at the next line.
    if (size > 0 && size + texts[i].size() > roll_bytes_ && Roll(size).ok()) size = 0;
    s = file_->WriteAt(size, texts[i].data(), texts[i].size());
    if (s.ok() && sync_) s = file_->Sync();
    if (!s.ok()) return xbase::Status::IOError(path_ + ": " + s.message());
  }
  return s;
}

xbase::Status TableJournal::EndLastLine(std::uint64_t* size) {
  xbase::Status s = file_->Size(size);
  if (!s.ok()) return s;
  // The bytes after the last line end, read back a block at a time (kept while they could still
  // be a line); nobody else writes without the lock, so they are what a writer left.
  std::string tail;
  std::uint64_t start = *size;
  for (bool found = false; start > 0 && !found;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(4096, start));
    std::string block(n, '\0');
    std::size_t got = 0;
    s = file_->ReadAt(start - n, n, block.data(), &got);
    if (!s.ok()) return s;
    block.resize(got);
    const std::size_t nl = block.rfind('\n');
    found = nl != std::string::npos;
    const std::size_t from = found ? nl + 1 : 0;
    if (tail.size() <= kMaxTail) tail.insert(0, block, from);
    start -= n - from;
  }
  if (start == *size) return xbase::Status::OK();
  JournalLine whole;
  std::string why;
  if (tail.size() <= kMaxTail && DecodeJournalLine(tail, &whole, &why)) {
    // A whole line that lacks only its line end (an editor or a copy may leave it so).
    s = file_->WriteAt(*size, "\n", 1);
    if (s.ok()) ++*size;
    return s;
  }
  // Cut short by a crash of its writer: the table write it announced never started.
  s = file_->Truncate(start);
  if (s.ok()) *size = start;
  return s;
}

xbase::Status TableJournal::Roll(std::uint64_t size) {
  // The older copies move on first (the oldest is let go): a file another program is reading
  // may refuse to move, and then nothing else is done. Then the lines are copied to a new file
  // made like the journal, which becomes TRANSFER.LOG.1, and the journal is emptied: every
  // workstation goes on appending to the same file. A roll cut short by a crash before the
  // journal is emptied leaves TRANSFER.LOG.1 beginning with the journal's first line, which the
  // readers pass over.
  auto old = [&](int k) { return path_ + "." + std::to_string(k); };
  xbase::Status s;
  for (int k = kJournalOldFiles - 1; k >= 1 && s.ok(); --k) {
    if (env_->FileExists(old(k))) s = env_->RenameFile(old(k), old(k + 1));
  }
  const std::string copy = path_ + ".new";
  std::unique_ptr<xbase::File> out;
  if (s.ok()) s = env_->CreateIfMissing(copy, path_);
  if (s.ok()) s = env_->OpenFile(copy, false, &out);
  if (s.ok()) s = out->Truncate(0);
  std::string block;
  for (std::uint64_t at = 0; s.ok() && at < size; at += block.size()) {
    block.resize(static_cast<std::size_t>(std::min<std::uint64_t>(1 << 16, size - at)));
    std::size_t got = 0;
    s = file_->ReadAt(at, block.size(), block.data(), &got);
    if (s.ok() && got != block.size()) s = xbase::Status::IOError(path_ + ": read short");
    if (s.ok()) s = out->WriteAt(at, block.data(), block.size());
  }
  // The copy is on the disk before the journal is emptied.
  if (s.ok()) s = out->Sync();
  out.reset();
  if (s.ok()) s = env_->RenameFile(copy, old(1));
  if (s.ok()) s = file_->Truncate(0);
  return s;
}

namespace {

class FilesIn final : public JournalFiles {
 public:
  FilesIn(xbase::Env* env, std::function<std::string(std::string_view)> path_of, std::string shown)
      : env_(env), path_of_(std::move(path_of)), shown_(std::move(shown)) {}

  bool Size(int k, std::uint64_t* size) override {
    xbase::File* file = Open(k);
    if (!file) return false;
    Check(file->Size(size), k);
    return true;
  }

  std::string Read(int k, std::uint64_t offset, std::size_t n) override {
    xbase::File* file = Open(k);
    std::string out(file ? n : 0, '\0');
    std::size_t got = 0;
    if (file) Check(file->ReadAt(offset, n, out.data(), &got), k);
    out.resize(got);
    return out;
  }

 private:
  std::string Name(int k) const {
    return std::string(kJournalName) + (k == 0 ? "" : "." + std::to_string(k));
  }
  void Check(const xbase::Status& s, int k) const {
    if (s.ok()) return;
    throw RuntimeError(75, "The transfer journal " + shown_ + (k == 0 ? "" : " (" + Name(k) + ")") +
                               " cannot be read (" + s.message() + ")");
  }
  xbase::File* Open(int k) {
    auto& file = files_[k];
    if (!file) {
      const std::string path = path_of_(Name(k));
      if (path.empty() || !env_->FileExists(path)) return nullptr;
      Check(env_->OpenFile(path, true, &file), k);
    }
    return file.get();
  }

  xbase::Env* env_;
  std::function<std::string(std::string_view)> path_of_;
  std::string shown_;
  std::map<int, std::unique_ptr<xbase::File>> files_;
};

}  // namespace

std::unique_ptr<JournalFiles> JournalFilesIn(xbase::Env* env,
                                             std::function<std::string(std::string_view)> path_of,
                                             std::string shown) {
  return std::make_unique<FilesIn>(env ? env : xbase::Env::Default(), std::move(path_of),
                                   std::move(shown));
}

}  // namespace xfr
