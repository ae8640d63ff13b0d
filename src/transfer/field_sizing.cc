#include "transfer/field_sizing.h"

#include "base/error_report.h"
#include "base/text.h"
#include "controls/data_control.h"

namespace xfr {

int PropertyFieldSize(FrmMain& form, std::string_view field) {
  return static_cast<std::int16_t>(form.datproperty.FieldSize(field));
}

int ClientFieldSize(FrmMain& form, std::string_view field) {
  return static_cast<std::int16_t>(form.datclient.FieldSize(field));
}

void SetFieldSize(FrmMain& form, TextBox& box) {
  box.max_length = PropertyFieldSize(form, box.tag);
}

void SetClientFieldSize(FrmMain& form, TextBox& box) {
  box.max_length = ClientFieldSize(form, box.tag);
}

void SetAllFieldSizes(FrmMain& form) {
  for (TextBox* box :
       {&form.txtFile_Num, &form.txtPR_Street, &form.txtPR_City, &form.txtPR_State,
        &form.txtPr_Zip, &form.txtPr_Owner, &form.txtPr_Borrowr, &form.txtPr_Map_Ref,
        &form.txtPR_Census, &form.txtPR_County, &form.txtPr_Ref_Num, &form.txtPr_Subdiv,
        &form.txtAss_Type, &form.txtPr_Lot, &form.txtPr_Block, &form.txtPr_LandLot,
        &form.txtPr_DeedBk, &form.txtPr_PlatBk, &form.txtPr_Landist, &form.txtPr_DeedPg,
        &form.txtPr_PlatPg, &form.txtPr_Section}) {
    SetFieldSize(form, *box);
  }
  form.txtPr_dfinish.max_length = 10;
  SetFieldSize(form, form.txtPr_Apprval);
  for (TextBox* box : {&form.txtCli_Num, &form.txtCli_LName, &form.txtPlain_Name,
                       &form.txtCli_Street, &form.txtCli_Addr2, &form.txtCli_Addr3,
                       &form.txtCli_Cont}) {
    SetClientFieldSize(form, *box);
  }
}

void FitTextToMaxLength(TextBox& box) {
  if (box.max_length <= 0) {
    box.text = VbTrim(box.text);
    return;
  }
  box.text = VbTrim(Utf8Left(box.text, static_cast<std::size_t>(box.max_length)));
}

namespace {
bool IsFitAction(int action) {
  return action == DataControl::kActionClose || action == DataControl::kActionWrite;
}
}  // namespace

void datproperty_Validate(FrmMain& form, int& action, int& save) {
  if (!IsFitAction(action)) return;
  for (TextBox* box :
       {&form.txtFile_Num, &form.txtPR_Street, &form.txtPR_City, &form.txtPR_State,
        &form.txtPr_Zip, &form.txtPR_County, &form.txtPr_Subdiv, &form.txtPr_Ref_Num,
        &form.txtPr_Map_Ref, &form.txtPR_Census, &form.txtPr_Owner, &form.txtPr_Borrowr,
        &form.txtPr_dfinish, &form.txtPr_Apprval, &form.txtPr_Lot, &form.txtPr_Block,
        &form.txtPr_LandLot, &form.txtPr_DeedBk, &form.txtPr_PlatBk, &form.txtPr_Landist,
        &form.txtPr_DeedPg, &form.txtPr_PlatPg, &form.txtPr_Section}) {
    FitTextToMaxLength(*box);
  }
  // A key the person typed is stored upper-cased.
  for (TextBox* key : {&form.txtFile_Num, &form.txtKey, &form.txtCli_Num}) {
    if (key->edited) key->text = UCase(key->text);
  }
}

void datclient_Validate(FrmMain& form, int& action, int& save) {
  if (!IsFitAction(action)) return;
  for (TextBox* box : {&form.txtCli_LName, &form.txtPlain_Name, &form.txtCli_Street,
                       &form.txtCli_Addr2, &form.txtCli_Addr3, &form.txtCli_Cont}) {
    FitTextToMaxLength(*box);
  }
  if (form.txtCliKey.edited) form.txtCliKey.text = UCase(form.txtCliKey.text);
}

void datclient_Error(FrmMain& form, int data_err, int& response) {
  App& app = form.app();
  StepRunner run(app, "datclient_Error");
  run.Step([&] {
    response = -1;
    app.DataErrorFlag = true;
  });
}

void datproperty_Error(FrmMain& form, int data_err, int& response) { response = 0; }

void ConnectDataEvents(FrmMain& form) {
  form.datproperty.Validate = [&form](int& a, int& s) { datproperty_Validate(form, a, s); };
  form.datclient.Validate = [&form](int& a, int& s) { datclient_Validate(form, a, s); };
  form.datproperty.Error = [&form](int e, int& r) { datproperty_Error(form, e, r); };
  form.datclient.Error = [&form](int e, int& r) { datclient_Error(form, e, r); };
}

}  // namespace xfr
