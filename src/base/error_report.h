// The common error report and the error convention every procedure that traps errors follows.
//
// A procedure runs its work as steps through a StepRunner. When a step raises a RuntimeError,
// the procedure's own handler sees it first and may answer for it (retry the step, go on with
// the next, leave). Every other error goes to ReportError, whose answer decides: Retry runs the
// step again, Ignore goes on with the next step, Abort leaves the procedure with what it has, any
// other answer passes the same error on to the caller.
#pragma once

#include <functional>
#include <optional>
#include <string_view>

#include "base/app.h"
#include "platform/runtime_error.h"

namespace xfr {

// The corrupt-table message of error 3218.
inline constexpr std::string_view kCorruptTablesMessage =
    "The databases may be corrupt.  Please run the rebuild programs. (Double Click on the icons) "
    "and restart Lumabox.";

// Shows the report for `error`, records the answer as the App's LastReportAnswer and returns it.
// Error 3218 shows the corrupt-table message and ends the program (throws EndProgram).
ReportAnswer ReportError(App& app, const RuntimeError& error);

// The text of the Abort/Retry/Ignore box for an error raised in procedure `proc_name`.
std::string ErrorReportText(const RuntimeError& error, std::string_view proc_name);

// Runs `work` and tells whether an error report shown inside it was answered Abort, for a
// caller that must end when the person asked to (the procedure that showed the report has
// only left itself). LastReportAnswer is left as it was when no report was answered.
bool AbortedWithin(App& app, const std::function<void()>& work);

// Runs a window's event handler: an error no procedure trapped gets the common report and the
// window goes on. The exit code when the handler or the report ended the program, else none.
std::optional<int> RunEventHandler(App& app, const std::function<void()>& handler);

// A window's handler as a click or a menu item runs it: none while another runs or after the
// window ended; then `end(code)` when the program ended, else `sync()` to show what it changed.
template <class End, class Sync>
void RunWindowHandler(App& app, const std::function<void()>& handler, bool& running,
                      const bool& ended, End end, Sync sync) {
  if (running || ended) return;
  running = true;
  const std::optional<int> code = RunEventHandler(app, handler);
  running = false;
  if (code) {
    end(*code);
  } else if (!ended) {
    sync();
  }
}

enum class Resume { kRetry, kNext, kLeave };

class StepRunner {
 public:
  // A handler for the procedure's expected errors: returns how to go on, or nullopt to hand the
  // error to the report.
  using Expected = std::function<std::optional<Resume>(const RuntimeError&)>;

  // Records `proc_name` as the current procedure.
  StepRunner(App& app, std::string_view proc_name, Expected expected = nullptr);

  // Runs one step under the convention. Returns false when the procedure must leave now; the
  // step's error is rethrown when the report's answer passes it on.
  bool Step(const std::function<void()>& step);

  // Retries of one step that the report or the handler may ask for before the runner gives up
  // and leaves (a user who keeps pressing Retry is not refused; this only stops an endless loop
  // with a scripted or broken answer).
  static constexpr int kMaxRetries = 1000;

 private:
  App& app_;
  Expected expected_;
};

}  // namespace xfr
