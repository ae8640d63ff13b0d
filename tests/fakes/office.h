// A fake office: the three tracking tables with the tracking program's fields, an INI setup in
// C:\WINDOWS, and the main window over them.
#pragma once

#include <memory>

#include "fakes/harness.h"
#include "form/main_window.h"
#include "shell/wiring.h"

namespace xfr::testing {

inline std::vector<FieldInfo> PropertyFields() {
  return {{"FILE_NUM", 'C', 8, 0},   {"ASS_TYPE", 'C', 10, 0},  {"PR_STREET", 'C', 30, 0},
          {"PR_CITY", 'C', 20, 0},   {"PR_STATE", 'C', 2, 0},   {"PR_ZIP", 'C', 10, 0},
          {"PR_COUNTY", 'C', 20, 0}, {"PR_SUBDIV", 'C', 30, 0}, {"PR_MAP_REF", 'C', 15, 0},
          {"PR_CENSUS", 'C', 10, 0}, {"PR_REF_NUM", 'C', 15, 0}, {"PR_OWNER", 'C', 30, 0},
          {"PR_BORROWR", 'C', 30, 0}, {"PR_LOT", 'C', 5, 0},    {"PR_BLOCK", 'C', 5, 0},
          {"PR_LANDLOT", 'C', 5, 0}, {"PR_LANDIST", 'C', 5, 0}, {"PR_SECTION", 'C', 5, 0},
          {"PR_DEEDBK", 'C', 6, 0},  {"PR_DEEDPG", 'C', 6, 0},  {"PR_PLATBK", 'C', 6, 0},
          {"PR_PLATPG", 'C', 6, 0},  {"PR_DFINISH", 'D', 8, 0}, {"PR_APPRVAL", 'N', 12, 2},
          {"CLI_NUM", 'C', 5, 0},    {"INV_NUM", 'C', 8, 0}};
}

inline std::vector<FieldInfo> ClientFields() {
  return {{"CLI_NUM", 'C', 5, 0},    {"CLI_LNAME", 'C', 20, 0}, {"PLAIN_NAME", 'C', 40, 0},
          {"CLI_STREET", 'C', 30, 0}, {"CLI_ADDR2", 'C', 30, 0}, {"CLI_ADDR3", 'C', 30, 0},
          {"CLI_CONT", 'C', 25, 0}};
}

struct Office : Harness {
  explicit Office(std::string command_line = "") : Harness(std::move(command_line)) {
    ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "DATADIR", "C:\\TRK\\DATA");
    ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "APPDIR", "C:\\TRK");
    property = tables.Add("PROPERTY.DBF", PropertyFields(),
                          {{"FILE_NUM", "FILE_NUM", true}, {"CLI_NUM", "CLI_NUM", false}});
    client = tables.Add("CLIENT.DBF", ClientFields(), {{"CLI_NUM", "CLI_NUM", true}});
    invoice = tables.Add("INVOICE.DBF", {{"INV_NUM", 'C', 8, 0}}, {{"INV_NUM", "INV_NUM", false}});
    // file_num, ass_type, street ... cli_num at index 24.
    AddProperty("24-00101", "1 Main St", "10004");
    AddProperty("ac24-104", "4 Oak Ave", "");
    AddProperty("24-00103", "3 Elm St", "99999");
    AddProperty("24-00105", "5 Pine Rd", "amc01");
    client->Append({"10004", "FIRSTBANK", "First Bank of Decatur", "100 Bank Pl", "", "",
                    "Jo Smith"});
    client->Append({"AMC01", "AMC", "Appraisal Mgmt Co", "9 Loop Rd", "", "", "Al"});
  }
  void AddProperty(const std::string& file_num, const std::string& street,
                   const std::string& cli_num) {
    std::vector<std::string> rec(PropertyFields().size());
    rec[0] = file_num;
    rec[2] = street;
    rec[24] = cli_num;
    property->Append(rec);
  }
  FrmMain& Form() {
    if (!form) form = std::make_unique<MainWindow>(app);
    return *form;
  }
  std::shared_ptr<FakeTableData> property, client, invoice;
  std::unique_ptr<FrmMain> form;
};

}  // namespace xfr::testing
