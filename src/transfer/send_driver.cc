#include "transfer/send_driver.h"

#include <string>

#include "base/error_report.h"
#include "base/text.h"
#include "form/status.h"
#include "link/apx_link.h"
#include "transfer/capture.h"
#include "transfer/legal.h"

namespace xfr {

namespace {

// The rows of the send whose value is an appraisal label, in the order they go out. A row with
// no ZNA item is not sent on the ZNA form. The items are written exactly as the appraisal
// software has always been addressed, mixed case included.
struct LabelRow {
  int number;
  std::string_view item;
  std::string_view zna_item;
  Label FrmMain::*value;
};

constexpr LabelRow kLabelRows[] = {
    {1, "Offscrn|3|3", "ZNAPROF|3|1", &FrmMain::lblFile_Num},
    {2, "Offscrn|7|1", "Offscrn|7|1", &FrmMain::lblPr_Street},
    {3, "Offscrn|8|1", "Offscrn|8|1", &FrmMain::lblPr_City},
    {4, "Offscrn|8|3", "Offscrn|8|3", &FrmMain::lblPr_State},
    {5, "Offscrn|8|4", "Offscrn|8|4", &FrmMain::lblPr_Zip},
    {6, "Offscrn|8|2", "Offscrn|8|2", &FrmMain::lblPr_County},
    {7, "Offscrn|6|1", "ZNAPROF|6|1", &FrmMain::lblPr_Borrowr},
    {8, "Offscrn|13|1", "", &FrmMain::lblCli_Num},
    {9, "Offscrn|14|1", "", &FrmMain::lblPlain_Name},
    {10, "Offscrn|15|1", "", &FrmMain::lblCli_Street},
    {11, "Offscrn|16|1", "", &FrmMain::lblCli_Addr2},
    {12, "Offscrn|17|1", "", &FrmMain::lblCli_Addr3},
    {13, "Offscrn|20|3", "", &FrmMain::lblCli_Cont},
    {14, "Offscrn|24|1", "", &FrmMain::lblPr_Subdiv},
    {15, "Offscrn|2|3", "ZNAPROF|2|1", &FrmMain::LblPr_Ref_Num},
};

constexpr int kFirstClientRow = 8;
constexpr int kLastClientRow = 13;

constexpr std::string_view kLegalItem = "OFFSCRN|10|1";

// The client boxes are hidden when the shown property has no client (none named, or none found).
// datclient may then still stand on some other client, which must not be sent or linked.
bool ClientShown(FrmMain& form) { return form.txtCli_LName.visible; }

// The record key cut to the file-number box's length. A box that was never sized (length 0, no
// limit) takes the whole key: a blank file number must never reach the bound box.
std::string FileNumFromKey(const FrmMain& form) {
  const int n = form.txtFile_Num.max_length;
  if (n <= 0) return form.txtKey.text;
  return Utf8Left(form.txtKey.text, static_cast<std::size_t>(n));
}

}  // namespace

void CopyTextToCaption(const TextBox& text_box, Label& label) { label.caption = text_box.text; }

void CopyPropertyTextToLabels(FrmMain& form) {
  CopyTextToCaption(form.txtFile_Num, form.lblFile_Num);
  CopyTextToCaption(form.txtPR_Street, form.lblPr_Street);
  CopyTextToCaption(form.txtPR_City, form.lblPr_City);
  CopyTextToCaption(form.txtPR_State, form.lblPr_State);
  CopyTextToCaption(form.txtPr_Zip, form.lblPr_Zip);
  CopyTextToCaption(form.txtPR_County, form.lblPr_County);
  CopyTextToCaption(form.txtPr_Subdiv, form.lblPr_Subdiv);
  CopyTextToCaption(form.txtPr_Map_Ref, form.lblPr_Map_Ref);
  CopyTextToCaption(form.txtPr_Ref_Num, form.LblPr_Ref_Num);
  CopyTextToCaption(form.txtPR_Census, form.lblPr_Census);
  CopyTextToCaption(form.txtPr_Owner, form.lblPr_Owner);
  CopyTextToCaption(form.txtPr_Borrowr, form.lblPr_Borrowr);
  CopyTextToCaption(form.txtPr_dfinish, form.lblPr_dFinish);
  CopyTextToCaption(form.txtPr_Apprval, form.lblPr_ApprVal);
}

void CopyClientTextToLabels(FrmMain& form) {
  CopyTextToCaption(form.txtCliKey, form.lblCli_Num);
  form.txtCli_Num.text = UCase(VbTrim(form.txtCliKey.text));
  CopyTextToCaption(form.txtCli_LName, form.lblCli_LName);
  CopyTextToCaption(form.txtPlain_Name, form.lblPlain_Name);
  CopyTextToCaption(form.txtCli_Street, form.lblCli_Street);
  CopyTextToCaption(form.txtCli_Addr2, form.lblCli_Addr2);
  CopyTextToCaption(form.txtCli_Addr3, form.lblCli_Addr3);
  CopyTextToCaption(form.txtCli_Cont, form.lblCli_Cont);
}

void SendTheData(FrmMain& form) {
  App& app = form.app();
  DdeClientControl& dde = form.txtdde;

  // A text left from an earlier exchange must not pass for the answer when nobody answers now.
  dde.SetText("");
  ApxQueryActiveReports(app, dde);
  const std::string report_name = TextBeforeComma(dde.Text());

  const std::string upper = UCase(VbTrim(report_name));
  if (upper.empty() || upper == "NONE") {
    app.window().MessageBox(kNoReportMessage, kAppTitle, Buttons::kOk);
    app.window().SetPointer(Pointer::kDefault);
    return;
  }

  const std::string topic = "APX|" + report_name;

  // Likewise the report list must not pass for a form list when the list request fails.
  dde.SetText("");
  ApxListForms(app, dde, report_name);
  const std::string form_name = TextBeforeComma(dde.Text());

  const std::string legal_text = MakeLegalDescription(form);
  CopyPropertyTextToLabels(form);
  form.lblLegal.caption = legal_text;

  const bool client_shown = ClientShown(form);
  if (!IsZnaForm(form_name) && client_shown) CopyClientTextToLabels(form);

  // Abort at a poke's error report ends the send; the closing macro and the hint are for a
  // send whose every row was taken.
  bool all_taken = true;
  bool aborted = false;
  auto send = [&](std::string_view item, std::string_view value) {
    if (aborted) return;
    aborted = AbortedWithin(app, [&] {
      if (!ApxSendField(app, dde, topic, item, value)) all_taken = false;
    });
  };

  if (IsZnaForm(form_name)) {
    for (const LabelRow& row : kLabelRows) {
      if (!row.zna_item.empty()) send(row.zna_item, (form.*row.value).caption);
    }
  } else {
    for (const LabelRow& row : kLabelRows) {
      const bool client_row = row.number >= kFirstClientRow && row.number <= kLastClientRow;
      if (client_row && !client_shown) continue;
      send(row.item, (form.*row.value).caption);
    }
    if (const std::string item = ReturnFieldCode(app, form_name, "CENSUS"); !VbTrim(item).empty())
      send(item, VbTrim(form.txtPR_Census.text));
    if (const std::string item = ReturnFieldCode(app, form_name, "MAPREF"); !VbTrim(item).empty())
      send(item, VbTrim(form.txtPr_Map_Ref.text));
    send(kLegalItem, legal_text);
    if (const std::string item = ReturnLegal(app, form_name); !item.empty()) send(item, legal_text);
  }
  if (const std::string item = ReturnFieldCode(app, form_name, "OWNER"); !VbTrim(item).empty())
    send(item, VbTrim(form.txtPr_Owner.text));

  if (aborted) {
    ShowStatus(form, "");
    return;
  }
  const bool closed = ApxSendScript(app, dde, kCloseScreenMacro);
  ShowStatus(form, all_taken && closed ? kSentStatus : "");
}

void cmdSend_Click(FrmMain& form) {
  WindowServices& window = form.app().window();
  window.SetPointer(Pointer::kHourglass);
  try {
    form.txtFile_Num.text = FileNumFromKey(form);
    StartSendAnimation(form);
    ShowStatus(form, kSendingStatus);
    SendTheData(form);
  } catch (...) {
    // An error passed on out of the send (or the end of the program) leaves no hourglass and no
    // running animation behind.
    StopCopyAnimation(form);
    window.SetPointer(Pointer::kDefault);
    throw;
  }
  StopCopyAnimation(form);
  window.SetPointer(Pointer::kDefault);
  TestToExit(form);
}

}  // namespace xfr
