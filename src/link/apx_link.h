// The appraisal link: every request, poke and macro this program sends to the appraisal software
// (DDE service APX), and the per-form field addresses kept in XFR.INI. Nothing else in the
// program talks to the appraisal software.
//
// Each operation drives one DdeClientControl (the main window's hidden `txtdde`): it sets the
// control's properties in a fixed order, opens a manual link, performs one request, poke or
// execute, and closes the link again. The order matters: the topic set when LinkMode becomes 2
// selects the conversation, and a failure part-way leaves the control's properties showing how
// far the operation got.
//
// Errors follow the program's convention (base/error_report.h). Each operation names itself in
// CurrentProcName and ends quietly on its own expected DDE error numbers, leaving Text as it was
// at that moment and the link as it stood (the next operation's first step, LinkMode 0, closes
// it). Every other error goes to the error report:
//   ApxQueryActiveReports  quiet on 282
//   ApxOpenReport          quiet on 282, 380
//   ApxListForms           quiet on 282, 380
//   ApxGetFieldInfo        quiet on 282, 285, 380
//   PokeText               quiet on 380 (a poke with nobody answering, 282, is reported)
//   ApxSendScript          quiet on 282
//
// Time-outs: a request, poke or execute that the appraisal software does not answer within the
// transport's time-out (5 s on the session bus, DBusDdeTransport::kDefaultTimeoutMs) raises 286,
// which no operation expects, so the error report shows it. Retry sends the same request, poke or
// execute again on the open link; Ignore goes on with the next step, which closes the link
// (LinkMode 0); Abort leaves the operation with the link still open, to be closed by the next
// operation. A time-out therefore never leaves a conversation behind once the user moved on.
//
// All operations run on the window's thread and block until answered or timed out.
#pragma once

#include <string>
#include <string_view>

#include "base/app.h"
#include "controls/dde_control.h"

namespace xfr {

// The DDE service of the appraisal software and the texts it is addressed with.
inline constexpr std::string_view kApxQueryTopic = "APX|Query";
inline constexpr std::string_view kApxSystemTopic = "APX|System";
inline constexpr std::string_view kActiveReportsItem = "ActiveReports";
inline constexpr std::string_view kUserIdItem = "UserID";
inline constexpr std::string_view kListFormsItem = "ListForms";
// What a field holds when it is empty.
inline constexpr std::string_view kEmptyFieldAnswer = "\r\n";

// Leaves the ActiveReports answer (report names, each followed by a comma) in the control's Text.
void ApxQueryActiveReports(App& app, DdeClientControl& control);

// Requests UserID on the report's topic; the answer in Text is not used by anyone.
void ApxOpenReport(App& app, DdeClientControl& control, std::string_view report);

// Leaves the report's ListForms answer (form names, each followed by a comma) in Text.
void ApxListForms(App& app, DdeClientControl& control, std::string_view report);

// The text of one field of the report: "" for an empty field (the answer CR LF), for an address
// that is blank or lacks its form name (starts with "|"; nothing is sent then), and for a failed
// request. Any other answer comes back exactly as received, blanks and line ends included.
// *answered (when given) is false only for a request that failed, whatever the report's answer.
std::string ApxGetFieldInfo(App& app, DdeClientControl& control, std::string_view report,
                            std::string_view address, bool* answered = nullptr);

// Pokes `data`, trimmed of blanks, into the field `address` on `topic` ("APX|" + report name).
// The address is sent as given. True when the appraisal software took the poke.
bool PokeText(App& app, DdeClientControl& control, std::string_view topic, std::string_view address,
              std::string_view data);

// PokeText, then a short wait for the poke to be taken: Text is set to "NULL" first, and when the
// poke failed before its data was set, the wait lasts until the seconds-since-midnight clock has
// passed the start second plus one (half a second to one and a half). The wait sleeps between
// looks at the clock and is also bounded on the monotonic clock, so a wait across midnight (when
// the clock restarts at 0) ends just as soon.
// True when the poke was taken. REQUIRES: app.services().clock is set.
bool ApxSendCompField(App& app, DdeClientControl& control, std::string_view topic,
                      std::string_view position, std::string_view data);

// ApxSendCompField on the main window's DDE control `txtdde`, with position and data trimmed.
bool ApxSendField(App& app, DdeClientControl& txtdde, std::string_view topic,
                  std::string_view position, std::string_view data);

// The command that runs one macro of the appraisal software:
// "[RunMacro(" + script trimmed of blanks + ")]" followed by a carriage return.
std::string MacroCommand(std::string_view script);

// Runs one macro (MacroCommand) with an execute on "APX|System". True when the appraisal
// program took the execute (after any Retry at its error report).
bool ApxSendScript(App& app, DdeClientControl& control, std::string_view script);

// The connect sequence: closes any link, asks for the active reports, opens the first report
// (the text before the first comma of the answer; "" when the answer has no comma) and lists its
// forms, leaving the form list in Text ("" when the list request failed quietly, so an earlier
// answer is never taken for a form list). Passes on whatever its operations pass on.
void ApxConnectReport(App& app, DdeClientControl& control);

// True when the control's Text, trimmed of blanks, is not empty.
bool DdeHasText(const DdeClientControl& control);

// Clears Text and runs the connect sequence; true when the first open report answered with a
// non-empty form list. With nobody answering, or no report (an ActiveReports answer without a
// comma names none), the steps fail quietly and the result is false.
bool ApxReportIsOpen(App& app, DdeClientControl& control);

// The field address of `field_code` ("CENSUS", "MAPREF", "OWNER") on `form`: form + "|" + the
// value of key `form` in section `field_code` (trimmed) of XFR.INI, or "" when there is none.
std::string ReturnFieldCode(App& app, std::string_view form, std::string_view field_code);

}  // namespace xfr
