// A fake office for the send: the tracking tables with full property records, an appraisal
// program answering on the fake DDE service with report RPT1 (first form URAR), and the main
// window loaded on the first property.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fakes/office.h"

namespace xfr::testing {

// "a|b||c" as the field texts of one record.
inline std::vector<std::string> Row(const std::string& joined) {
  std::vector<std::string> out;
  std::stringstream in(joined);
  for (std::string part; std::getline(in, part, '|');) out.push_back(part);
  return out;
}

struct SendOffice : Office {
  static constexpr const char* kXfrIni = "C:\\WINDOWS\\XFR.INI";

  SendOffice() {
    ini.Set(kXfrIni, "PREFERENCES", "AUTOEXIT", "0");
    property->records.clear();  // the office's own jobs and clients make way for these
    client->records.clear();
    property->deleted.clear();
    client->deleted.clear();
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

  // The window shows the first property and its client.
  FrmMain& Start() { return Load(); }

  // The pokes received, as "item=data".
  std::vector<std::string> Pokes() const {
    std::vector<std::string> out;
    for (const auto& c : dde.CallsOf("poke")) out.push_back(c.item + "=" + c.data);
    return out;
  }
};

}  // namespace xfr::testing
