// Test helpers for the D-Bus link: apx-sim as a child process, fixtures that serve a report file
// and, for the transfers end to end, copies of the fixture tables behind the real table engine.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
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
#include "support/apx_sim.h"
#include "support/office_tables.h"
#include "support/temp_dir.h"

namespace xfr::testing {

inline std::string ApxSimPath() { return std::string(XFR_BINARY_DIR) + "/tools/apx-sim/apx-sim"; }
inline std::string ApxData(const std::string& name) {
  return std::string(XFR_TEST_DATA) + "/apx/" + name;
}

// What dbftool's check and, when present, the independent checker say of the tables in `dir`:
// "" when both find every table and tag consistent.
inline std::string TableFaults(const std::string& dir) {
  int status = -1;
  std::string out =
      Output(std::string(XFR_BINARY_DIR) + "/src/dbftool check '" + dir + "' 2>&1", &status);
  if (status != 0) return out;
  const std::string checker = std::string(XFR_SHARED_DIR) + "/tools/checktables.py";
  if (!std::filesystem::exists(checker)) return "";
  out = Output("/usr/bin/python3 '" + checker + "' '" + dir + "' 2>&1", &status);
  return status == 0 ? "" : out;
}

// apx-sim on a report file, logging what it receives into the temp dir, and a link to it.
class ApxSimTest : public ::testing::Test {
 protected:
  void Serve(const std::string& report) {
    sim_ = std::make_unique<ApxSim>(ApxSimPath(), report,
                                    std::vector<std::string>{"--log", dir_ / "log"});
    ASSERT_TRUE(sim_->ready()) << "apx-sim did not come up";
  }
  void ServeJson(const std::string& json) {
    WriteFile(dir_ / "report.json", json);
    Serve(dir_ / "report.json");
  }
  std::vector<std::string> LogLines() const { return testing::LogLines(dir_ / "log"); }

  TempDir dir_;
  std::unique_ptr<ApxSim> sim_;
  DBusDdeTransport transport_{2000};
  DdeClientControl control_{&transport_};
};

// The program's window over copies of the fixture tables, with apx-sim as the appraisal software.
class TablesE2eTest : public ApxSimTest {
 protected:
  TablesE2eTest() {
    CopyTrackingTables(data_);
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

  std::string data_ = dir_ / "data";
  FakeIni ini_;
  FakeFiles files_;
  FakeWindow window_;
  FakeClock clock_;
  XbaseTableService tables_{TablesIn(data_)};
  App app_{Services{&ini_, &files_, &clock_, &window_, &tables_, &transport_, nullptr}, ""};
  std::unique_ptr<FrmMain> form_;
};

}  // namespace xfr::testing
