// apx-sim.exe as a child process of a Windows test: serves a report file with a log in a
// temporary directory, and is closed (WM_CLOSE to its window) at the end.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/windows_api.h"
#include "support/temp_dir.h"

namespace xfr::testing {

// Starts a program with a command line; false when it cannot.
inline bool Spawn(const std::string& command_line, PROCESS_INFORMATION* process) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string line = command_line;
  return ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, process) != 0;
}

class ApxSimExe {
 public:
  // Serves `report` (a file of tests/data/apx); FindWindow tells when it is ready.
  explicit ApxSimExe(const std::string& report) {
    const std::string exe = std::string(XFR_BINARY_DIR) + "/tools/apx-sim/apx-sim.exe";
    const std::string data = std::string(XFR_TEST_DATA) + "/apx/" + report;
    started_ = Spawn("\"" + exe + "\" --log \"" + log_path() + "\" --dump \"" + dump_path() +
                         "\" \"" + data + "\"",
                     &process_);
    for (int i = 0; i < 500 && started_ && Window() == nullptr; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  ~ApxSimExe() { Stop(); }

  bool ready() const { return started_ && Window() != nullptr; }
  std::string log_path() const { return dir_ / "apx.log"; }
  std::string dump_path() const { return dir_ / "dump.json"; }

  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(log_path()));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  void Stop() {
    if (!started_) return;
    started_ = false;
    if (HWND w = Window()) ::PostMessageA(w, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0) {
      ::TerminateProcess(process_.hProcess, 9);
    }
    ::CloseHandle(process_.hProcess);
    ::CloseHandle(process_.hThread);
  }

 private:
  static HWND Window() { return ::FindWindowA("apx-sim DDE server", "apx-sim APX"); }

  TempDir dir_{"xfr-win-"};
  PROCESS_INFORMATION process_{};
  bool started_ = false;
};

}  // namespace xfr::testing
