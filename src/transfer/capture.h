// Appraisal field capture: fetches the values of the open appraisal report into the appraisal
// labels of the main window (the "APPRAISALS" column), one label per value, before the record
// writers copy the labels into the tracking tables. Every value comes from ApxGetFieldInfo on
// the report's topic through the window's DDE control `txtdde`.
//
// Labels keep their captions until the next capture overwrites them; the client labels of a
// ZNA form are not captured and keep the previous read's captions. Only the file number and
// the client number are trimmed and upper-cased here; every other caption holds the answer as
// it came (the writers trim and size them).
//
// Called by the read driver on the window's thread.
#pragma once

#include <string>
#include <string_view>

#include "form/main_window.h"

namespace xfr {

// The read-direction field addresses.
inline constexpr std::string_view kFileNumItem = "offscrn|3|3";
inline constexpr std::string_view kZnaFileNumItem = "znaprof|3|1";
inline constexpr std::string_view kCompletionDateItem = "offscrn|11|2";

// The caption of `label` becomes ApxGetFieldInfo's answer for `item` on report `file_n`,
// unchanged (an empty answer gives an empty caption). False when the request failed.
//
// The capture steps below return false as soon as one request fails (the appraisal program
// stopped answering, or refused an item), without making the requests after it: what they
// captured so far is not the report.
bool ReadFieldInfo(FrmMain& form, Label& label, std::string_view item, std::string_view file_n);

// True when the form name, trimmed and upper-cased, is exactly "ZNA" ("ZNAPROF" is not).
bool IsZnaForm(std::string_view form_name);

// The file number: from "znaprof|3|1" for the ZNA form, else "offscrn|3|3", into
// lblFile_Num, trimmed and upper-cased.
bool CaptureFileNumber(FrmMain& form, std::string_view report_name, std::string_view form_name);

// The subject fields, requested in this order: street, city, state, zip, county, neighbourhood,
// census, map reference, reference number, estimated value, completion date, borrower, owner.
// Census, map reference and owner come from the per-form addresses in XFR.INI; a missing entry
// gives an empty caption without a request.
bool CaptureSubjectFields(FrmMain& form, std::string_view report_name, std::string_view form_name);

// The completion date ("offscrn|11|2") as a short date text with a four-digit year, or "" for a
// report without one (empty or blank answer: no conversion, no message). A text that is not a
// date goes to the error report under "ReturnADate": Retry asks and converts again, Ignore and
// Abort give "". *answered (when given) is false when the request failed.
std::string ReturnADate(FrmMain& form, std::string_view file_n, bool* answered = nullptr);

// The client fields, requested in this order: client number (trimmed, upper-cased), client name
// (into both name labels), street, the two further address lines and the contact.
bool CaptureClientFields(FrmMain& form, std::string_view report_name);

// The form type of `form_name` from [FORM] of XFR.INI ("" when missing). The caller stores it
// in App::FormTypeText.
std::string ReadFormType(App& app, std::string_view form_name);

}  // namespace xfr
