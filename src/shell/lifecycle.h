// The main window's lifecycle: load, activation, repaint (the hand-off file), unload and the exit
// preference.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "form/main_window.h"
#include "form/status.h"

namespace xfr {

inline constexpr std::string_view kHandOffFileName = "xfr.dat";
// A hand-off file that is empty or has no line end yet is read again after each of up to
// kHandOffPauses pauses (a second in all) before it is taken as it is.
inline constexpr int kHandOffPauses = 20;
inline constexpr std::chrono::milliseconds kHandOffPause{50};

// Binds a data control to a table; 3011 shows the missing-table message (MissingTableMessage)
// and returns.
void Connect2DBF(FrmMain& form, DataControl& control, std::string directory,
                 std::string_view record_source, int recordset_type, std::string_view connect);

void DetermineAutoExit(FrmMain& form);
void MoveToTopLeft(FrmMain& form);
void SetKeyField(FrmMain& form);
// Reads and deletes the hand-off file, then shows its record; waits for a file being written.
// A job the tables lack leaves the record shown and "<file number> was not found." on the
// status line.
void SetRecordPointer(FrmMain& form);

// Window events. A paint before the first activation runs the single-instance test first.
void frmMainForm_Load(FrmMain& form);
void Form_Activate(FrmMain& form);
void Form_Paint(FrmMain& form);
// The unload handler: writes AUTOEXIT and closes the connections (writing pending edits).
void Form_Unload(FrmMain& form);
// Unloads the window and ends the program (throws EndProgram).
void cmdExit_Click(FrmMain& form);

}  // namespace xfr
