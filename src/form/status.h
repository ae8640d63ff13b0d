// The status line and the copy animation that every command uses, and the end of the program
// after a transfer.
#pragma once

#include <string_view>

#include "form/main_window.h"

namespace xfr {

// Status line: a non-empty text shows LblMsg with it; "" hides it (the old text stays).
void ShowStatus(FrmMain& form, std::string_view text);
// The copy animation. A picture file that cannot be loaded shows an empty image.
void StartReadAnimation(FrmMain& form);
void StartSendAnimation(FrmMain& form);
void StopCopyAnimation(FrmMain& form);

// Ends the program after a transfer when "Exit After Transfer" is checked or greyed: runs the
// window's unload handler, then throws EndProgram.
void TestToExit(FrmMain& form);

}  // namespace xfr
