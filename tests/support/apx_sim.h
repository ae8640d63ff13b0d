// apx-sim as a child process serving a report on the session bus: shared by the D-Bus tests, the
// benchmarks and the read-campaign worker.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace xfr::testing {

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

  // SIGTERM and reap; the exit status.
  int Stop() {
    if (!running()) return status_;
    kill(pid_, SIGTERM);
    if (WaitExit(std::chrono::seconds(5)) < 0) {
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

// Waits up to `limit` for `bus_name` to have an owner (`owned`) or none; true when it did.
inline bool WaitForName(const std::string& bus_name, bool owned = true,
                        std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
  const auto end = std::chrono::steady_clock::now() + limit;
  do {
    if (bus && bus->isServiceRegistered(QString::fromStdString(bus_name)).value() == owned) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (std::chrono::steady_clock::now() < end);
  return false;
}

// The program `apx_sim` serving `report` under `service` (bus name `bus_name`), with `extra`
// options; ready() once its name is on the bus.
class ApxSim {
 public:
  ApxSim(const std::string& apx_sim, const std::string& report,
         const std::vector<std::string>& extra = {}, const std::string& service = "APX",
         const std::string& bus_name = "dde.APX",
         std::chrono::milliseconds limit = std::chrono::seconds(5))
      : child_(Args(apx_sim, report, extra, service)) {
    ready_ = child_.running() && WaitForName(bus_name, true, limit);
  }
  bool ready() const { return ready_; }
  Child& child() { return child_; }

 private:
  static std::vector<std::string> Args(const std::string& apx_sim, const std::string& report,
                                       const std::vector<std::string>& extra,
                                       const std::string& service) {
    std::vector<std::string> args = {apx_sim, "--service", service};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(report);
    return args;
  }

  Child child_;
  bool ready_ = false;
};

}  // namespace xfr::testing
