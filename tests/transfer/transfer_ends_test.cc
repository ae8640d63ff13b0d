// Every way a read or a send ends, followed by the window's whole state: the messages in their
// order, each status line shown, the pointer's changes, the animation, the job shown and whether
// the program ended. A clean-up step dropped on any one path shows here.
#include <gtest/gtest.h>

#include <functional>

#include "shell/lifecycle.h"
#include "transfer/read_driver.h"
#include "transfer/read_office.h"
#include "transfer/send_driver.h"

namespace xfr {
namespace {

using testing::ReadOffice;

std::string WindowState(ReadOffice& o, bool ended) {
  FrmMain& f = o.Form();
  std::string s;
  for (const auto& box : o.window.boxes) s += "[" + box.title + ": " + box.text + "] ";
  s += "status:";
  for (const std::string& status : o.window.statuses) s += " '" + status + "'";
  s += " pointer:";
  for (Pointer p : o.window.pointers) s += p == Pointer::kHourglass ? " wait" : " arrow";
  if (f.aniCopy.visible || f.imgApxIco.visible || f.imgTrkIco.visible) s += " animated";
  for (DataControl* dc : {&f.datproperty, &f.datclient, &f.datinvoice})
    if (dc->IsOpen() && dc->GetEditMode() != EditMode::kNone) s += " editing " + dc->name();
  const int writes = o.property->writes + o.client->writes + o.invoice->writes;
  return s + " shows '" + f.txtFile_Num.text + "' street '" + f.lblPr_Street.caption + "' " +
         std::to_string(writes) + " writes " + std::to_string(o.dde.CallsOf("poke").size()) +
         " pokes " + std::to_string(o.dde.CallsOf("execute").size()) + " macros" +
         (ended ? " ended" : "") + (ended && f.unloaded ? " unloaded" : "") +
         (f.datproperty.IsOpen() || f.datclient.IsOpen() ? " still open" : "");
}

TEST(TransferEnds, EveryEndLeavesTheWholeWindowState) {
  using Script = std::function<void(ReadOffice&)>;
  const auto field = [](const char* item, const char* value) {
    return [=](ReadOffice& o) { o.Field(item, value); };
  };
  const auto no = [](ReadOffice& o) { o.window.yes_no_default = Answer::kNo; };
  const auto dde_fails = [](const char* item, int error, Answer answer = Answer::kAbort) {
    return [=](ReadOffice& o) { o.dde.Fail("RPT1", item, error), o.window.error_default = answer; };
  };
  const auto table_fails = [](const char* op, bool client) {
    return [=](ReadOffice& o) {
      (client ? o.client : o.property)->fail_next[op] = {kErrRecordLocked};
      o.window.error_default = Answer::kAbort;
    };
  };
  const auto exits = [](const char* setting) {
    return [=](ReadOffice& o) { o.ini.Set(testing::kXfrIni, "PREFERENCES", "AUTOEXIT", setting); };
  };
  const auto stopped = [](ReadOffice& o) { o.dde.set_running(false); };
  const auto report = [](const char* list) {
    return [=](ReadOffice& o) { o.dde.SetAnswer("Query", "ActiveReports", list); };
  };
  // What the ends share: the messages, a read's status lines once it captured the report, the
  // pointer's changes, the job shown after start-up, nothing written or sent.
  const std::string read = "status: '' 'Transferring data to Tracking' '' pointer: wait arrow";
  const std::string add = "[Record Found: NEW-01 was not found.  Add?] ";
  const std::string update = "[Record Found: 24-00101 was found.  Update?] ";
  const auto locked = [](const char* module) {
    return "[Error: The record is locked by another user.\r\nError # 3260 in module " +
           std::string(module) + ".] ";
  };
  const std::string none = " 0 writes 0 pokes 0 macros", ended = " ended unloaded";
  const std::string idle = " pointer: wait arrow shows '24-00101' street ''" + none;
  const std::string form = "[Transfer Info: You must have an appraisal form (the actual report) "
                           "running before the data can be transferred";
  const std::string incomplete =
      "[Transfer Info: The appraisal report could not be read completely.  Nothing was written.] "
      "status: ''";
  const std::string captured = " 'Transferring data to Tracking' '' pointer: wait arrow shows "
                               "'24-00101' street '12 Main St'" + none;
  const std::string sending = "status: 'Transferring data to Appraisal'";
  const std::string no_report = form + ".] " + sending +
                                " pointer: wait arrow arrow shows '24-00101' street ''" + none + ended;
  const std::string sent = " pointer: wait arrow shows '24-00101' street '1 Main St' 0 writes ";
  const struct Case {
    const char* name;
    bool send;
    std::vector<Script> scripts;
    std::string state;
    const char* stale = nullptr;  // the link control's text left from an earlier exchange
  } cases[] = {
      {"read: added", false, {}, add + read + " shows 'NEW-01' street '12 Main St' 4 writes 0 pokes 0 macros" + ended},
      {"read: updated", false, {field("offscrn|3|3", "24-00101"), exits("0")},
       update + read + " shows '24-00101' street '12 Main St' 1 writes 0 pokes 0 macros"},
      {"read: No to Add?", false, {no, field("offscrn|3|3", "abcd-123")},  // eight characters
       "[Record Found: ABCD-123 was not found.  Add?] " + read +
           " shows '24-00101' street '12 Main St'" + none + ended},
      {"read: No to Update?", false, {no, field("offscrn|3|3", "24-00101"), exits("2")},
       update + read + " shows '24-00101' street '12 Main St'" + none + ended},
      {"read: no server", false, {stopped}, "status: ''" + idle},
      {"read: no form", false, {[](ReadOffice& o) { o.Report("RPT1", "NONE"); }},
       form + " into the Tracking program.] status: ''" + idle},
      {"read: no report named", false, {report("RPT1")},  // no comma after the one report
       form + " into the Tracking program.] status: ''" + idle},
      {"read: no file number", false, {field("offscrn|3|3", " ")},
       "status: '' 'The Appraisal must have a file number before transferring into Tracking.'" +
           idle},
      {"read: file number too long", false, {field("offscrn|3|3", " abcd-1234 ")},
       "[Transfer Info: The file number ABCD-1234 must not be greater than eight (8) characters "
       "in length.] status: ''" + idle},
      {"read: file number not captured", false, {dde_fails("offscrn|3|3", kErrDdeRefused)},
       incomplete + " ''" + idle},
      {"read: subject not captured", false, {dde_fails("offscrn|8|4", kErrDdeRefused)},
       incomplete + captured},
      {"read: client not captured", false, {dde_fails("offscrn|15|1", kErrDdeRefused)},
       incomplete + captured},
      {"read: client number not captured", false, {dde_fails("offscrn|13|1", kErrDdeRefused)},
       incomplete + captured},
      {"read: look-up aborted", false, {table_fails("Seek", false)},
       locked("FindRecord") + read + " shows '24-00101' street '12 Main St'" + none},
      {"read: update's write fails", false, {field("offscrn|3|3", "24-00101"), table_fails("Update", false)},
       update + locked("CmdRead_Click") + read + " shows '24-00101' street '12 Main St'" + none},
      // An add given up at the error report ends the add, not the read.
      {"read: property write aborted", false, {table_fails("Update", false)},
       add + locked("AddRecord") + read + " shows '24-00101' street '12 Main St'" + none + ended},
      {"read: client write aborted", false, {table_fails("SetField", true)},
       add + locked("AddClientRecord") + read + " shows 'NEW-01' street '12 Main St' 1 writes 0 "
                                                "pokes 0 macros"},
      {"send: sent", true, {},
       sending + " 'In the Appraisal Software - Select Contents, Report Profile before "
                 "transferring.'" + sent + "19 pokes 1 macros" + ended},
      {"send: no report", true, {report("NONE,")}, no_report},
      {"send: ' none ,RPT1,'", true, {report(" none ,RPT1,")}, no_report},
      {"send: no comma", true, {report("RPT1")}, no_report},
      {"send: no name before the comma", true, {report(",RPT1,")}, no_report},
      {"send: nobody answers, a report list left", true, {stopped}, no_report, "RPT9,RPT1,"},
      {"send: nobody answers, a form list left", true, {stopped, exits("2")}, no_report,
       "URAR,offscrn,"},
      {"send: a row refused", true, {dde_fails("Offscrn|8|1", kErrDdeRefused, Answer::kIgnore)},
       "[Error: The other application would not perform the request.\r\nError # 285 in module "
       "PokeText.] " + sending + " ''" + sent + "19 pokes 1 macros" + ended},
      {"send: the macro refused", true,
       {[](ReadOffice& o) {
         o.dde.FailExecute("System", kErrDdeRefused), o.window.error_default = Answer::kIgnore;
       }},
       "[Error: The other application would not perform the request.\r\nError # 285 in module "
       "ApxSendScript.] " + sending + " ''" + sent + "19 pokes 1 macros" + ended},
      {"send: aborted", true, {dde_fails("Offscrn|8|1", kErrDdeTimeout)},
       "[Error: The other application did not answer in time.\r\nError # 286 in module "
       "PokeText.] " + sending + " ''" + sent + "3 pokes 0 macros" + ended},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReadOffice o;
    o.ini.Set(testing::kXfrIni, "PREFERENCES", "AUTOEXIT", "1");  // a finished transfer exits
    for (const Script& script : c.scripts) script(o);
    FrmMain& f = o.Start();
    if (c.stale) f.txtdde.SetText(c.stale);
    bool exited = false;
    try {
      c.send ? cmdSend_Click(f) : CmdRead_Click(f);
    } catch (const EndProgram&) {
      exited = true;
    }
    if (!exited) Form_Unload(f);  // the close completes nothing the end abandoned
    EXPECT_EQ(WindowState(o, exited), c.state);
  }
}

}  // namespace
}  // namespace xfr
