#include "form/main_window.h"

#include "base/text.h"

namespace xfr {

FrmMain::FrmMain(App& app)
    : datproperty(app, "datproperty"),
      datSearchProperty(app, "datSearchProperty"),
      datclient(app, "datclient"),
      datinvoice(app, "datinvoice"),
      txtdde(app.services().dde),
      app_(app) {
  txtdde.SetText("txtdde");

  // Design-time connection settings; the load replaces them before any record is read.
  for (DataControl* dc : {&datproperty, &datSearchProperty, &datclient, &datinvoice}) {
    dc->Connect = "FoxPro 2.6;";
    dc->DatabaseName = "C:\\TRK";
  }
  datproperty.RecordSource = "PROPERTY";
  datSearchProperty.RecordSource = "PROPERTY";
  datclient.RecordSource = "CLIENT";
  datinvoice.RecordSource = "invoice";

  struct Bound {
    TextBox* box;
    DataControl* source;
    const char* field;
    const char* tag;
  } bound[] = {
      {&txtFile_Num, &datproperty, "File_Num", "FILE_NUM"},
      {&txtAss_Type, &datproperty, "Ass_Type", "ASS_TYPE"},
      {&txtPR_Street, &datproperty, "PR_STREET", "PR_Street"},
      {&txtPR_City, &datproperty, "PR_CITY", "PR_CITY"},
      {&txtPR_State, &datproperty, "PR_STATE", "PR_STATE"},
      {&txtPr_Zip, &datproperty, "PR_ZIP", "PR_ZIP"},
      {&txtPR_County, &datproperty, "PR_COUNTY", "PR_COUNTY"},
      {&txtPr_Subdiv, &datproperty, "PR_SUBDIV", "PR_SUBDIV"},
      {&txtPr_Map_Ref, &datproperty, "PR_MAP_REF", "PR_Map_Ref"},
      {&txtPR_Census, &datproperty, "PR_CENSUS", "PR_CENSUS"},
      {&txtPr_Ref_Num, &datproperty, "PR_REF_NUM", "Pr_Ref_Num"},
      {&txtPr_Owner, &datproperty, "PR_OWNER", "PR_OWNER"},
      {&txtPr_Borrowr, &datproperty, "PR_BORROWR", "PR_BORROWR"},
      {&txtPr_Lot, &datproperty, "Pr_Lot", "Pr_Lot"},
      {&txtPr_Block, &datproperty, "Pr_Block", "Pr_Block"},
      {&txtPr_LandLot, &datproperty, "Pr_LandLot", "Pr_LandLot"},
      {&txtPr_Landist, &datproperty, "Pr_LanDist", "PR_Landist"},
      {&txtPr_Section, &datproperty, "Pr_Section", "Pr_Section"},
      {&txtPr_DeedBk, &datproperty, "Pr_DeedBk", "Pr_DeedBk"},
      {&txtPr_DeedPg, &datproperty, "Pr_DeedPg", "Pr_DeedPg"},
      {&txtPr_PlatBk, &datproperty, "Pr_PlatBk", "Pr_PlatBk"},
      {&txtPr_PlatPg, &datproperty, "Pr_PlatPg", "Pr_PlatPg"},
      {&txtPr_dfinish, &datproperty, "PR_DFINISH", "Pr_dFinish"},
      {&txtPr_Apprval, &datproperty, "PR_APPRVAL", "Pr_apprval"},
      {&txtCli_Num, &datproperty, "Cli_Num", "Cli_Num"},
      {&txtKey, &datproperty, "File_Num", ""},
      {&txtCliKey, &datclient, "CLI_NUM", "CLI_NUM"},
      {&txtCli_LName, &datclient, "CLI_LNAME", "cli_Lname"},
      {&txtPlain_Name, &datclient, "Plain_Name", "Plain_Name"},
      {&txtCli_Street, &datclient, "CLI_STREET", "Cli_Street"},
      {&txtCli_Addr2, &datclient, "CLI_ADDR2", "Cli_Addr2"},
      {&txtCli_Addr3, &datclient, "CLI_ADDR3", "Cli_Addr3"},
      {&txtCli_Cont, &datclient, "CLI_CONT", "Cli_Cont"},
  };
  for (const Bound& b : bound) {
    b.box->tag = b.tag;
    b.source->Bind(*b.box, b.field);
  }

  txtFile_Num.locked = true;
  txtKey.locked = true;
  txtKey.visible = false;
  txtCliKey.visible = false;
  txtCli_Num.locked = true;
  txtCli_Num.tool_tip = "Client# can NOT be changed.";
  txtPr_dfinish.visible = false;
  txtPr_Apprval.visible = false;
  lblPr_dFinish.visible = false;
  lblPr_ApprVal.visible = false;

  lblAppraisals.caption = "APPRAISALS";
  lblTracking.caption = "TRACKING";
  CmdRead.caption = "&Read Info from Appraisal";
  CmdRead.tool_tip =
      "If you create the appraisal first you can add the information to tracking by clicking "
      "here.";
  cmdSend.caption = "&Send Info To Appraisal";
  cmdSend.tool_tip =
      "Open the appraisal form (and open Contents, Report Profile) before sending your "
      "information.";
  cmdExit.caption = "E&xit";
  ckbAutoExit.caption = "Exit After Transfer";
  LblMsg.visible = false;
  aniCopy.visible = false;
  imgApxIco.visible = false;
  imgTrkIco.visible = false;
}

FrmMain::~FrmMain() = default;

std::vector<TextBox*> FrmMain::TrackingBoxes() {
  return {&txtFile_Num,  &txtPR_Street,  &txtPR_City,    &txtPR_State,   &txtPr_Zip,
          &txtPR_County, &txtPr_Subdiv,  &txtPr_Map_Ref, &txtPR_Census,  &txtPr_Ref_Num,
          &txtPr_Owner,  &txtPr_Borrowr, &txtAss_Type,   &txtPr_Lot,     &txtPr_Block,
          &txtPr_LandLot, &txtPr_Landist, &txtPr_Section, &txtPr_DeedBk, &txtPr_DeedPg,
          &txtPr_PlatBk, &txtPr_PlatPg,  &txtPr_dfinish, &txtPr_Apprval, &txtCli_Num,
          &txtCli_LName, &txtPlain_Name, &txtCli_Street, &txtCli_Addr2,  &txtCli_Addr3,
          &txtCli_Cont};
}

std::vector<TextBox*> FrmMain::ClientBoxes() {
  return {&txtCli_Num,    &txtCli_LName, &txtPlain_Name, &txtCli_Street,
          &txtCli_Addr2,  &txtCli_Addr3, &txtCli_Cont};
}

std::vector<Label*> FrmMain::AppraisalLabels() {
  return {&lblFile_Num,   &lblPr_Street, &lblPr_City,    &lblPr_State,  &lblPr_Zip,
          &lblPr_County,  &lblPr_Subdiv, &lblPr_Map_Ref, &lblPr_Census, &LblPr_Ref_Num,
          &lblPr_Owner,   &lblPr_Borrowr, &lblPr_dFinish, &lblPr_ApprVal, &lblCli_Num,
          &lblCli_LName,  &lblPlain_Name, &lblCli_Street, &lblCli_Addr2, &lblCli_Addr3,
          &lblCli_Cont,   &lblLegal};
}

TextBox* FrmMain::FindBox(std::string_view name) {
  for (TextBox* b : TrackingBoxes()) {
    if (EqualsIgnoreCase(b->name, name)) return b;
  }
  for (TextBox* b : {&txtKey, &txtCliKey}) {
    if (EqualsIgnoreCase(b->name, name)) return b;
  }
  return nullptr;
}

}  // namespace xfr
