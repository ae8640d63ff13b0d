#include "store/client_records.h"

#include "base/text.h"
#include "store/lookup.h"
#include "store/record_writing.h"
#include "util/records.h"

namespace xfr {

namespace {

// CLIENT CLI_NUM is five characters wide.
constexpr int kClientKeyWidth = 5;

// The client boxes and their labels, in the order their fields are written.
constexpr struct {
  TextBox FrmMain::*box;
  Label FrmMain::*label;
} kClientPairs[] = {
    {&FrmMain::txtCli_LName, &FrmMain::lblCli_LName},
    {&FrmMain::txtCli_Street, &FrmMain::lblCli_Street},
    {&FrmMain::txtPlain_Name, &FrmMain::lblPlain_Name},
    {&FrmMain::txtCli_Addr2, &FrmMain::lblCli_Addr2},
    {&FrmMain::txtCli_Addr3, &FrmMain::lblCli_Addr3},
    {&FrmMain::txtCli_Cont, &FrmMain::lblCli_Cont},
};

// The new client's key: the captured number upper-cased, trimmed and fitted to five characters.
FieldWrite ClientKeyWrite(FrmMain& form) {
  return {"CLI_NUM", FitToWidth(UCase(form.lblCli_Num.caption), kClientKeyWidth)};
}

}  // namespace

bool ValidateClientKey(std::string_view input_str) {
  const std::size_t length = Utf8Length(VbTrim(input_str));
  return length > 0 && length <= static_cast<std::size_t>(kClientKeyWidth);
}

void SetClientOfProperty(FrmMain& form, std::string_view file_num, std::string_view client_num) {
  App& app = form.app();
  if (FindRecord(app, form.datproperty, file_num, "FILE_NUM")) {
    EditClientIDFieldOnly(form, client_num);
  }
  FindRecord(app, form.datproperty, file_num, "FILE_NUM");
}

void EditClientIDFieldOnly(FrmMain& form, std::string_view input_str) {
  DataControl& dc = form.datproperty;
  WriteGuard guard(dc);
  dc.Edit();
  std::string value = VbTrim(UCase(input_str));
  if (form.txtCli_Num.max_length > 0) {
    value = Utf8Left(value, static_cast<std::size_t>(form.txtCli_Num.max_length));
  }
  dc.SetField("Cli_Num", value);
  dc.Update();
}

std::vector<FieldWrite> ClientWritesFromLabels(FrmMain& form) {
  std::vector<FieldWrite> writes{ClientKeyWrite(form)};
  for (const auto& p : kClientPairs) {
    writes.push_back(LabelFieldWrite(form.datclient, form.*p.box, form.*p.label));
  }
  return writes;
}

void Label2ClientText(FrmMain& form, TextBox& text_control, const Label& label_control) {
  DataControl& dc = form.datclient;
  dc.SetField(text_control.tag,
              StoredValue(dc, LabelFieldWrite(dc, text_control, label_control)));
  // The box shows the caption at once, trimmed; the field was written above, and the box, not
  // being the person's edit, is not handed back.
  text_control.text = VbTrim(label_control.caption);
}

void SetClientFieldsFromLabels(FrmMain& form) {
  form.txtCliKey.text = form.lblCli_Num.caption;
  form.txtCliKey.text = UCase(VbTrim(form.txtCliKey.text));
  for (const auto& p : kClientPairs) Label2ClientText(form, form.*p.box, form.*p.label);
}

bool AddClientRecord(FrmMain& form) {
  DataControl& dc = form.datclient;
  StepRunner run(form.app(), "AddClientRecord");
  WriteGuard guard(dc);
  bool built = false, written = false;
  // The write is reported where it failed, so that Retry can try it again (a lock another
  // program held may be free by then). A record not built whole is never written.
  run.Step([&] {
    dc.AddNew();
    dc.SetField("CLI_NUM", StoredValue(dc, ClientKeyWrite(form)));
    SetClientFieldsFromLabels(form);
    ShowClientFields(form, true);
    built = true;
  });
  if (built) {
    run.Step([&] {
      dc.UpdateUnlessFound("CLI_NUM");
      written = true;
    });
  }
  return written;
}

}  // namespace xfr
