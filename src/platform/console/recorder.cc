#include "platform/console/recorder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <utility>

#include "base/text.h"
#include "platform/console/console_window.h"
#include "platform/value.h"

#ifdef _WIN32
#include <process.h>
#define XFR_GETPID _getpid
#else
#include <unistd.h>
#define XFR_GETPID getpid
#endif

namespace xfr {
namespace {

namespace fs = std::filesystem;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string_view ButtonsWord(Buttons b) {
  switch (b) {
    case Buttons::kOk:
      return "OK";
    case Buttons::kYesNo:
      return "YesNo";
    case Buttons::kAbortRetryIgnore:
      return "AbortRetryIgnore";
  }
  return "OK";
}

// A box's line; "answer" null when it got none, "details" only when it has some.
std::string Box(std::string_view kind, std::string_view title, std::string_view text,
                Buttons buttons, std::optional<Answer> answer, std::string_view details = {}) {
  return "{\"kind\":" + JsonQuote(kind) + ",\"title\":" + JsonQuote(title) +
         ",\"text\":" + JsonQuote(text) + ",\"buttons\":" + JsonQuote(ButtonsWord(buttons)) +
         ",\"answer\":" + (answer ? JsonQuote(AnswerName(*answer)) : "null") +
         (details.empty() ? "" : ",\"details\":" + JsonQuote(details)) + "}";
}

// A recordset whose writes are logged: the fields set since AddNew or Edit, with their values.
class RecordingRecordset : public Recordset {
 public:
  RecordingRecordset(std::unique_ptr<Recordset> inner, std::string table, TransferLog* log)
      : inner_(std::move(inner)), table_(std::move(table)), log_(log) {}

  bool HasCurrent() const override { return inner_->HasCurrent(); }
  void MoveFirst() override { inner_->MoveFirst(); }
  void SetIndex(std::string_view tag) override { inner_->SetIndex(tag); }
  std::string Index() const override { return inner_->Index(); }
  void Seek(std::string_view comparison, std::string_view key) override {
    inner_->Seek(comparison, key);
  }
  bool NoMatch() const override { return inner_->NoMatch(); }
  std::string Bookmark() const override { return inner_->Bookmark(); }
  void SetBookmark(const std::string& mark) override { inner_->SetBookmark(mark); }
  const std::vector<FieldInfo>& Fields() const override { return inner_->Fields(); }
  Value GetField(std::string_view name) const override { return inner_->GetField(name); }
  void SetField(std::string_view name, const Value& value) override {
    inner_->SetField(name, value);
    fields_ += (fields_.empty() ? "" : ",") + JsonQuote(name) + ":" + JsonQuote(ValueText(value));
  }
  int FieldSize(std::string_view name) const override { return inner_->FieldSize(name); }
  std::string InCodePage(std::string_view text) const override {
    return inner_->InCodePage(text);
  }
  void AddNew() override {
    inner_->AddNew();
    fields_.clear();
  }
  void Edit() override {
    inner_->Edit();
    fields_.clear();
  }
  void Update() override {
    Written(inner_->GetEditMode(), [&] {
      inner_->Update();
      return true;
    });
  }
  bool UpdateUnlessFound(std::string_view tag) override {
    return Written(inner_->GetEditMode(), [&] { return inner_->UpdateUnlessFound(tag); });
  }
  void CancelUpdate() override {
    inner_->CancelUpdate();
    fields_.clear();
  }
  EditMode GetEditMode() const override { return inner_->GetEditMode(); }
  void Close() override { inner_->Close(); }
  RecordState ReadTexts(std::uint32_t recno, FieldTexts* fields) override {
    return inner_->ReadTexts(recno, fields);
  }
  bool TryLockRecords(const std::vector<std::uint32_t>& recnos, std::string* busy) override {
    return inner_->TryLockRecords(recnos, busy);
  }
  void UnlockRecords() override { inner_->UnlockRecords(); }
  void Restore(std::uint32_t recno, const FieldTexts& fields, bool deleted) override {
    for (const auto& [name, value] : fields) {
      fields_ += (fields_.empty() ? "" : ",") + JsonQuote(name) + ":" + JsonQuote(value);
    }
    if (deleted) fields_ += std::string(fields_.empty() ? "" : ",") + "\"(deleted)\":\"yes\"";
    fields_ += std::string(fields_.empty() ? "" : ",") + "\"(record)\":" + std::to_string(recno);
    Written(EditMode::kEdit, [&] {
      inner_->Restore(recno, fields, deleted);
      return true;
    });
  }

 private:
  // Logs the write once it is done, or its failure (and lets the failure go on).
  template <typename F>
  bool Written(EditMode mode, F write) {
    const std::string head = "{\"kind\":\"write\",\"table\":" + JsonQuote(table_) + ",\"mode\":\"" +
                             (mode == EditMode::kAdd ? "add" : "edit") + "\",\"fields\":{" +
                             fields_ + "}";
    fields_.clear();
    bool done = false;
    try {
      done = write();
    } catch (...) {
      log_->Write(head + ",\"written\":false}");
      throw;
    }
    log_->Write(head + ",\"written\":" + (done ? "true" : "false") +
                (done ? "" : ",\"why\":\"another program had added the key\"") + "}");
    return done;
  }

  std::unique_ptr<Recordset> inner_;
  std::string table_;
  TransferLog* log_;
  std::string fields_;
};

// Requests only read the report, so only pokes and macros are logged.
class RecordingConversation : public DdeConversation {
 public:
  RecordingConversation(std::unique_ptr<DdeConversation> inner, TransferLog* log)
      : inner_(std::move(inner)), log_(log) {}
  std::string Request(std::string_view item) override { return inner_->Request(item); }
  void Poke(std::string_view item, std::string_view data) override {
    Logged("{\"kind\":\"poke\",\"item\":" + JsonQuote(item) + ",\"value\":" + JsonQuote(data),
           [&] { inner_->Poke(item, data); });
  }
  void Execute(std::string_view command) override {
    Logged("{\"kind\":\"execute\",\"command\":" + JsonQuote(command),
           [&] { inner_->Execute(command); });
  }

 private:
  template <typename F>
  void Logged(const std::string& head, F call) {
    try {
      call();
    } catch (...) {
      log_->Write(head + ",\"accepted\":false}");
      throw;
    }
    log_->Write(head + ",\"accepted\":true}");
  }

  std::unique_ptr<DdeConversation> inner_;
  TransferLog* log_;
};

}  // namespace

std::string DefaultTransferLogPath() {
#ifdef _WIN32
  const std::string base = Env("LOCALAPPDATA");
  return base.empty() ? "" : base + "\\transfer-info\\transfers.log";
#else
  std::string base = Env("XDG_STATE_HOME");
  if (base.empty() || base[0] != '/') {
    const std::string home = Env("HOME");
    if (home.empty()) return "";
    base = home + "/.local/state";
  }
  return base + "/transfer-info/transfers.log";
#endif
}

TransferLog::TransferLog(std::string path, std::uint64_t limit, int keep)
    : path_(std::move(path)), limit_(limit), keep_(keep) {}

void TransferLog::Write(const std::string& json_object) {
  if (path_.empty()) return;
  std::error_code ignored;
  const fs::path path(path_);
  fs::create_directories(path.parent_path(), ignored);
  const std::uintmax_t size = fs::file_size(path, ignored);
  if (size != static_cast<std::uintmax_t>(-1) && size >= limit_) {
    for (int n = keep_ - 1; n >= 1; --n) {
      fs::rename(path_ + "." + std::to_string(n), path_ + "." + std::to_string(n + 1), ignored);
    }
    fs::rename(path, path_ + ".1", ignored);
  }
  std::FILE* f = std::fopen(path_.c_str(), "ab");
  if (!f) {
    if (!said_unwritable_) {
      std::fprintf(stderr,
                   "transfer-info: the log of transfers %s cannot be written (%s); transfers go "
                   "on without it. Its folder follows XDG_STATE_HOME (on Windows LOCALAPPDATA): "
                   "point that at a folder this user may write.\n",
                   path_.c_str(), std::strerror(errno));
    }
    said_unwritable_ = true;
    return;
  }
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char when[32];
  std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S%z", &local);
  const std::string line = "{\"time\":\"" + std::string(when) +
                           "\",\"pid\":" + std::to_string(XFR_GETPID()) + "," +
                           json_object.substr(json_object.empty() ? 0 : 1) + "\n";
  std::fputs(line.c_str(), f);
  std::fclose(f);
}

RecordingWindow::RecordingWindow(WindowServices* inner, const std::string& transcript,
                                 TransferLog* log)
    : inner_(inner), log_(log) {
  if (transcript.empty()) return;
  transcript_ = std::fopen(transcript.c_str(), "ab");
  if (!transcript_) {
    std::fprintf(stderr, "transfer-info: cannot open the transcript %s\n", transcript.c_str());
  }
}

RecordingWindow::~RecordingWindow() {
  if (transcript_) std::fclose(transcript_);
}

void RecordingWindow::Record(const std::string& json_object, bool to_transcript) {
  if (transcript_ && to_transcript) {
    std::fputs((json_object + "\n").c_str(), transcript_);
    std::fflush(transcript_);
  }
  if (log_) log_->Write(json_object);
}

Answer RecordingWindow::MessageBox(std::string_view text, std::string_view title, Buttons buttons,
                                   std::string_view details) {
  Answer answer;
  try {
    answer = inner_->MessageBox(text, title, buttons, details);
  } catch (...) {  // nobody there to answer: the run ends here
    Record(Box("message", title, text, buttons, std::nullopt, details));
    throw;
  }
  Record(Box("message", title, text, buttons, answer, details));
  return answer;
}

void RecordingWindow::TraceBox(std::string_view text) {
  inner_->TraceBox(text);
  Record(Box("trace", kAppTitle, text, Buttons::kOk, Answer::kOk));
}

void RecordingWindow::StatusChanged(std::string_view text, bool visible) {
  inner_->StatusChanged(text, visible);
  Record("{\"kind\":\"status\",\"text\":" + JsonQuote(text) +
         ",\"visible\":" + (visible ? "true" : "false") + "}");
}

void RecordingWindow::FileNote(std::string_view path, std::string_view reason) {
  inner_->FileNote(path, reason);
  Record("{\"kind\":\"note\",\"text\":" +
         JsonQuote(std::string(path) + ": " + std::string(reason)) + "}");
}

void RecordingWindow::Note(std::string_view text) {
  inner_->Note(text);
  Record("{\"kind\":\"note\",\"text\":" + JsonQuote(text) + "}");
}

std::unique_ptr<Recordset> RecordingTables::Open(std::string_view connect,
                                                 std::string_view database,
                                                 std::string_view record_source,
                                                 int recordset_type) {
  auto inner = inner_->Open(connect, database, record_source, recordset_type);
  if (!log_) return inner;
  return std::make_unique<RecordingRecordset>(std::move(inner), std::string(record_source), log_);
}

std::unique_ptr<DdeConversation> RecordingDde::Initiate(std::string_view service,
                                                       std::string_view topic) {
  return std::make_unique<RecordingConversation>(inner_->Initiate(service, topic), log_);
}

}  // namespace xfr
