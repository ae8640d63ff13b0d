#include "util/records.h"

#include <optional>

#include "base/error_report.h"
#include "base/text.h"
#include "platform/runtime_error.h"

namespace xfr {

bool FindRecord(App& app, DataControl& control, std::string_view key, std::string_view index) {
  bool result = false;
  int seek_retries = 0;
  StepRunner run(app, "FindRecord", [&](const RuntimeError& e) -> std::optional<Resume> {
    if (e.number() == kErrNoCurrentRecord) {
      result = false;
      return Resume::kLeave;
    }
    if (e.number() == kErrNoCurrentIndex) {
      if (++seek_retries <= kFindRecordSeekRetries) return Resume::kRetry;
      result = false;
      return Resume::kLeave;
    }
    return std::nullopt;
  });

  app.DataErrorFlag = false;
  std::string trimmed = VbTrim(key);
  if (trimmed.empty()) return false;

  std::optional<std::string> mark;
  if (!run.Step([&] {
        if (control.HasCurrent()) mark = control.Bookmark();
      })) {
    return result;
  }
  bool sought = false;
  if (!run.Step([&] {
        control.SetIndex(index);
        sought = control.Seek("=", trimmed);
      })) {
    return result;
  }
  // A seek that was not made (skipped after the error report, or held back because the save of
  // edited boxes before it failed) found nothing: NoMatch still describes the seek before it.
  if (!sought || app.DataErrorFlag) return false;
  bool no_match = true;
  if (!run.Step([&] { no_match = control.NoMatch(); })) return result;
  if (no_match) {
    if (mark) run.Step([&] { control.SetBookmark(*mark); });
    return false;
  }
  return true;
}

std::string Trim2Size(App& app, DataControl& control, std::string_view value,
                      std::string_view field) {
  std::string result;
  StepRunner run(app, "Trim2Size");
  run.Step(
      [&] { result = FitToWidth(value, static_cast<std::int16_t>(control.FieldSize(field))); });
  return result;
}

}  // namespace xfr
