// The answers a window's message boxes get without being shown, shared by the Qt and the Win32
// window services: the test hook's queue (SetNextAnswers), and unattended runs (--answer,
// --on-error), where every Yes/No box is answered `yes_no`, every error box `on_error`, every
// notice OK, each written to standard error instead of shown. A kind left unset still shows
// its box.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window.h"

namespace xfr {

class PresetAnswers {
 public:
  void SetUnattended(std::optional<Answer> yes_no, std::optional<Answer> on_error) {
    unattended_yes_no_ = yes_no;
    unattended_on_error_ = on_error;
  }

  // Test hook.
  static void SetNextAnswers(std::deque<Answer> answers);
  struct Shown {
    std::string text;
    std::string title;
    Buttons buttons;
  };
  static std::vector<Shown>& ShownBoxes();

 protected:
  // Notes the box; the answer it gets without being shown, or none when it must be shown.
  std::optional<Answer> Preset(std::string_view text, std::string_view title, Buttons buttons);

 private:
  std::optional<Answer> unattended_yes_no_;
  std::optional<Answer> unattended_on_error_;
};

}  // namespace xfr
