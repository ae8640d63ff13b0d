// A fake office: the three tracking tables with the tracking program's fields, an INI setup in
// C:\WINDOWS, and the main window over them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fakes/harness.h"
#include "form/main_window.h"
#include "shell/lifecycle.h"
#include "shell/startup.h"
#include "shell/wiring.h"
#include "support/temp_dir.h"

namespace xfr::testing {

// The fields of a fixture table of tests/data/foxpro, from its header, read once.
inline const std::vector<FieldInfo>& FixtureFields(const std::string& table) {
  static std::map<std::string, std::vector<FieldInfo>> read;
  std::vector<FieldInfo>& fields = read[table];
  if (!fields.empty()) return fields;
  const std::string b = ReadFile(std::string(XFR_TEST_DATA) + "/foxpro/" + table);
  for (std::size_t o = 32; o + 32 <= b.size() && b[o] != '\x0d'; o += 32) {
    fields.push_back({std::string(b.c_str() + o), b[o + 11], static_cast<std::uint8_t>(b[o + 16]),
                      static_cast<std::uint8_t>(b[o + 17])});
  }
  return fields;
}

struct Office : Harness {
  explicit Office(std::string command_line = "") : Harness(std::move(command_line)) {
    ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "DATADIR", "C:\\TRK\\DATA");
    ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "APPDIR", "C:\\TRK");
    property = tables.Add("PROPERTY.DBF", FixtureFields("PROPERTY.DBF"),
                          {{"FILE_NUM", "FILE_NUM", true}, {"CLI_NUM", "CLI_NUM", false}});
    client = tables.Add("CLIENT.DBF", FixtureFields("CLIENT.DBF"), {{"CLI_NUM", "CLI_NUM", true}});
    invoice =
        tables.Add("INVOICE.DBF", FixtureFields("INVOICE.DBF"), {{"INV_NUM", "INV_NUM", false}});
    // file_num, ass_type, street ... cli_num at index 24.
    AddProperty("24-00101", "1 Main St", "10004");
    AddProperty("ac24-104", "4 Oak Ave", "");
    AddProperty("24-00103", "3 Elm St", "99999");
    AddProperty("24-00105", "5 Pine Rd", "amc01");
    client->Append(
        {"10004", "FIRSTBANK", "First Bank of Decatur", "100 Bank Pl", "", "", "Jo Smith"});
    client->Append({"AMC01", "AMC", "Appraisal Mgmt Co", "9 Loop Rd", "", "", "Al"});
  }
  void AddProperty(const std::string& file_num, const std::string& street,
                   const std::string& cli_num) {
    std::vector<std::string> rec(property->fields.size());
    rec[0] = file_num;
    rec[2] = street;
    rec[24] = cli_num;
    property->Append(rec);
  }
  FrmMain& Form() {
    if (!form) form = std::make_unique<MainWindow>(app);
    return *form;
  }
  // Start-up as the program does it: the window made, the settings read, the first job shown.
  FrmMain& Load() {
    FrmMain& f = Form();
    Initialize(app);
    frmMainForm_Load(f);
    return f;
  }
  std::shared_ptr<FakeTableData> property, client, invoice;
  std::unique_ptr<FrmMain> form;
};

}  // namespace xfr::testing
