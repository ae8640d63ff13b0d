// The window services on Windows: message boxes through MessageBoxA (the application's title,
// Windows' own buttons and icons; a box with details is a task dialog that shows them in its
// expanded part, or the plain box where there is no task dialog), the hourglass through
// SetCursor, and pictures loaded with LoadImageA. Called on the window's thread only.
//
// Test hook: answers queued with SetNextAnswers are taken in order instead of showing a box (the
// box is still recorded), so window tests run without anyone at the screen.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/preset_answers.h"
#include "platform/window.h"

namespace xfr {

class Win32WindowServices : public WindowServices, public PresetAnswers {
 public:
  explicit Win32WindowServices(FileSystem* files) : files_(files) {}

  // The window that owns the boxes (an HWND), and what to do before a box appears or the status
  // line changes (bring the window up to date with the model).
  void SetOwner(void* hwnd) { owner_ = hwnd; }
  void SetBeforeBox(std::function<void()> before) { before_box_ = std::move(before); }

  using WindowServices::MessageBox;
  Answer MessageBox(std::string_view text, std::string_view title, Buttons buttons,
                    std::string_view details) override;
  void SetPointer(Pointer pointer) override;
  // Raises 53 for a missing file, 481 for one that is not a bitmap.
  Picture LoadPicture(std::string_view path) override;
  // Brings the window up to date and repaints it now, so the status line and the animation show
  // while a command runs.
  void StatusChanged(std::string_view text, bool visible) override;

  // The first box with details is shown with them, whatever the preset answers, saved as a BMP
  // picture to `path` once drawn, and answered as preset (else No or OK).
  void SetBoxPicture(std::string path) { box_picture_ = std::move(path); }

  // Whether the hourglass is up (the view keeps it over its controls).
  bool busy() const { return busy_; }

 private:
  FileSystem* files_;
  void* owner_ = nullptr;
  std::function<void()> before_box_;
  bool busy_ = false;
  std::string box_picture_;
};

// Writes what the screen shows of a window, frame included, as a 24-bit BMP file.
bool SaveWindowPicture(void* hwnd, const std::string& path);

}  // namespace xfr
