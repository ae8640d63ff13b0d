// A fake office with an open appraisal report, for the read transfer's tests: the tables and
// window of fakes/office.h after start-up, and a report RPT1 whose first form is URAR served by
// the scripted DDE transport.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "fakes/office.h"

namespace xfr::testing {

inline constexpr const char* kXfrIni = "C:\\WINDOWS\\XFR.INI";

// The report of a job the fake and the fixture tables do not hold (NEW-01), with a client they do
// not hold either (NEW01): the add branch writes a property, a client and an invoice.
inline constexpr std::pair<const char*, const char*> kNewJobReport[] = {
    {"offscrn|3|3", " new-01 "},   {"offscrn|7|1", "12 Main St"},     {"offscrn|8|1", "Decatur"},
    {"offscrn|8|3", "GA"},         {"offscrn|8|4", "30030"},          {"offscrn|8|2", "DeKalb"},
    {"offscrn|24|1", "Oakhurst"},  {"URAR|25|2", "0225.01"},          {"URAR|25|1", "15-234-01"},
    {"offscrn|2|3", "LN-1"},       {"offscrn|11|1", "250,000"},       {"offscrn|11|2", "3/7/25"},
    {"offscrn|6|1", "Pat Buyer"},  {"URAR|5|1", "Sam Seller"},        {"offscrn|13|1", " new01 "},
    {"offscrn|14|1", "New Lender Inc"}, {"offscrn|15|1", "1 Bank Way"}, {"offscrn|16|1", "Suite 2"},
    {"offscrn|17|1", "Decatur, GA 30030"}, {"offscrn|20|3", "Lee Contact"}};

// The INI files of an office set up for the read, and the new job's report RPT1 on URAR.
inline void SetUpRead(FakeIni& ini, FakeDdeTransport& dde) {
  ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "DATADIR", "C:\\TRK\\DATA");
  ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "APPDIR", "C:\\TRK");
  ini.Set(kXfrIni, "PREFERENCES", "AUTOEXIT", "0");
  ini.Set(kXfrIni, "FORM", "URAR", "URAR 1004");
  ini.Set(kXfrIni, "CENSUS", "URAR", "25|2");
  ini.Set(kXfrIni, "MAPREF", "URAR", "25|1");
  ini.Set(kXfrIni, "OWNER", "URAR", "5|1");
  dde.SetAnswer("Query", "ActiveReports", "RPT1,");
  dde.SetAnswer("RPT1", "ListForms", "URAR,offscrn,");
  for (const auto& [item, value] : kNewJobReport) dde.SetAnswer("RPT1", item, value);
}

struct ReadOffice : Office {
  ReadOffice() { SetUpRead(ini, dde); }

  // The first open report and its first form, as the appraisal program lists them.
  void Report(const std::string& report, const std::string& form) {
    report_ = report;
    dde.SetAnswer("Query", "ActiveReports", report + ",");
    dde.SetAnswer(report, "ListForms", form + ",offscrn,");
  }
  void Field(const std::string& item, std::string value) {
    dde.SetAnswer(report_, item, std::move(value));
  }

  // Start-up with what it showed and asked forgotten.
  FrmMain& Start() {
    Load();
    window.boxes.clear();
    window.statuses.clear();
    window.pointers.clear();
    dde.clear_calls();
    return Form();
  }

  // The row of the property table whose FILE_NUM (trimmed) is `file_num`, or -1.
  int PropertyRow(const std::string& file_num) const {
    for (int i = 0; i < static_cast<int>(property->records.size()); ++i)
      if (VbRTrim(property->Text(i, "FILE_NUM")) == file_num) return i;
    return -1;
  }
  std::string Prop(const std::string& file_num, const std::string& field) const {
    int row = PropertyRow(file_num);
    return row < 0 ? "<none>" : property->Text(row, field);
  }
  // The items requested on the report's topic, in order.
  std::vector<std::string> Requested() const {
    std::vector<std::string> items;
    for (const auto& c : dde.CallsOf("request"))
      if (c.topic == report_) items.push_back(c.item);
    return items;
  }

  std::string report_ = "RPT1";
};

}  // namespace xfr::testing
