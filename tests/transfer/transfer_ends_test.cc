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
  return s + " shows '" + f.txtFile_Num.text + "'" + (ended ? " ended" : "");
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
  const auto exits = [](ReadOffice& o) { o.ini.Set(testing::kXfrIni, "PREFERENCES", "AUTOEXIT", "1"); };
  const auto stopped = [](ReadOffice& o) { o.dde.set_running(false); };
  // The parts most ends share: the status lines of a read that captured the report, the
  // pointer's changes and the job shown after the read's start-up.
  const std::string read = "status: '' 'Transferring data to Tracking' '' pointer: wait arrow";
  const std::string add = "[Record Found: NEW-01 was not found.  Add?] ";
  const std::string idle = " pointer: wait arrow shows '24-00101'", incomplete =
      "[Transfer Info: The appraisal report could not b] status: ''";
  const std::string send = "status: 'Transferring data to Appraisal' '", no_form =
      "[Transfer Info: You must have an appraisal form ] ";
  const std::string sent = send + "In the Appraisal Software - Select Contents, Report Profile "
                                  "before transferring.'" + idle;
  const struct Case {
    const char* name;
    bool send;
    std::vector<Script> scripts;
    std::string state;
  } cases[] = {
      {"read: added", false, {}, add + read + " shows 'NEW-01'"},
      {"read: added, auto exit", false, {exits}, add + read + " shows 'NEW-01' ended"},
      {"read: updated", false, {field("offscrn|3|3", "24-00101")},
       "[Record Found: 24-00101 was found.  Update?] " + read + " shows '24-00101'"},
      {"read: No to Add?", false, {no}, add + read + " shows '24-00101'"},
      {"read: No to Update?", false, {no, field("offscrn|3|3", "24-00101")},
       "[Record Found: 24-00101 was found.  Update?] " + read + " shows '24-00101'"},
      {"read: no server", false, {stopped}, "status: ''" + idle},
      {"read: no form", false, {[](ReadOffice& o) { o.Report("RPT1", "NONE"); }},
       no_form + "status: ''" + idle},
      {"read: no file number", false, {field("offscrn|3|3", " ")},
       "status: '' 'The Appraisal must have a file number before transferring into Tracking.'" +
           idle},
      {"read: file number too long", false, {field("offscrn|3|3", "ABCD-1234")},
       "[Transfer Info: The file number ABCD-1234 must n] status: ''" + idle},
      {"read: file number not captured", false, {dde_fails("offscrn|3|3", kErrDdeRefused)},
       incomplete + " ''" + idle},
      {"read: subject not captured", false, {dde_fails("offscrn|8|4", kErrDdeRefused)},
       incomplete + " 'Transferring data to Tracking' ''" + idle},
      {"read: client not captured", false, {dde_fails("offscrn|15|1", kErrDdeRefused)},
       incomplete + " 'Transferring data to Tracking' ''" + idle},
      {"read: look-up aborted", false, {table_fails("Seek", false)},
       "[Error: The record is locked by another ] " + read + " shows '24-00101'"},
      {"read: property write aborted", false, {table_fails("Update", false)},
       add + "[Error: The record is locked by another ] " + read + " shows '24-00101'"},
      {"read: client write aborted", false, {table_fails("Update", true)},
       add + "[Error: The record is locked by another ] " + read + " shows 'NEW-01'"},
      {"send: sent", true, {}, sent},
      {"send: sent, auto exit", true, {exits}, sent + " ended"},
      {"send: no report", true, {[](ReadOffice& o) { o.Report("NONE", "URAR"); }},
       no_form + send.substr(0, send.size() - 2) + " pointer: wait arrow arrow shows '24-00101'"},
      {"send: no server", true, {stopped},
       no_form + send.substr(0, send.size() - 2) + " pointer: wait arrow arrow shows '24-00101'"},
      {"send: a row refused", true, {dde_fails("Offscrn|8|1", kErrDdeRefused)},
       "[Error: The other application would not ] " + send + "'" + idle},
      {"send: aborted", true, {dde_fails("Offscrn|8|1", kErrDdeTimeout)},
       "[Error: The other application did not an] " + send + "'" + idle},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReadOffice o;
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
