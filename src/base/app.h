// The program's process-wide state: the platform services it was started with, the
// configuration record filled at start-up, and the small shared values every procedure may
// touch (the error report's procedure name and last answer, the table-error flag, the file
// number handed over by the tracking program, the form type of the last capture).
//
// One App exists per program run (tests make their own). Everything runs on the window's thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/dde.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/instance.h"
#include "platform/journal.h"
#include "platform/table.h"
#include "platform/window.h"

namespace xfr {

// The platform services. Each pointer outlives the App; any may be null in a test that does not
// use it.
struct Services {
  IniService* ini = nullptr;
  FileSystem* files = nullptr;
  Clock* clock = nullptr;
  WindowServices* window = nullptr;
  TableService* tables = nullptr;
  DdeTransport* dde = nullptr;
  InstanceLock* instance = nullptr;
  TransferJournal* journal = nullptr;  // null: transfers are not journalled
};

// Directories end in exactly one backslash or are empty.
struct Config {
  std::string WinDir;
  std::string XfrIni;
  std::string ApxIni;
  std::string TrkIni;
  std::string DataDir;
  std::string ApxAppDir;
  std::string ApxPrivateDir;
  std::string TrkAppDir;
};

// The answers to the Abort/Retry/Ignore error report; kPassOn is any other answer (the error goes
// on to the caller).
enum class ReportAnswer { kRetry, kIgnore, kAbort, kPassOn };

// Thrown to end the program at once (the corrupt-table message, a second instance). The top of
// the program catches it; nothing is written on the way out.
struct EndProgram {
  int exit_code = 0;
};

class App {
 public:
  static constexpr int kProcNameWidth = 20;

  App(Services services, std::string command_line)
      : services_(services), command_line_(std::move(command_line)) {
    SetProc("");
  }

  const Services& services() const { return services_; }
  WindowServices& window() const { return *services_.window; }
  const std::string& command_line() const { return command_line_; }
  // Where a Windows-style path is on this machine, for the notes after a message; the path as
  // written when there is no file system.
  std::string NativePath(std::string_view path) const;

  Config config;

  // The name of the last procedure with error handling that started, blank-padded or cut to
  // 20 characters.
  void SetProc(std::string_view name);
  const std::string& CurrentProcName() const { return current_proc_name_; }

  // The last answer given to the error report; none before the first report.
  std::optional<ReportAnswer> LastReportAnswer;
  bool DataErrorFlag = false;
  std::string HandOffFileNum;
  std::string FormTypeText;

 private:
  Services services_;
  std::string command_line_;
  std::string current_proc_name_;
};

}  // namespace xfr
