// The send: "&Send Info To Appraisal" writes the tracking record on screen into the report open
// in the appraisal software, one poke per value in a fixed order, composes the legal description
// and runs the report macro "CloseScn.bas". Nothing is written to the tracking tables here;
// txtFile_Num and txtCli_Num are changed on screen only (not being the person's edits, they are
// never written back).
//
// Runs on the window's thread; every DDE operation goes through the main window's `txtdde`.
// REQUIRES: the App has a DDE transport and a clock (the pokes wait on it).
#pragma once

#include <string_view>

#include "form/main_window.h"

namespace xfr {

inline constexpr std::string_view kSendingStatus = "Transferring data to Appraisal";
inline constexpr std::string_view kSentStatus =
    "In the Appraisal Software - Select Contents, Report Profile before transferring.";
inline constexpr std::string_view kNoReportMessage =
    "You must have an appraisal form (the actual report) running before the data can be "
    "transferred.";
inline constexpr std::string_view kCloseScreenMacro = "CloseScn.bas";

// The button's click handler: hourglass, file-number box reset from the record key, animation,
// status, SendTheData, animation stopped, pointer restored, then TestToExit (which may end the
// program, throwing EndProgram). When an error is passed on out of the send, the animation is
// stopped and the pointer restored before it goes on to the caller.
void cmdSend_Click(FrmMain& form);

// The sender. Returns early, after the no-report message, when no report is open, and when a
// poke's error report is answered Abort (no macro then). The closing hint goes on the status
// line only when every row and the closing macro were taken; otherwise the status line is
// cleared.
void SendTheData(FrmMain& form);

// The fourteen property boxes into their labels, unchanged.
void CopyPropertyTextToLabels(FrmMain& form);

// The client boxes into their labels, and txtCli_Num := txtCliKey trimmed and upper-cased.
void CopyClientTextToLabels(FrmMain& form);

// The label's caption := the box's text, unchanged (not trimmed).
void CopyTextToCaption(const TextBox& text_box, Label& label);

}  // namespace xfr
