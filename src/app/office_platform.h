// The services every run uses over one system's files, INI files, clock, single-instance lock
// and DDE transport; the window services differ between window and console.
#pragma once

#include <string>
#include <string_view>

#include "base/app.h"
#include "platform/console/recorder.h"
#include "platform/tables/table_journal.h"
#include "platform/tables/xbase_table.h"

namespace xfr {

// The INI files as a console run sees them: read, never written. Only the window's unload
// writes the exit preference its check box shows; the console has no such box.
class ReadOnlyIni : public IniService {
 public:
  explicit ReadOnlyIni(IniService* inner) : inner_(inner) {}
  std::uint32_t GetPrivateProfileString(std::string_view section, std::string_view key,
                                        std::string_view default_value, std::string* buffer,
                                        std::uint32_t size, std::string_view file) override {
    return inner_->GetPrivateProfileString(section, key, default_value, buffer, size, file);
  }
  bool WritePrivateProfileString(std::string_view, std::string_view, std::string_view,
                                 std::string_view) override {
    return false;
  }
  std::uint32_t GetWindowsDirectory(std::string* buffer, std::uint32_t size) override {
    return inner_->GetWindowsDirectory(buffer, size);
  }

 private:
  IniService* inner_;
};

template <class Files, class Ini, class Clock, class Instance, class Dde>
struct OfficePlatform {
  Files files;
  Ini ini;
  Clock clock;
  Instance instance;
  // The native path of a file in a Windows-style directory, for the tables and the journal.
  std::string Resolve(std::string_view dir, std::string_view file) {
    std::string path =
        dir.empty() ? std::string(file) : std::string(dir) + "\\" + std::string(file);
    return files.NativePath(path);
  }
  // TRANSFER.LOG beside the tables: every write of a read or an undo, for undo.
  TableJournal journal{[this](std::string_view d, std::string_view f) { return Resolve(d, f); },
                       nullptr, &clock, files.WorkstationName(), files.UserName()};
  XbaseTableService tables{[this](std::string_view d, std::string_view f) { return Resolve(d, f); },
                           nullptr, &journal};
  Dde dde;

  // Every box, status change, table write and poke also goes to the log of transfers (and, for
  // the window, to the --transcript file; the console writes its own).
  TransferLog log{DefaultTransferLogPath()};
  RecordingTables recorded_tables{&tables, &log};
  RecordingDde recorded_dde{&dde, &log};

  Services With(WindowServices* window) {
    return Services{&ini,          &files,    &clock,  window, &recorded_tables,
                    &recorded_dde, &instance, &journal};
  }
  // A console run: the same, but no INI file is ever created or changed.
  ReadOnlyIni console_ini{&ini};
  Services ForConsole(WindowServices* window) {
    Services services = With(window);
    services.ini = &console_ini;
    return services;
  }
};

}  // namespace xfr
