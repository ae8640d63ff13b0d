// Record lookup and display: positions the window on a property and its client.
#pragma once

#include <string>
#include <string_view>

#include "form/main_window.h"

namespace xfr {

// Shows or hides the seven client boxes.
void ShowClientFields(FrmMain& form, bool show);
// Moves datclient to the client of the shown property and shows the client boxes exactly when
// that client exists.
void DisplayClientFields(FrmMain& form);
// Shows the property of `file_num` when there is one; otherwise nothing changes. True when the
// window now shows it.
bool FindTheRecord(FrmMain& form, std::string_view file_num);
// "<file number> was not found." (trimmed, upper-cased).
std::string NotFoundMessage(std::string_view file_num);
// FindTheRecord for a job named on the command line: when the window cannot show it, tells the
// person ("<file number> was not found.") and returns false, so nothing is done with the record
// the window still shows.
bool GoToJob(FrmMain& form, std::string_view file_num);

}  // namespace xfr
