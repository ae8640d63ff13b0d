// Every way a read or a send ends, followed by the window's whole state: the messages in their
// order, each status line shown, the pointer's changes, the animation, the job shown and whether
// the program ended. A clean-up step dropped on any one path shows here.
#include <gtest/gtest.h>

#include <functional>

#include "transfer/read_driver.h"
#include "transfer/read_office.h"
#include "transfer/send_driver.h"

namespace xfr {
namespace {

using testing::ReadOffice;

std::string WindowState(ReadOffice& o, bool ended) {
  FrmMain& f = o.Form();
  std::string s;
  for (const auto& box : o.window.boxes) s += "[" + box.title + ": " + box.text.substr(0, 32) + "] ";
  s += "status:";
  for (const std::string& status : o.window.statuses) s += " '" + status + "'";
  s += " pointer:";
  for (Pointer p : o.window.pointers) s += p == Pointer::kHourglass ? " wait" : " arrow";
  if (f.aniCopy.visible || f.imgApxIco.visible || f.imgTrkIco.visible) s += " animated";
  for (DataControl* dc : {&f.datproperty, &f.datclient, &f.datinvoice})
    if (dc->IsOpen() && dc->GetEditMode() != EditMode::kNone) s += " editing " + dc->name();
  const int writes = o.property->writes + o.client->writes + o.invoice->writes;
  return s + " shows '" + f.txtFile_Num.text + "' street '" + f.lblPr_Street.caption + "' " +
         std::to_string(writes) + " writes" + (ended ? " ended" : "");
}

TEST(TransferEnds, EveryEndLeavesTheWholeWindowState) {
  using Script = std::function<void(ReadOffice&)>;
  const auto field = [](const char* item, const char* value) {
    return [=](ReadOffice& o) { o.Field(item, value); };
  };
  const auto no = [](ReadOffice& o) { o.window.yes_no_default = Answer::kNo; };
  const auto dde_fails = [](const char* item, int error) {
    return [=](ReadOffice& o) { o.dde.Fail("RPT1", item, error), o.window.error_default = Answer::kAbort; };
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
  // What most ends share: the status lines of a read that captured the report, the pointer's
  // changes, the messages.
  const std::string read = "status: '' 'Transferring data to Tracking' '' pointer: wait arrow";
  const std::string add = "[Record Found: NEW-01 was not found.  Add?] ";
  const std::string update = "[Record Found: 24-00101 was found.  Update?] ";
  const std::string locked = "[Error: The record is locked by another ] ";
  const std::string idle = " pointer: wait arrow shows '24-00101' street ''";
  const std::string incomplete = "[Transfer Info: The appraisal report could not b] status: ''";
  const std::string sending = "status: 'Transferring data to Appraisal'";
  const std::string no_form = "[Transfer Info: You must have an appraisal form ] ";
  const std::string sent = " pointer: wait arrow shows '24-00101' street '1 Main St' 0 writes ended";
  const struct Case {
    const char* name;
    bool send;
    std::vector<Script> scripts;
    std::string state;
  } cases[] = {
      {"read: added", false, {}, add + read + " shows 'NEW-01' street '12 Main St' 4 writes ended"},
      {"read: updated", false, {field("offscrn|3|3", "24-00101"), exits("0")},
       update + read + " shows '24-00101' street '12 Main St' 1 writes"},
      {"read: No to Add?", false, {no, field("offscrn|3|3", "abcd-123")},  // eight characters
       "[Record Found: ABCD-123 was not found.  Add?] " + read +
           " shows '24-00101' street '12 Main St' 0 writes ended"},
      {"read: No to Update?", false, {no, field("offscrn|3|3", "24-00101"), exits("2")},
       update + read + " shows '24-00101' street '12 Main St' 0 writes ended"},
      {"read: no server", false, {stopped}, "status: ''" + idle + " 0 writes"},
      {"read: no form", false, {[](ReadOffice& o) { o.Report("RPT1", "NONE"); }},
       no_form + "status: ''" + idle + " 0 writes"},
      {"read: no file number", false, {field("offscrn|3|3", " ")},
       "status: '' 'The Appraisal must have a file number before transferring into Tracking.'" +
           idle + " 0 writes"},
      {"read: no report named", false,  // no comma after the one report
       {[](ReadOffice& o) { o.dde.SetAnswer("Query", "ActiveReports", "RPT1"); }},
       no_form + "status: ''" + idle + " 0 writes"},
      {"read: file number too long", false, {field("offscrn|3|3", " abcd-1234 ")},
       "[Transfer Info: The file number ABCD-1234 must n] status: ''" + idle + " 0 writes"},
      {"read: file number not captured", false, {dde_fails("offscrn|3|3", kErrDdeRefused)},
       incomplete + " ''" + idle + " 0 writes"},
      {"read: subject not captured", false, {dde_fails("offscrn|8|4", kErrDdeRefused)},
       incomplete + " 'Transferring data to Tracking' ''" + idle.substr(0, idle.size() - 2) +
           "'12 Main St' 0 writes"},
      {"read: client not captured", false, {dde_fails("offscrn|15|1", kErrDdeRefused)},
       incomplete + " 'Transferring data to Tracking' ''" + idle.substr(0, idle.size() - 2) +
           "'12 Main St' 0 writes"},
      {"read: look-up aborted", false, {table_fails("Seek", false)},
       locked + read + " shows '24-00101' street '12 Main St' 0 writes"},
      // An add given up at the error report ends the add, not the read.
      {"read: property write aborted", false, {table_fails("Update", false)},
       add + locked + read + " shows '24-00101' street '12 Main St' 0 writes ended"},
      {"read: client write aborted", false, {table_fails("Update", true)},
       add + locked + read + " shows 'NEW-01' street '12 Main St' 1 writes"},
      {"send: sent", true, {},
       sending + " 'In the Appraisal Software - Select Contents, Report Profile before "
                 "transferring.'" + sent},
      {"send: no report", true, {[](ReadOffice& o) { o.Report("NONE", "URAR"); }},
       no_form + sending + " pointer: wait arrow arrow shows '24-00101' street '' 0 writes ended"},
      {"send: no server", true, {stopped},
       no_form + sending + " pointer: wait arrow arrow shows '24-00101' street '' 0 writes ended"},
      {"send: a row refused", true, {dde_fails("Offscrn|8|1", kErrDdeRefused)},
       "[Error: The other application would not ] " + sending + " ''" + sent},
      {"send: aborted", true, {dde_fails("Offscrn|8|1", kErrDdeTimeout)},
       "[Error: The other application did not an] " + sending + " ''" + sent},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReadOffice o;
    o.ini.Set(testing::kXfrIni, "PREFERENCES", "AUTOEXIT", "1");  // a finished transfer exits
    for (const Script& script : c.scripts) script(o);
    FrmMain& f = o.Start();
    bool ended = false;
    try {
      c.send ? cmdSend_Click(f) : CmdRead_Click(f);
    } catch (const EndProgram&) {
      ended = true;
    }
    EXPECT_EQ(WindowState(o, ended), c.state);
  }
}

}  // namespace
}  // namespace xfr
