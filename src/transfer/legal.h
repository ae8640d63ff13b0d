// The legal description: the report's one legal-description line composed from the nine legal
// boxes of the main window, and the per-form item that receives it a second time. Used by the
// send (send_driver.h) on the window's thread.
#pragma once

#include <string>
#include <string_view>

#include "form/main_window.h"

namespace xfr {

// What is written after every part that is included.
inline constexpr std::string_view kLegalSeparator = " , ";

// `legal` + `prefix` + the box's text (untrimmed) + " , ", or `legal` unchanged when the box's
// text is blank.
std::string AddLegalPart(std::string_view legal, const TextBox& box, std::string_view prefix);

// The text trimmed, less one final comma; the text itself, unchanged, when it is blank.
std::string StripTrailingComma(std::string_view text);

// The nine parts in order (Lot, Blk, LandLot, Dist, Sect, DdBk, DdPg, PlatBk, PlatPg), joined by
// " , ", followed by the blank that stood before the last separator's comma; "" when every
// legal box is blank.
std::string MakeLegalDescription(FrmMain& form);

// The item that receives the legal description on `form_name` besides "OFFSCRN|10|1":
// form_name + "|" + the [Legal] value of XFR.INI for that form name (taken as given, not
// trimmed or upper-cased), or "" when there is none.
std::string ReturnLegal(App& app, std::string_view form_name);

}  // namespace xfr
