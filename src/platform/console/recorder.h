// What the program keeps for IT to read after a run ("it did nothing"): the transcript asked for
// with --transcript, and the log of every transfer, kept whether asked for or not.
//
// RecordingWindow passes every call on to the window services it wraps (the Qt window or the
// console) and writes each message box with its answer, each trace box, file note and status
// change to the transcript (one JSON object a line, as the console's own transcript has them)
// and to the transfer log. RecordingTables does the same for the table service: every record
// written goes to the transfer log with its table, whether it was added or changed, and the
// fields set. RecordingDde logs what a send writes into the report: each poke with its item
// and value, and each macro run, with whether the appraisal program took it. The log's lines also carry the time and the process id, so that the lines of two
// runs at once can be told apart.
//
// Neither file ever stops a transfer: one that cannot be opened or written is left out, with at
// most one line on standard error for each.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/dde.h"
#include "platform/table.h"
#include "platform/window.h"

namespace xfr {

// $XDG_STATE_HOME/transfer-info/transfers.log, or ~/.local/state/transfer-info/transfers.log
// (on Windows %LOCALAPPDATA%\transfer-info\transfers.log); "" when none of these is set.
std::string DefaultTransferLogPath();

// Appends JSON lines to `path` (its directory made when missing). When the file has reached
// `limit` bytes it becomes PATH.1 (PATH.1 becomes PATH.2, and so on up to PATH.<keep>, the
// oldest dropped) and a new one is begun. The first line that cannot be written is said on
// standard error, with what to do; the later ones are left out silently.
class TransferLog {
 public:
  explicit TransferLog(std::string path, std::uint64_t limit = 1 << 20, int keep = 3);
  // Adds "time" (local, ISO 8601) and "pid" in front of the object's own members.
  void Write(const std::string& json_object);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::uint64_t limit_;
  int keep_;
  bool said_unwritable_ = false;
};

class RecordingWindow : public WindowServices {
 public:
  // `transcript` "" for none; `log` may be null.
  RecordingWindow(WindowServices* inner, const std::string& transcript, TransferLog* log);
  ~RecordingWindow() override;

  using WindowServices::MessageBox;
  Answer MessageBox(std::string_view text, std::string_view title, Buttons buttons,
                    std::string_view details) override;
  void SetPointer(Pointer pointer) override { inner_->SetPointer(pointer); }
  Picture LoadPicture(std::string_view path) override { return inner_->LoadPicture(path); }
  void TraceBox(std::string_view text) override;
  void StatusChanged(std::string_view text, bool visible) override;
  void FileNote(std::string_view path, std::string_view reason) override;
  void Note(std::string_view text) override;

  // A line of the program's own ({"kind":"command",...}, {"kind":"exit",...}) to both files.
  void Record(const std::string& json_object, bool to_transcript = true);

 private:
  WindowServices* inner_;
  std::FILE* transcript_ = nullptr;
  TransferLog* log_;
};

class RecordingTables : public TableService {
 public:
  RecordingTables(TableService* inner, TransferLog* log) : inner_(inner), log_(log) {}
  std::unique_ptr<Recordset> Open(std::string_view connect, std::string_view database,
                                  std::string_view record_source, int recordset_type) override;

 private:
  TableService* inner_;
  TransferLog* log_;
};

class RecordingDde : public DdeTransport {
 public:
  RecordingDde(DdeTransport* inner, TransferLog* log) : inner_(inner), log_(log) {}
  std::unique_ptr<DdeConversation> Initiate(std::string_view service,
                                            std::string_view topic) override;

 private:
  DdeTransport* inner_;
  TransferLog* log_;
};

}  // namespace xfr
