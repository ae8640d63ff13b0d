// Test helpers for the D-Bus link: apx-sim as a child process, fixtures that serve a report file
// and, for the transfers end to end, copies of the fixture tables behind the real table engine.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "controls/dde_control.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_files.h"
#include "fakes/fake_ini.h"
#include "fakes/fake_window.h"
#include "form/main_window.h"
#include "platform/dbus/dbus_dde_transport.h"
#include "platform/tables/xbase_table.h"
#include "shell/lifecycle.h"
#include "shell/startup.h"
#include "shell/wiring.h"
#include "store/lookup.h"

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
// Runs a shell command; its standard output, and its exit status in *status when given.
inline std::string Output(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = pclose(p);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A temporary directory removed with its files at the end.
class TempDir {
 public:
  TempDir() {
    char templ[] = "/tmp/xfr-dbus-XXXXXX";
    path_ = mkdtemp(templ);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A child process; killed (SIGTERM) and reaped when dropped.
class Child {
 public:
  explicit Child(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], nullptr, nullptr, args.data(), environ) != 0) pid_ = -1;
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

// Waits up to five seconds for `bus_name` to have an owner (`owned`) or none; true when it did.
inline bool WaitForName(const std::string& bus_name, bool owned = true) {
  QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
  for (int i = 0; i < 500; ++i) {
    if (bus && bus->isServiceRegistered(QString::fromStdString(bus_name)).value() == owned) {
      return true;
    }
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

// apx-sim on a report file, logging what it receives into the temp dir, and a link to it.
class ApxSimTest : public ::testing::Test {
 protected:
  void Serve(const std::string& report) {
    sim_ = std::make_unique<ApxSim>(report, std::vector<std::string>{"--log", dir_.File("log")});
    ASSERT_TRUE(sim_->ready()) << "apx-sim did not come up";
  }
  void ServeJson(const std::string& json) {
    WriteFile(dir_.File("report.json"), json);
    Serve(dir_.File("report.json"));
  }
  // Stops apx-sim, waits for its name to leave the bus and drops its log.
  void StopServing() {
    sim_.reset();
    ASSERT_TRUE(WaitForName("dde.APX", false));
    std::filesystem::remove(dir_.File("log"));
  }
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(dir_.File("log")));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  TempDir dir_;
  std::unique_ptr<ApxSim> sim_;
  DBusDdeTransport transport_{2000};
  DdeClientControl control_{&transport_};
};

// The program's window over copies of the fixture tables, with apx-sim as the appraisal software.
class TablesE2eTest : public ApxSimTest {
 protected:
  TablesE2eTest() {
    std::filesystem::create_directories(data_);
    for (const char* f : {"PROPERTY.DBF", "PROPERTY.CDX", "PROPERTY.FPT", "CLIENT.DBF",
                          "CLIENT.CDX", "INVOICE.DBF", "INVOICE.CDX"}) {
      std::filesystem::copy_file(std::string(XFR_TEST_DATA) + "/foxpro/" + f, data_ + "/" + f);
    }
    ini_.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "DATADIR", "C:\\TRK\\DATA");
    ini_.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "APPDIR", "C:\\TRK");
    ini_.Set("C:\\WINDOWS\\XFR.INI", "PREFERENCES", "AUTOEXIT", "0");
  }

  // The window loaded, on `file_num` when given.
  FrmMain& Start(const std::string& file_num = "") {
    form_ = std::make_unique<MainWindow>(app_);
    Initialize(app_);
    frmMainForm_Load(*form_);
    if (!file_num.empty()) FindTheRecord(*form_, file_num);
    return *form_;
  }

  // Every table file's bytes.
  std::vector<std::string> TableBytes() const {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(data_)) {
      out.push_back(ReadFile(e.path()));
    }
    return out;
  }

  std::string data_ = dir_.File("data");
  FakeIni ini_;
  FakeFiles files_;
  FakeWindow window_;
  FakeClock clock_;
  XbaseTableService tables_{[this](std::string_view, std::string_view file) -> std::string {
    for (const auto& e : std::filesystem::directory_iterator(data_)) {
      if (strcasecmp(e.path().filename().c_str(), std::string(file).c_str()) == 0) {
        return e.path().string();
      }
    }
    return "";
  }};
  App app_{Services{&ini_, &files_, &clock_, &window_, &tables_, &transport_, nullptr}, ""};
  std::unique_ptr<FrmMain> form_;
};

}  // namespace xfr::testing
