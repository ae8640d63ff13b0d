// The window services with Qt widgets: message boxes with the buttons in Windows order (Abort,
// Retry, Ignore; Yes, No with Yes the default), the hourglass pointer, and pictures.
//
// Test hook: answers queued with SetNextAnswers are taken in order instead of showing a box
// (the box's text is still recorded), so GUI tests run without anyone at the screen.
#pragma once

#include <QMessageBox>
#include <QWidget>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/preset_answers.h"
#include "platform/window.h"

namespace xfr {

class QtWindowServices : public WindowServices, public PresetAnswers {
 public:
  explicit QtWindowServices(FileSystem* files);

  // The window that owns the boxes, and what to do before a box appears (bring the window up to
  // date with the model).
  void SetParentWindow(QWidget* parent) { parent_ = parent; }
  void SetBeforeBox(std::function<void()> before) { before_box_ = std::move(before); }

  using WindowServices::MessageBox;
  Answer MessageBox(std::string_view text, std::string_view title, Buttons buttons,
                    std::string_view details) override;
  void SetPointer(Pointer pointer) override;
  Picture LoadPicture(std::string_view path) override;
  // Brings the window up to date and lets it repaint (not take input), so the status line and
  // the animation show while a command runs.
  void StatusChanged(std::string_view text, bool visible) override;

  // For screenshots: the next box shown is saved as a PNG at `path`, its details open, and then
  // closed (the answer closing it gives).
  void SetBoxPicture(std::string path) { box_picture_ = std::move(path); }


 private:
  FileSystem* files_;
  QWidget* parent_ = nullptr;
  std::function<void()> before_box_;
  bool busy_ = false;
  std::string box_picture_;

  void PictureOnceShown(QMessageBox& box);
};

}  // namespace xfr
