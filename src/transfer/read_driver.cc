#include "transfer/read_driver.h"

#include <initializer_list>
#include <optional>

#include "base/error_report.h"
#include "base/text.h"
#include "form/status.h"
#include "link/apx_link.h"
#include "platform/runtime_error.h"
#include "store/client_records.h"
#include "store/lookup.h"
#include "store/property_records.h"
#include "transfer/capture.h"
#include "transfer/undo.h"
#include "transfer/update_details.h"
#include "util/records.h"

namespace xfr {

namespace {

// The hourglass for the length of one command; the default pointer comes back when Restore is
// called or, at the latest, when the command is left in any way.
class Hourglass {
 public:
  explicit Hourglass(WindowServices& window) : window_(window) {
    window_.SetPointer(Pointer::kHourglass);
  }
  ~Hourglass() { Restore(); }
  Hourglass(const Hourglass&) = delete;
  Hourglass& operator=(const Hourglass&) = delete;

  void Restore() {
    if (!busy_) return;
    busy_ = false;
    window_.SetPointer(Pointer::kDefault);
  }

 private:
  WindowServices& window_;
  bool busy_ = true;
};

// Drops whatever AddNew or Edit an interrupted write left pending on any connection, so that
// neither a later move nor the close at unload can complete a half-written record.
void CancelPendingWrites(FrmMain& form) {
  for (DataControl* dc :
       {&form.datproperty, &form.datSearchProperty, &form.datclient, &form.datinvoice}) {
    try {
      if (dc->IsOpen() && dc->GetEditMode() != EditMode::kNone) dc->CancelUpdate();
    } catch (const RuntimeError&) {
      // A connection that cannot even cancel has nothing pending that could be written.
    }
  }
}

bool AskRecordFound(App& app, const std::string& question, const std::string& details = "") {
  return app.window().MessageBox(question, kRecordFoundTitle, Buttons::kYesNo, details) ==
         Answer::kYes;
}

void Notice(App& app, std::string_view text) {
  app.window().MessageBox(text, kAppTitle, Buttons::kOk);
}

// Where a key of the read is written: a connection and its field.
struct KeyField {
  const DataControl& dc;
  const char* field;
};

// The message that ends a read whose key (the file or client number) one of the tables it goes
// into cannot hold exactly: stored, it would be another key, maybe another job's. "" when every
// one can.
std::string KeyNotHeld(std::initializer_list<KeyField> where, std::string_view what,
                       const std::string& key) {
  for (const KeyField& w : where) {
    const std::string stored = w.dc.InCodePage(key);
    if (stored == key) continue;
    return "The " + std::string(what) + " \"" + key + "\" cannot be written to " +
           w.dc.Info(w.field).name + " of " + w.dc.RecordSource +
           ": the table cannot hold some of its characters and would store \"" + stored +
           "\".  Change it in the appraisal report and read again.  Nothing was written.";
  }
  return "";
}

// The client number the read would link or add, when it does (the captured one, 1 to 5
// characters), else "".
std::string LinkedClient(const ClientLink& link) {
  return link.kind == ClientLink::kLinks || link.kind == ClientLink::kAddsAndLinks ? link.cli_num
                                                                                   : "";
}

// True when datproperty stands on the record of the file number (trimmed, upper-cased).
bool StandsOnProperty(FrmMain& form, std::string_view file_num) {
  if (!form.datproperty.HasCurrent()) return false;
  return UCase(VbTrim(ValueText(form.datproperty.Field("File_Num")))) == file_num;
}

// The read after the first checks: finds the open report and its first form, captures the file
// number, the subject and the client fields, then looks the job up and (once the person agrees)
// updates or adds the property, its client and the invoice. Returns early when there is no
// report or form, the capture is incomplete, the file number is missing or too long, or the
// person declines.
void ReadTransfer(FrmMain& form, Hourglass& hourglass) {
  App& app = form.app();
  DdeClientControl& txtdde = form.txtdde;

  if (!ApxReportIsOpen(app, txtdde)) {
    hourglass.Restore();
    return;
  }
  ApxQueryActiveReports(app, txtdde);
  const std::string report_name = TextBeforeComma(txtdde.Text());
  ApxListForms(app, txtdde, report_name);
  const std::string form_name = TextBeforeComma(txtdde.Text());
  if (UCase(VbTrim(form_name)) == "NONE" || VbTrim(report_name).empty()) {
    Notice(app, kNoFormMessage);
    hourglass.Restore();
    return;
  }

  // The read ends without TestToExit: a read that did not finish never ends the program.
  auto stop = [&] {
    hourglass.Restore();
    StopCopyAnimation(form);
    ShowStatus(form, "");
  };
  // A capture that lost the appraisal program part-way is not the report: the read ends before
  // the question, rather than write the fields it could not read as blanks.
  auto incomplete = [&] {
    Notice(app, kIncompleteCaptureMessage);
    stop();
  };
  if (!CaptureFileNumber(form, report_name, form_name)) {
    incomplete();
    return;
  }
  const std::string file_num = form.lblFile_Num.caption;  // trimmed and upper-cased
  if (file_num.empty()) {
    ShowStatus(form, kNoFileNumberStatus);
    hourglass.Restore();
    return;
  }
  if (Utf8Length(file_num) > kMaxFileNumLength) {
    Notice(app, FileNumTooLongMessage(form.lblFile_Num.caption));
    hourglass.Restore();
    return;
  }

  ShowStatus(form, kTransferringStatus);
  const bool subject = CaptureSubjectFields(form, report_name, form_name);
  app.FormTypeText = ReadFormType(app, form_name);
  StartReadAnimation(form);
  const bool zna = IsZnaForm(form_name);
  if (!subject || (!zna && !CaptureClientFields(form, report_name))) {
    incomplete();
    return;
  }
  // Nothing is written unless all of it can be: every table the read writes is connected, and
  // each holds the file number exactly (a number it cannot hold would be stored as another).
  auto refuse = [&](const std::string& message) {
    if (message.empty()) return false;
    Notice(app, message);
    stop();
    return true;
  };
  for (const DataControl* dc :
       {&form.datproperty, &form.datSearchProperty, &form.datclient, &form.datinvoice}) {
    if (!dc->IsOpen() && refuse(MissingTableMessage(dc->DatabaseName, dc->RecordSource))) return;
  }
  if (refuse(KeyNotHeld({{form.datproperty, "File_Num"}, {form.datinvoice, "INV_NUM"}},
                        "file number", file_num))) {
    return;
  }
  // So is the client number, before a question that would link or add it.
  auto client_not_held = [&](const ClientLink& link) {
    const std::string cli_num = LinkedClient(link);
    return !cli_num.empty() &&
           refuse(KeyNotHeld({{form.datclient, "CLI_NUM"}, {form.datproperty, "Cli_Num"}},
                             "client number", cli_num));
  };

  // Every write of the read is journalled; a journal that cannot be written ends the read here.
  std::optional<JournalScope> journal;
  try {
    journal.emplace(app, "read", file_num);
  } catch (const RuntimeError& error) {
    Notice(app, error.description() + ".");
    stop();
    return;
  }
  const std::string key = Trim2Size(app, form.datproperty, file_num, "File_Num");
  // A lookup that failed and was answered Abort says nothing about the job: the read ends here
  // rather than offer to add a job it could not look for.
  bool found = false;
  if (AbortedWithin(app,
                    [&] { found = FindRecord(app, form.datSearchProperty, key, "File_Num"); })) {
    stop();
    return;
  }
  // False when the read ended before the question.
  auto update = [&] {
    const bool on_job = FindRecord(app, form.datproperty, key, "File_Num");
    if (on_job && !zna) {
      DisplayClientFields(form);
      if (client_not_held(PlanClientLink(form, file_num))) return false;
    }
    // What the update would write, shown with the question; nothing is written before the answer.
    const std::string details = on_job ? ReadDetails(form, file_num, zna, false) : "";
    if (!AskRecordFound(app, UpdateQuestion(file_num), details)) return true;
    if (FindRecord(app, form.datproperty, key, "File_Num")) {
      EditRecord(form);
      if (!zna) LinkClientToProperty(form, file_num);
    }
    return true;
  };
  if (found) {
    if (!update()) return;
  } else if (!zna && client_not_held(PlanCapturedClient(form))) {
    return;
  } else if (AskRecordFound(app, AddQuestion(file_num), ReadDetails(form, file_num, zna, true))) {
    // Another program may have added the job since the look-up; then this read updates it.
    const AddOutcome added = AddRecord(form);
    if (added == AddOutcome::kAlreadyThere) {
      if (!update()) return;
    } else {
      if (!zna) {
        // Abort at the report of a client write ends the read; Ignore goes on without it.
        if (AbortedWithin(app, [&] { LinkClientToProperty(form, file_num); })) {
          stop();
          return;
        }
      } else if (FindProperty(form, file_num)) {
        // The ZNA form captures no client: the new job gets none, rather than the client
        // whose labels an earlier read left standing.
        DisplayClientFields(form);
      }
      // The invoice takes its number from the current property: only when that is the new
      // job (an add that was abandoned at the error report leaves another record current).
      if (StandsOnProperty(form, file_num) &&
          !FindRecord(app, form.datinvoice, file_num, "INV_NUM")) {
        AddInvoiceRecord(form);
      }
    }
  }

  journal->Finish();
  hourglass.Restore();
  StopCopyAnimation(form);
  ShowStatus(form, "");
  TestToExit(form);
}

}  // namespace

std::string FileNumTooLongMessage(std::string_view file_num) {
  return "The file number " + std::string(file_num) +
         " must not be greater than eight (8) characters in length.";
}

std::string ClientIdMessage(std::string_view client_num) {
  return "The Client ID (" + std::string(client_num) +
         ") must be one to five (1 - 5) characters in length for the client data to transfer.";
}

std::string AddQuestion(std::string_view file_num) {
  return std::string(file_num) + " was not found.  Add?";
}

std::string UpdateQuestion(std::string_view file_num) {
  return std::string(file_num) + " was found.  Update?";
}

void CmdRead_Click(FrmMain& form) {
  App& app = form.app();
  ShowStatus(form, "");
  Hourglass hourglass(app.window());
  try {
    ReadTransfer(form, hourglass);
  } catch (const RuntimeError& error) {
    CancelPendingWrites(form);
    app.SetProc("CmdRead_Click");
    // Whatever the answer, the read ends here: what was written stays written, the rest is not
    // attempted. Error 3218 ends the program from inside the report.
    ReportError(app, error);
    hourglass.Restore();
    StopCopyAnimation(form);
    ShowStatus(form, "");
  }
}

ClientLink PlanClientLink(FrmMain& form, std::string_view file_num) {
  if (!FindProperty(form, file_num)) return {ClientLink::kNoProperty};
  const std::string cli_num = PropertyClientNum(form);
  if (!VbTrim(cli_num).empty()) return {ClientLink::kKeeps, cli_num, FindClient(form, cli_num)};
  return PlanCapturedClient(form);
}

ClientLink PlanCapturedClient(FrmMain& form) {
  const std::string captured = VbTrim(UCase(form.lblCli_Num.caption));
  if (!ValidateClientKey(captured)) return {ClientLink::kInvalidId, captured};
  const bool exists = FindClient(form, captured);
  return {exists ? ClientLink::kLinks : ClientLink::kAddsAndLinks, captured, exists};
}

void LinkClientToProperty(FrmMain& form, std::string_view file_num) {
  const ClientLink link = PlanClientLink(form, file_num);
  switch (link.kind) {
    case ClientLink::kNoProperty: return;
    case ClientLink::kKeeps: ShowClientFields(form, link.exists); return;
    case ClientLink::kInvalidId:
      Notice(form.app(), ClientIdMessage(VbTrim(form.lblCli_Num.caption)));
      return;
    // A new client is added before the property names it: a read stopped between the two
    // writes then leaves a client nobody names yet, which the next read of the job links,
    // rather than a property naming a client that no later read would add. A client that could
    // not be added is not named either.
    case ClientLink::kAddsAndLinks:
      if (!AddClientRecord(form)) return;
      break;
    case ClientLink::kLinks: break;
  }
  SetClientOfProperty(form, file_num, link.cli_num);
  ShowClientFields(form, FindClient(form, link.cli_num));
}

bool FindProperty(FrmMain& form, std::string_view file_num) {
  return FindRecord(form.app(), form.datproperty, UCase(VbTrim(file_num)), "File_Num");
}

std::string PropertyClientNum(FrmMain& form) {
  const Value cli_num = form.datproperty.Field("Cli_Num");
  return IsNull(cli_num) ? "" : ValueText(cli_num);
}

bool FindClient(FrmMain& form, std::string_view cli_num) {
  const std::string key = UCase(VbTrim(cli_num));
  if (key.empty()) return false;
  return FindRecord(form.app(), form.datclient, key, "CLI_NUM");
}

}  // namespace xfr
