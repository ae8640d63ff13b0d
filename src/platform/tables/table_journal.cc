#include "platform/tables/table_journal.h"

#include <cstdio>
#include <random>
#include <utility>

#include "platform/runtime_error.h"

namespace xfr {

namespace {

using xbase::BaseName;

constexpr std::uint64_t kJournalLock = 0x7FFFFFFE;
constexpr int kLockTries = 600;  // 3 s at 5 ms, as the tables wait for their locks
constexpr std::uint64_t kLockRetryMicros = 5'000;

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
                           std::string workstation, std::string user)
    : resolver_(std::move(resolver)),
      env_(env ? env : xbase::Env::Default()),
      clock_(clock),
      workstation_(std::move(workstation)),
      user_(std::move(user)) {}

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
  xbase::Status s =
      path.empty() ? xbase::Status::IOError("no such directory") : env_->CreateIfMissing(path);
  std::unique_ptr<xbase::File> file;
  if (s.ok()) s = env_->OpenFile(path, false, &file);
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

void TableJournal::End() {
  file_.reset();
  path_.clear();
}

std::string TableJournal::Read(std::string_view data_dir) {
  const std::string path = resolver_(data_dir, kJournalName);
  if (path.empty() || !env_->FileExists(path)) return "";
  std::unique_ptr<xbase::File> file;
  xbase::Status s = env_->OpenFile(path, true, &file);
  std::uint64_t size = 0;
  if (s.ok()) s = file->Size(&size);
  std::string text(size, '\0');
  std::size_t got = 0;
  if (s.ok()) s = file->ReadAt(0, size, text.data(), &got);
  if (!s.ok()) {
    throw RuntimeError(
        75, "The transfer journal " + Shown(data_dir) + " cannot be read (" + s.message() + ")");
  }
  text.resize(got);
  return text;
}

xbase::Status TableJournal::BeforeWrite(const xbase::Table& table, std::uint32_t recno,
                                        const std::string* before, const std::string& after) {
  if (!file_) return xbase::Status::OK();
  JournalLine line = transfer_;
  if (before) line.before = TextsOf(table, *before);
  line.after = TextsOf(table, after);
  line.deleted = !after.empty() && after[0] == '*';
  return Append(std::move(line), table, recno);
}

xbase::Status TableJournal::AfterWrite(const xbase::Table& table, std::uint32_t recno,
                                       const std::string& after) {
  if (!file_) return xbase::Status::OK();
  JournalLine line = transfer_;
  line.after_stage = true;
  line.after = TextsOf(table, after);
  line.deleted = !after.empty() && after[0] == '*';
  return Append(std::move(line), table, recno);
}

std::string TableJournal::TakeFailure() { return std::exchange(failure_, {}); }

xbase::Status TableJournal::Append(JournalLine line, const xbase::Table& table,
                                   std::uint32_t recno) {
  const bool after = line.after_stage;
  xbase::Status s = AppendLine(std::move(line), table, recno);
  if (!s.ok()) {
    failure_ = "The transfer journal " + shown_ + " could not be written (" + s.message() + "). " +
               (after ? "The record was written; the transfer stopped after it."
                      : "The record was not written; the transfer stopped before it.") +
               " Make sure this user may write that file, then try again";
  }
  return s;
}

xbase::Status TableJournal::AppendLine(JournalLine line, const xbase::Table& table,
                                       std::uint32_t recno) {
  line.time = Now();
  line.table = BaseName(table.path());
  line.record = recno;
  const std::string text = EncodeJournalLine(line) + "\n";
  xbase::Status s;
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
  s = file_->Size(&size);
  if (!s.ok()) return s;
  // A line without its end was cut short by a crash of its writer (nobody else writes without
  // the lock); the table write it announced never started.
  std::uint64_t end = size;
  while (end > 0) {
    char c = 0;
    std::size_t got = 0;
    s = file_->ReadAt(end - 1, 1, &c, &got);
    if (!s.ok()) return s;
    if (got == 1 && c == '\n') break;
    --end;
  }
  if (end != size) {
    s = file_->Truncate(end);
    if (!s.ok()) return s;
  }
  s = file_->WriteAt(end, text.data(), text.size());
  if (!s.ok()) return xbase::Status::IOError(path_ + ": " + s.message());
  return xbase::Status::OK();
}

}  // namespace xfr
