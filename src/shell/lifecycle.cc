#include "shell/lifecycle.h"

#include <cfenv>
#include <cmath>
#include <optional>

#include "base/error_report.h"
#include "base/text.h"
#include "platform/runtime_error.h"
#include "shell/startup.h"
#include "store/lookup.h"
#include "transfer/field_sizing.h"
#include "transfer/undo.h"
#include "util/paths.h"

namespace xfr {

void Connect2DBF(FrmMain& form, DataControl& control, std::string directory,
                 std::string_view record_source, int recordset_type, std::string_view connect) {
  App& app = form.app();
  std::string stripped;
  StepRunner run(app, "Connect2DBF", [&](const RuntimeError& e) -> std::optional<Resume> {
    if (e.number() != kErrTableNotFound) return std::nullopt;
    app.window().MessageBox(MissingTableMessage(stripped, record_source), kAppTitle,
                            Buttons::kOk);
    const std::string source(record_source);
    app.window().FileNote(stripped.empty() ? source : stripped + "\\" + source, e.description());
    return Resume::kLeave;
  });
  if (!run.Step([&] { stripped = StripRChar(app, directory); })) return;
  run.Step([&] {
    control.Connect = std::string(connect);
    control.DatabaseName = stripped;
    control.RecordSource = std::string(record_source);
    control.RecordsetType = recordset_type;
    control.Refresh();
  });
}

void DetermineAutoExit(FrmMain& form) {
  App& app = form.app();
  std::string text = ReadIniString(app, app.config.XfrIni, "PREFERENCES", "AUTOEXIT", "1");
  double value = std::fabs(LeadingNumber(text));
  // Halves go to the even neighbour, as the platform's rounding does.
  std::fesetround(FE_TONEAREST);
  double rounded = std::nearbyint(value);
  if (!(rounded <= 2)) throw RuntimeError(kErrInvalidProperty);
  form.ckbAutoExit.value = static_cast<int>(rounded);
}

void MoveToTopLeft(FrmMain& form) {
  form.top = 0;
  form.left = 0;
}

void SetKeyField(FrmMain& form) {
  App& app = form.app();
  StepRunner run(app, "SetKeyField", [](const RuntimeError& e) -> std::optional<Resume> {
    if (e.number() == kErrNoCurrentRecord) return Resume::kNext;
    return std::nullopt;
  });
  run.Step([&] {
    if (!form.datproperty.HasCurrent()) throw RuntimeError(kErrNoCurrentRecord);
    form.txtKey.text = UCase(ValueText(form.datproperty.Field("File_Num")));
  });
}

void SetRecordPointer(FrmMain& form) {
  App& app = form.app();
  StepRunner run(app, "SetRecordPointer");
  std::string path = app.config.WinDir + std::string(kHandOffFileName);
  bool present = false;
  if (!run.Step([&] {
        try {
          present = !app.services().files->ListPath(path).empty();
        } catch (const RuntimeError&) {
          present = false;
        }
      })) {
    return;
  }
  if (!present) return;
  // The tracking program may still be writing the file: one that is empty, or whose line has no
  // end yet, is looked at again for about a second before it is taken as it is.
  Clock* clock = app.services().clock;
  std::optional<RuntimeError> error;
  for (int pauses = 0;; ++pauses) {
    bool line_ended = false;
    try {
      app.HandOffFileNum = app.services().files->ReadFirstLine(path, &line_ended);
      error.reset();
    } catch (const RuntimeError& e) {
      error = e;
    }
    const bool being_written = error ? error->number() == kErrInputPastEnd : !line_ended;
    if (!being_written || !clock || pauses == kHandOffPauses) break;
    clock->Sleep(kHandOffPause);
  }
  if (error) {
    // An empty or unreadable hand-off file is reported once and removed, whatever the answer,
    // so that the next repaint does not raise the same error again.
    ReportError(app, *error);
    bool removed = true;
    try {
      app.services().files->DeleteFile(path);
    } catch (const RuntimeError&) {
      removed = false;
    }
    app.window().Note(
        "The hand-off file " + app.NativePath(path) +
        (error->number() == kErrInputPastEnd
             ? " was still empty after a second: the tracking program wrote no file number in it"
             : " could not be read (" + error->description() + ")") +
        (removed ? ". It was removed; show the job from the tracking program again."
                 : ", nor removed: remove it, then show the job from the tracking program again."));
    return;
  }
  if (!run.Step([&] { app.services().files->DeleteFile(path); })) return;
  // The window goes on showing the record it showed; the status line says why, without a box.
  run.Step([&] {
    if (!FindTheRecord(form, app.HandOffFileNum) && !VbTrim(app.HandOffFileNum).empty()) {
      ShowStatus(form, NotFoundMessage(app.HandOffFileNum));
    }
  });
}

void frmMainForm_Load(FrmMain& form) {
  App& app = form.app();
  StepRunner run(app, "frmMainForm_Load");
  if (!run.Step([&] { ReadProgramIni(app); })) return;
  if (!run.Step([&] { DetermineAutoExit(form); })) return;
  if (!run.Step([&] { MoveToTopLeft(form); })) return;
  struct Connection {
    DataControl* control;
    const char* file;
    const char* label;
  } connections[] = {
      {&form.datproperty, "PROPERTY.DBF", "Connect To:"},
      {&form.datSearchProperty, "PROPERTY.DBF", "Connect To (Search):"},
      {&form.datclient, "CLIENT.DBF", "Connect To:"},
      {&form.datinvoice, "INVOICE.DBF", "Connect To:"},
  };
  for (const Connection& c : connections) {
    if (!run.Step([&] {
          TraceSetting(app, c.label, app.config.DataDir + c.file);
          Connect2DBF(form, *c.control, app.config.DataDir, c.file, 0, "FoxPro 2.6;");
        })) {
      return;
    }
  }
  if (!run.Step([&] { SetAllFieldSizes(form); })) return;
  if (!run.Step([&] { form.datproperty.Refresh(); })) return;
  if (!run.Step([&] { SetKeyField(form); })) return;
  if (!run.Step([&] { form.datclient.Refresh(); })) return;
  run.Step([&] { DisplayClientFields(form); });
}

void Form_Activate(FrmMain& form) {
  PreviousInstance(form.app());
  // Once, at the start: a transfer of this workstation cut short is told of.
  if (!form.instance_checked) ReportUnfinishedTransfer(form.app());
  form.instance_checked = true;
}

void Form_Paint(FrmMain& form) {
  // The hand-off file belongs to the first instance: a second one must end before it reads it,
  // even where the window is painted before it is first activated.
  if (!form.instance_checked) Form_Activate(form);
  SetRecordPointer(form);
}

void Form_Unload(FrmMain& form) {
  if (form.unloaded) return;
  App& app = form.app();
  WriteIniString(app, app.config.XfrIni, "PREFERENCES", "AUTOEXIT",
                 NumText(std::abs(form.ckbAutoExit.value)));
  for (DataControl* dc :
       {&form.datproperty, &form.datSearchProperty, &form.datclient, &form.datinvoice}) {
    dc->Close();
  }
  form.unloaded = true;
}

void cmdExit_Click(FrmMain& form) {
  Form_Unload(form);
  throw EndProgram{0};
}

}  // namespace xfr
