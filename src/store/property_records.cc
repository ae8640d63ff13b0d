#include "store/property_records.h"

#include <optional>
#include <string>

#include "base/dates.h"
#include "base/error_report.h"
#include "base/text.h"
#include "platform/runtime_error.h"
#include "store/record_writing.h"

namespace xfr {

namespace {

// Width of PROPERTY inv_num as the tracking program has always filled it.
constexpr std::size_t kInvNumWidth = 8;

bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double EstimatedValueNumber(std::string_view caption) {
  std::size_t i = 0;
  auto skip_blanks = [&] {
    while (i < caption.size() && (caption[i] == ' ' || caption[i] == '\t')) ++i;
  };
  std::string number;
  skip_blanks();
  // A sign and a "$" in either order: "-$1,000", "$ -1,000".
  for (int round = 0; round < 2; ++round) {
    if (i < caption.size() && (caption[i] == '-' || caption[i] == '+') && number.empty()) {
      number += caption[i++];
      skip_blanks();
    }
    if (i < caption.size() && caption[i] == '$') {
      ++i;
      skip_blanks();
    }
  }
  bool digits = false;
  bool point = false;
  for (; i < caption.size(); ++i) {
    char c = caption[i];
    if (IsDigitChar(c)) {
      number += c;
      digits = true;
    } else if (c == ' ' || c == '\t') {
      continue;  // blanks inside a number are skipped, as the platform's number reading does
    } else if (c == ',' && digits && !point && i + 1 < caption.size() &&
               IsDigitChar(caption[i + 1])) {
      continue;  // a group separator
    } else if (c == '.' && !point) {
      number += c;
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return 0.0;
  double v = 0;
  return ParseDecimal(number, &v) ? v : 0.0;
}

namespace {

// What Label2Text writes: the caption fitted to the box's width.
FieldWrite LabelWrite(FrmMain& form, const TextBox& text_control, const Label& label_control) {
  return LabelFieldWrite(form.datproperty, text_control, label_control, FieldWrite::kLabel2Text);
}

void Apply(FrmMain& form, const FieldWrite& w) {
  auto write = [&] { form.datproperty.SetField(w.field, StoredValue(form.datproperty, w)); };
  if (w.how == FieldWrite::kLabel2Text) {
    StepRunner(form.app(), "Label2Text").Step(write);
  } else {
    write();
  }
}

}  // namespace

void Label2Text(FrmMain& form, TextBox& text_control, const Label& label_control) {
  Apply(form, LabelWrite(form, text_control, label_control));
}

std::vector<FieldWrite> PropertyWritesFromLabels(FrmMain& form, bool adding) {
  App& app = form.app();
  DataControl& dc = form.datproperty;
  std::vector<FieldWrite> writes;
  writes.push_back(LabelWrite(form, form.txtFile_Num, form.lblFile_Num));
  struct Pair {
    TextBox* box;
    const Label* label;
  } pairs[] = {
      {&form.txtPR_Street, &form.lblPr_Street},   {&form.txtPR_City, &form.lblPr_City},
      {&form.txtPR_State, &form.lblPr_State},     {&form.txtPr_Zip, &form.lblPr_Zip},
      {&form.txtPR_County, &form.lblPr_County},   {&form.txtPr_Subdiv, &form.lblPr_Subdiv},
      {&form.txtPr_Map_Ref, &form.lblPr_Map_Ref}, {&form.txtPr_Ref_Num, &form.LblPr_Ref_Num},
      {&form.txtPR_Census, &form.lblPr_Census},   {&form.txtPr_Owner, &form.lblPr_Owner},
      {&form.txtPr_Borrowr, &form.lblPr_Borrowr},
  };
  for (const Pair& p : pairs) writes.push_back(LabelWrite(form, *p.box, *p.label));

  writes.push_back({"Ass_Type", FitToWidth(app.FormTypeText, form.txtAss_Type.max_length)});

  // A blank inv_num counts as empty (values are compared trimmed); one that holds a number,
  // maybe another job's, is kept. A new record's is blank.
  FieldWrite inv_num{"inv_num", FitToWidth(form.lblFile_Num.caption, kInvNumWidth)};
  bool blank = adding;
  if (!adding) CatchInto(inv_num, [&] { blank = VbTrim(ValueText(dc.Field("inv_num"))).empty(); });
  if (blank || inv_num.error) writes.push_back(inv_num);

  if (!VbTrim(form.lblPr_dFinish.caption).empty()) {
    FieldWrite date{"PR_DFINISH", {}, FieldWrite::kText};
    CatchInto(date,
              [&] { date.value = MakeY2KDate(app, CDateText(app, form.lblPr_dFinish.caption)); });
    writes.push_back(date);
  }

  writes.push_back({"PR_APPRVAL", EstimatedValueNumber(form.lblPr_ApprVal.caption)});
  return writes;
}

void SetPropertyFieldsFromLabels(FrmMain& form) {
  const bool adding = form.datproperty.GetEditMode() == EditMode::kAdd;
  for (const FieldWrite& w : PropertyWritesFromLabels(form, adding)) {
    Apply(form, w);
    // Only the display: the field was written from the label, and a box the person did not
    // edit is never handed back. Adding: the box is empty and stays so.
    if (w.field == form.txtFile_Num.tag) {
      form.txtFile_Num.text = UCase(VbTrim(form.txtFile_Num.text));
    }
  }
  // The value box (hidden) shows the new value after the update; nothing to redraw here.
}

AddOutcome AddRecord(FrmMain& form) {
  App& app = form.app();
  DataControl& dc = form.datproperty;
  StepRunner run(app, "AddRecord", ReportAs(app, "AddRecord"));
  WriteGuard guard(dc);
  AddOutcome outcome = AddOutcome::kNotAdded;
  run.Step([&] { dc.AddNew(); }) && run.Step([&] { SetPropertyFieldsFromLabels(form); }) &&
      run.Step([&] {
        outcome = dc.UpdateUnlessFound("File_Num") ? AddOutcome::kAdded : AddOutcome::kAlreadyThere;
      });
  return outcome;
}

void EditRecord(FrmMain& form) {
  DataControl& dc = form.datproperty;
  WriteGuard guard(dc);
  dc.Edit();
  SetPropertyFieldsFromLabels(form);
  dc.Update();
}

void AddInvoiceRecord(FrmMain& form) {
  App& app = form.app();
  DataControl& dc = form.datinvoice;
  StepRunner run(app, "AddInvoiceRecord", ReportAs(app, "AddInvoiceRecord"));
  WriteGuard guard(dc);
  run.Step([&] { dc.AddNew(); }) &&
      run.Step([&] { dc.SetField("INV_NUM", ValueText(form.datproperty.Field("File_Num"))); }) &&
      run.Step([&] { dc.UpdateUnlessFound("INV_NUM"); });
}

}  // namespace xfr
