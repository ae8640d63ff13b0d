// apx-sim as a child process serving a report: on the session bus (the D-Bus tests, the
// benchmarks and the read-campaign worker) or, in the Windows build, as apx-sim.exe.
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

#ifdef _WIN32
#include "platform/win32/windows_api.h"
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>

extern char** environ;
#endif

namespace xfr::testing {

#ifdef _WIN32
// Starts a program with a command line; false when it cannot.
inline bool Spawn(const std::string& command_line, PROCESS_INFORMATION* process) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string line = command_line;
  return ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, process) != 0;
}

// This test program again, running only the test cases `filter` names; false when it cannot.
inline bool SpawnSelf(const std::string& filter, PROCESS_INFORMATION* process) {
  char exe[MAX_PATH];
  ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
  return Spawn(std::string("\"") + exe + "\" --gtest_filter=" + filter, process);
}

// Waits up to 60 s for a spawned program and closes its handles: its exit code (STILL_ACTIVE
// when it has not ended).
inline long ExitCodeOf(PROCESS_INFORMATION* process) {
  DWORD code = static_cast<DWORD>(-1);
  ::WaitForSingleObject(process->hProcess, 60000);
  ::GetExitCodeProcess(process->hProcess, &code);
  ::CloseHandle(process->hProcess);
  ::CloseHandle(process->hThread);
  return static_cast<long>(code);
}

// apx-sim.exe serving `report` (a file of tests/data/apx) with its dump in a temporary directory;
// closed (WM_CLOSE to its window) at the end.
class ApxSimExe {
 public:
  explicit ApxSimExe(const std::string& report) {
    const std::string exe = std::string(XFR_BINARY_DIR) + "/tools/apx-sim/apx-sim.exe";
    const std::string data = std::string(XFR_TEST_DATA) + "/apx/" + report;
    started_ = Spawn("\"" + exe + "\" --dump \"" + dump_path() + "\" \"" + data + "\"", &process_);
    for (int i = 0; i < 500 && started_ && Window() == nullptr; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  ~ApxSimExe() { Stop(); }

  bool ready() const { return started_ && Window() != nullptr; }
  std::string dump_path() const { return dir_ / "dump.json"; }

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
#else

// A child process; killed (SIGTERM, then SIGKILL) and reaped when dropped.
class Child {
 public:
  explicit Child(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], nullptr, nullptr, args.data(), environ) != 0) pid_ = -1;
  }
  ~Child() { Stop(); }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool running() const { return pid_ > 0 && !reaped_; }

  // Waits up to `limit` for the child to end by itself; its exit status, or -1 if still running.
  int WaitExit(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (running()) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        break;
      }
      if (std::chrono::steady_clock::now() > end) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status_;
  }

  // SIGTERM and reap (SIGKILL after `grace`); the exit status.
  int Stop(std::chrono::milliseconds grace = std::chrono::seconds(5)) {
    if (!running()) return status_;
    kill(pid_, SIGTERM);
    if (WaitExit(grace) < 0) {
      kill(pid_, SIGKILL);
      WaitExit(std::chrono::seconds(5));
    }
    return status_;
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = -1;
};

#ifdef XFR_TEST_DATA
inline std::string ApxSimPath() { return std::string(XFR_BINARY_DIR) + "/tools/apx-sim/apx-sim"; }
#endif

// The program `apx_sim` serving `report` under `service` (bus name `bus_name`), with `extra`
// options; ready() once its name is on the bus, waited for up to `limit`.
class ApxSim {
 public:
  ApxSim(const std::string& apx_sim, const std::string& report, std::vector<std::string> extra = {},
         const std::string& service = "APX", const std::string& bus_name = "dde.APX",
         std::chrono::milliseconds limit = std::chrono::seconds(5))
      : child_([&] {
          extra.insert(extra.begin(), {apx_sim, "--service", service});
          extra.push_back(report);
          return extra;
        }()) {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    const auto end = std::chrono::steady_clock::now() + limit;
    while (child_.running() && bus && std::chrono::steady_clock::now() < end &&
           !(ready_ = bus->isServiceRegistered(QString::fromStdString(bus_name)).value())) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  bool ready() const { return ready_; }
  Child& child() { return child_; }

 private:
  Child child_;
  bool ready_ = false;
};

#endif

}  // namespace xfr::testing
