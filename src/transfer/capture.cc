#include "transfer/capture.h"

#include "base/dates.h"
#include "base/error_report.h"
#include "base/ini_access.h"
#include "base/text.h"
#include "link/apx_link.h"
#include "platform/runtime_error.h"

namespace xfr {

namespace {

// Blanks, tabs and line ends only: a report without a completion date.
bool IsBlankAnswer(std::string_view text) {
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  }
  return true;
}

}  // namespace

bool ReadFieldInfo(FrmMain& form, Label& label, std::string_view item, std::string_view file_n) {
  bool answered = true;
  label.caption = ApxGetFieldInfo(form.app(), form.txtdde, file_n, item, &answered);
  return answered;
}

bool IsZnaForm(std::string_view form_name) { return UCase(VbTrim(form_name)) == "ZNA"; }

bool CaptureFileNumber(FrmMain& form, std::string_view report_name, std::string_view form_name) {
  const bool answered = ReadFieldInfo(
      form, form.lblFile_Num, IsZnaForm(form_name) ? kZnaFileNumItem : kFileNumItem, report_name);
  form.lblFile_Num.caption = UCase(VbTrim(form.lblFile_Num.caption));
  return answered;
}

bool CaptureSubjectFields(FrmMain& form, std::string_view report_name, std::string_view form_name) {
  App& app = form.app();
  auto read = [&](Label& label, std::string_view item) {
    return ReadFieldInfo(form, label, item, report_name);
  };
  auto date = [&] {
    bool answered = true;
    form.lblPr_dFinish.caption = MakeY2KDate(app, ReturnADate(form, report_name, &answered));
    return answered;
  };
  return read(form.lblPr_Street, "offscrn|7|1") && read(form.lblPr_City, "offscrn|8|1") &&
         read(form.lblPr_State, "offscrn|8|3") && read(form.lblPr_Zip, "offscrn|8|4") &&
         read(form.lblPr_County, "offscrn|8|2") && read(form.lblPr_Subdiv, "offscrn|24|1") &&
         read(form.lblPr_Census, ReturnFieldCode(app, form_name, "CENSUS")) &&
         read(form.lblPr_Map_Ref, ReturnFieldCode(app, form_name, "MAPREF")) &&
         read(form.LblPr_Ref_Num, "offscrn|2|3") && read(form.lblPr_ApprVal, "offscrn|11|1") &&
         date() && read(form.lblPr_Borrowr, "offscrn|6|1") &&
         read(form.lblPr_Owner, ReturnFieldCode(app, form_name, "OWNER"));
}

std::string ReturnADate(FrmMain& form, std::string_view file_n, bool* answered) {
  App& app = form.app();
  std::string result;
  StepRunner run(app, "ReturnADate");
  run.Step([&] {
    result.clear();
    std::string answer = ApxGetFieldInfo(app, form.txtdde, file_n, kCompletionDateItem, answered);
    // The request named itself for its own errors; a conversion error is this procedure's.
    app.SetProc("ReturnADate");
    if (IsBlankAnswer(answer)) return;
    result = CDateText(app, answer);
  });
  return result;
}

bool CaptureClientFields(FrmMain& form, std::string_view report_name) {
  auto read = [&](Label& label, std::string_view item) {
    return ReadFieldInfo(form, label, item, report_name);
  };
  if (!read(form.lblCli_Num, "offscrn|13|1")) return false;
  form.lblCli_Num.caption = UCase(VbTrim(form.lblCli_Num.caption));
  const bool name = read(form.lblPlain_Name, "offscrn|14|1");
  form.lblCli_LName.caption = form.lblPlain_Name.caption;
  return name && read(form.lblCli_Street, "offscrn|15|1") &&
         read(form.lblCli_Addr2, "offscrn|16|1") && read(form.lblCli_Addr3, "offscrn|17|1") &&
         read(form.lblCli_Cont, "offscrn|20|3");
}

std::string ReadFormType(App& app, std::string_view form_name) {
  return ReadIniString(app, app.config.XfrIni, "FORM", form_name, "");
}

}  // namespace xfr
