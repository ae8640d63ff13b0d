// A scripted window service: records every message box and answers from a queue (or with a
// default per kind of box).
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/runtime_error.h"
#include "platform/window.h"

namespace xfr::testing {

struct ShownBox {
  std::string text;
  std::string title;
  Buttons buttons;
  Answer answer;
  std::string details;
};

class FakeWindow : public WindowServices {
 public:
  using WindowServices::MessageBox;
  Answer MessageBox(std::string_view text, std::string_view title, Buttons buttons,
                    std::string_view details) override {
    const Answer a = answers.empty() ? Default(buttons) : answers.front();
    if (!answers.empty()) answers.pop_front();
    boxes.push_back(
        ShownBox{std::string(text), std::string(title), buttons, a, std::string(details)});
    if (on_box) on_box(boxes.back());
    return a;
  }
  void SetPointer(Pointer p) override { pointers.push_back(p); }
  Picture LoadPicture(std::string_view path) override {
    for (const auto& [name, bytes] : pictures) {
      if (name == path) return Picture{name, bytes};
    }
    throw RuntimeError(kErrFileNotFound);
  }
  void StatusChanged(std::string_view text, bool visible) override {
    statuses.push_back(visible ? std::string(text) : std::string());
  }

  Answer Default(Buttons b) const {
    return b == Buttons::kYesNo              ? yes_no_default
           : b == Buttons::kAbortRetryIgnore ? error_default
                                             : Answer::kOk;
  }

  // Called for each box as it is answered (another program acting while the box is up).
  std::function<void(const ShownBox&)> on_box;
  std::deque<Answer> answers;
  Answer yes_no_default = Answer::kYes;
  Answer error_default = Answer::kIgnore;
  std::vector<ShownBox> boxes;
  std::vector<Pointer> pointers;
  std::vector<std::string> statuses;
  std::vector<std::pair<std::string, std::string>> pictures;
};

}  // namespace xfr::testing
