// Test helpers for the D-Bus link: a QCoreApplication for the whole test program (created, never
// exec()'d, as the program's own window thread uses QtDBus), apx-sim as a child process, and a
// private bus daemon for tests that take the bus away.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace xfr::testing {

inline std::string ApxSimPath() { return std::string(XFR_BINARY_DIR) + "/tools/apx-sim/apx-sim"; }
inline std::string ApxData(const std::string& name) {
  return std::string(XFR_TEST_DATA) + "/apx/" + name;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A temporary directory removed with its files at the end.
class TempDir {
 public:
  TempDir() {
    char templ[] = "/tmp/xfr-dbus-XXXXXX";
    path_ = mkdtemp(templ);
  }
  ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A child process; killed (SIGTERM) and reaped when dropped.
class Child {
 public:
  // `env` entries NAME=value are added to (or replace in) this process's environment.
  Child(std::vector<std::string> argv, std::vector<std::string> env = {}) {
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      bool replaced = false;
      for (const std::string& add : env) {
        if (entry.compare(0, add.find('=') + 1, add, 0, add.find('=') + 1) == 0) replaced = true;
      }
      if (!replaced) environment.push_back(entry);
    }
    environment.insert(environment.end(), env.begin(), env.end());
    std::vector<char*> args, envp;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], nullptr, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
  }
  ~Child() { Stop(); }

  bool running() const { return pid_ > 0 && !reaped_; }
  pid_t pid() const { return pid_; }

  // Waits up to `limit` for the child to end by itself; its exit status, or -1 if still running.
  int WaitExit(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!reaped_) {
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

// True once `bus_name` has an owner on the session bus (waits up to five seconds).
inline bool WaitForName(const std::string& bus_name) {
  QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
  for (int i = 0; i < 500; ++i) {
    if (bus && bus->isServiceRegistered(QString::fromStdString(bus_name)).value()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// apx-sim serving `report` under `service`, ready when constructed (check ready()).
class ApxSim {
 public:
  ApxSim(const std::string& report, std::vector<std::string> extra = {},
         const std::string& service = "APX", const std::string& bus_name = "dde.APX")
      : child_(Args(report, extra, service)) {
    ready_ = WaitForName(bus_name);
  }
  bool ready() const { return ready_; }
  Child& child() { return child_; }

 private:
  static std::vector<std::string> Args(const std::string& report, std::vector<std::string> extra,
                                       const std::string& service) {
    std::vector<std::string> args = {ApxSimPath(), "--service", service};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(report);
    return args;
  }

  Child child_;
  bool ready_ = false;
};

}  // namespace xfr::testing
