// Small helpers shared by the property, invoice and client writers (store/ only).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/error_report.h"
#include "base/text.h"
#include "controls/data_control.h"

namespace xfr {

// An expected-error handler that only names `proc` again before the error report, so that a
// report for an error of this procedure's own steps names it even after a called procedure
// recorded its own name.
inline StepRunner::Expected ReportAs(App& app, std::string_view proc) {
  return [&app, name = std::string(proc)](const RuntimeError&) -> std::optional<Resume> {
    app.SetProc(name);
    return std::nullopt;
  };
}

// Cancels an AddNew or Edit that is still pending when the writer leaves, whichever way it
// leaves, so that a record is either written whole or not at all.
class WriteGuard {
 public:
  explicit WriteGuard(DataControl& control) : control_(control) {}
  ~WriteGuard() {
    try {
      if (control_.IsOpen() && control_.GetEditMode() != EditMode::kNone) control_.CancelUpdate();
    } catch (const RuntimeError&) {
      // Nothing more can be done for a connection that cannot even cancel.
    }
  }
  WriteGuard(const WriteGuard&) = delete;
  WriteGuard& operator=(const WriteGuard&) = delete;

 private:
  DataControl& control_;
};

}  // namespace xfr
