#include "platform/preset_answers.h"

#include <cstdio>

namespace xfr {

namespace {

std::deque<Answer>& NextAnswers() {
  static std::deque<Answer> answers;
  return answers;
}

const char* AnswerWord(Answer a) {
  switch (a) {
    case Answer::kYes: return "Yes";
    case Answer::kNo: return "No";
    case Answer::kAbort: return "Abort";
    case Answer::kRetry: return "Retry";
    case Answer::kIgnore: return "Ignore";
    default: return "OK";
  }
}

}  // namespace

void PresetAnswers::SetNextAnswers(std::deque<Answer> answers) {
  NextAnswers() = std::move(answers);
}

std::vector<PresetAnswers::Shown>& PresetAnswers::ShownBoxes() {
  static std::vector<Shown> shown;
  return shown;
}

std::optional<Answer> PresetAnswers::Preset(std::string_view text, std::string_view title,
                                            Buttons buttons) {
  ShownBoxes().push_back(Shown{std::string(text), std::string(title), buttons});
  if (!NextAnswers().empty()) {
    Answer a = NextAnswers().front();
    NextAnswers().pop_front();
    return a;
  }
  std::optional<Answer> unattended;
  switch (buttons) {
    case Buttons::kOk:
      if (unattended_yes_no_ || unattended_on_error_) unattended = Answer::kOk;
      break;
    case Buttons::kYesNo: unattended = unattended_yes_no_; break;
    case Buttons::kAbortRetryIgnore: unattended = unattended_on_error_; break;
  }
  if (unattended) {
    std::fprintf(stderr, "[%.*s] %.*s -> %s\n", static_cast<int>(title.size()), title.data(),
                 static_cast<int>(text.size()), text.data(), AnswerWord(*unattended));
    std::fflush(stderr);
  }
  return unattended;
}

}  // namespace xfr
