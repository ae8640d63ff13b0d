#include "link/link_check.h"

#include "base/ini_access.h"
#include "base/text.h"
#include "link/apx_link.h"

namespace xfr {

LinkCheck LinkTest(App& app, DdeClientControl& control) {
  LinkCheck check;
  check.report_open = ApxReportIsOpen(app, control);
  if (!check.report_open) return check;
  ApxQueryActiveReports(app, control);
  check.report = TextBeforeComma(control.Text());
  ApxListForms(app, control, check.report);
  check.form = TextBeforeComma(control.Text());
  // The ZNA form keeps its file number on its profile form; every other form on the off-screen
  // data form.
  const bool zna_form = UCase(VbTrim(check.form)) == "ZNA";
  check.file_number_item = zna_form ? "znaprof|3|1" : "offscrn|3|3";
  if (!VbTrim(check.form).empty() && UCase(VbTrim(check.form)) != "NONE") {
    for (const char* section : {"FORM", "CENSUS", "MAPREF", "OWNER"}) {
      if (VbTrim(ReadIniString(app, app.config.XfrIni, section, check.form, "")).empty()) {
        check.missing_entries.push_back(section);
      }
    }
  }
  if (VbTrim(check.report).empty()) return check;
  check.file_number =
      UCase(VbTrim(ApxGetFieldInfo(app, control, check.report, check.file_number_item)));
  return check;
}

}  // namespace xfr
