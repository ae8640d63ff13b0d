#include "store/lookup.h"

#include "base/error_report.h"
#include "base/text.h"
#include "util/records.h"

namespace xfr {

void ShowClientFields(FrmMain& form, bool show) {
  for (TextBox* box : form.ClientBoxes()) box->visible = show;
}

void DisplayClientFields(FrmMain& form) {
  App& app = form.app();
  StepRunner run(app, "DisplayClientFields");
  Value cli_num;
  if (!run.Step([&] { cli_num = form.datproperty.Field("Cli_Num"); })) return;
  if (IsNull(cli_num)) {
    ShowClientFields(form, false);
    return;
  }
  std::string key;
  if (!run.Step([&] {
        key = Trim2Size(app, form.datclient, UCase(ValueText(cli_num)), "Cli_Num");
      })) {
    return;
  }
  bool found = false;
  if (!run.Step([&] { found = FindRecord(app, form.datclient, key, "Cli_Num"); })) return;
  ShowClientFields(form, found);
}

bool FindTheRecord(FrmMain& form, std::string_view file_num) {
  App& app = form.app();
  StepRunner run(app, "FindTheRecord");
  if (VbTrim(file_num).empty()) return false;
  auto key = [&] {
    return Trim2Size(app, form.datproperty, VbTrim(UCase(file_num)), "File_Num");
  };
  bool found = false;
  if (!run.Step([&] { found = FindRecord(app, form.datSearchProperty, key(), "File_Num"); })) {
    return false;
  }
  if (!found) return false;
  if (!run.Step([&] { found = FindRecord(app, form.datproperty, key(), "File_Num"); })) {
    return false;
  }
  if (!found) return false;
  if (!run.Step([&] { form.txtKey.text = UCase(VbTrim(form.txtFile_Num.text)); })) return false;
  run.Step([&] { DisplayClientFields(form); });
  return true;
}

std::string NotFoundMessage(std::string_view file_num) {
  return UCase(VbTrim(file_num)) + " was not found.";
}

bool GoToJob(FrmMain& form, std::string_view file_num) {
  if (FindTheRecord(form, file_num)) return true;
  form.app().window().MessageBox(NotFoundMessage(file_num), kAppTitle, Buttons::kOk);
  return false;
}

}  // namespace xfr
