// A fake office for the send: the tracking tables with full property records, an appraisal
// program answering on the fake DDE service with report RPT1 (first form URAR), and the main
// window loaded on the first property.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fakes/harness.h"
#include "fakes/office.h"
#include "form/main_window.h"
#include "shell/lifecycle.h"
#include "shell/startup.h"
#include "shell/wiring.h"

namespace xfr::testing {

// "a|b||c" as the field texts of one record.
inline std::vector<std::string> Row(const std::string& joined) {
  std::vector<std::string> out;
  std::stringstream in(joined);
  for (std::string part; std::getline(in, part, '|');) out.push_back(part);
  return out;
}

struct SendOffice : Harness {
  static constexpr const char* kXfrIni = "C:\\WINDOWS\\XFR.INI";

  SendOffice() {
    ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "DATADIR", "C:\\TRK\\DATA");
    ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "APPDIR", "C:\\TRK");
    ini.Set(kXfrIni, "PREFERENCES", "AUTOEXIT", "0");
    AddTrackingTables(tables, &property, &client);
    // FILE_NUM ASS_TYPE STREET CITY STATE ZIP COUNTY SUBDIV MAP_REF CENSUS REF_NUM OWNER BORROWR
    // LOT BLOCK LANDLOT LANDIST SECTION DEEDBK DEEDPG PLATBK PLATPG DFINISH APPRVAL CLI_NUM INV_NUM
    property->Append(
        Row("24-00101|REFI|1 Main St|Decatur|GA|30030|DeKalb|Oak Hills|MR-7|0204.01|"
            "REF-9|Ann Owner|Bob Borrower|12|B|||||||7|||10004|24-00101"));
    property->Append(Row("24-00102||2 Elm St|Tucker|GA|30084|DeKalb"));
    property->Append(Row("24-00103||3 Pine Rd||||||||||||||||||||||amc01"));
    client->Append(
        Row("10004|FIRSTBANK|First Bank of Decatur|100 Bank Pl|Suite 2|"
            "Decatur GA 30030|Jo Smith"));
    client->Append(Row("AMC01|AMC|Appraisal Mgmt Co|9 Loop Rd|||Al"));
    dde.SetAnswer("Query", "ActiveReports", "RPT1,");
    dde.SetAnswer("RPT1", "ListForms", "URAR,offscrn,");
  }

  // Start-up as the program does it; the window shows the first property and its client.
  FrmMain& Start() {
    form = std::make_unique<MainWindow>(app);
    Initialize(app);
    frmMainForm_Load(*form);
    return *form;
  }

  // The pokes received, as "item=data".
  std::vector<std::string> Pokes() const {
    std::vector<std::string> out;
    for (const auto& c : dde.CallsOf("poke")) out.push_back(c.item + "=" + c.data);
    return out;
  }

  std::shared_ptr<FakeTableData> property, client;
  std::unique_ptr<FrmMain> form;
};

}  // namespace xfr::testing
