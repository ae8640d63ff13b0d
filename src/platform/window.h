// Window services the core asks of whatever shows the program: message boxes that return the
// button pressed, the mouse pointer, and picture files. Implemented by the Qt view, the console
// view, and a scripted fake in tests. Called on the window's thread only.
#pragma once

#include <string>
#include <string_view>

namespace xfr {

// The application title used by message boxes that have no title of their own.
inline constexpr std::string_view kAppTitle = "Transfer Info";

enum class Buttons { kOk, kYesNo, kAbortRetryIgnore };

// Values as the Windows message box returns them.
enum class Answer { kOk = 1, kCancel = 2, kAbort = 3, kRetry = 4, kIgnore = 5, kYes = 6, kNo = 7 };

enum class Pointer { kDefault, kHourglass };

// A picture loaded from a file: its native path and bytes ("" for an empty image).
struct Picture {
  std::string path;
  std::string bytes;
  bool empty() const { return bytes.empty(); }
};

class WindowServices {
 public:
  virtual ~WindowServices() = default;

  // Shows a message box and waits for the answer. Yes/No boxes have Yes as the default button;
  // Abort/Retry/Ignore boxes have Abort. `details` ("" for none) is more text the person can
  // open under the box, lines separated by "\n"; the box's text, title and buttons stay the same.
  virtual Answer MessageBox(std::string_view text, std::string_view title, Buttons buttons,
                            std::string_view details) = 0;
  Answer MessageBox(std::string_view text, std::string_view title, Buttons buttons) {
    return MessageBox(text, title, buttons, {});
  }

  // The mouse pointer over the program's windows.
  virtual void SetPointer(Pointer pointer) = 0;

  // Loads a picture file (Windows-style path). Raises RuntimeError 53 when the file is missing,
  // 481 when it is not a picture.
  virtual Picture LoadPicture(std::string_view path) = 0;

  // A box of the start-up trace (OK only, the application's title). Views that log boxes tell it
  // apart; by default it is an ordinary message box.
  virtual void TraceBox(std::string_view text) { MessageBox(text, kAppTitle, Buttons::kOk); }

  // A status line change, for views that log it (the console transcript); default: nothing.
  virtual void StatusChanged(std::string_view text, bool visible) {}

  // After a box about a file that cannot be used: the file (Windows-style path) and why, for
  // views that can say where it is on this machine (the console); default: nothing.
  virtual void FileNote(std::string_view path, std::string_view reason) {}

  // After a box: a line that says what its text does not (which file, why, what to do), for
  // views that print or log it (the console, the log of transfers); default: nothing.
  virtual void Note(std::string_view text) {}
};

}  // namespace xfr
