// apx-sim serving a report on the session bus for the whole run of a benchmark program. apx-sim
// is looked for beside the benchmark (../tools/apx-sim/apx-sim) or at $APX_SIM.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace bench_office {

inline std::string ApxSimPath() {
  if (const char* path = std::getenv("APX_SIM")) return path;
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "apx-sim";
  std::string dir(self, static_cast<size_t>(n));
  return dir.erase(dir.rfind('/')) + "/../tools/apx-sim/apx-sim";
}

// apx-sim serving `report_json` (written to a temp file) until destroyed.
class ApxSim {
 public:
  explicit ApxSim(const std::string& report_json) {
    report_ = "/tmp/xfr-bench-report-" + std::to_string(getpid()) + ".json";
    std::ofstream(report_) << report_json;
    std::string path = ApxSimPath();
    std::vector<char*> args = {path.data(), report_.data(), nullptr};
    if (posix_spawn(&pid_, path.c_str(), nullptr, nullptr, args.data(), environ) != 0) pid_ = -1;
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    for (int i = 0; i < 500 && bus && pid_ > 0; ++i) {
      if (bus->isServiceRegistered("dde.APX").value()) {
        ready_ = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~ApxSim() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    std::remove(report_.c_str());
  }
  bool ready() const { return ready_; }

 private:
  std::string report_;
  pid_t pid_ = -1;
  bool ready_ = false;
};

}  // namespace bench_office
