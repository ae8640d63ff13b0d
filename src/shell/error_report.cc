#include "shell/error_report.h"

#include "util/text.h"

namespace xfr {

std::string ErrorReportText(const RuntimeError& error, std::string_view proc_name) {
  return error.description() + ".\r\nError #" + StrNumber(error.number()) + " in module " +
         VbTrim(proc_name) + ".";
}

int ReportError(App& app, const RuntimeError& error) {
  if (error.number() == kErrDatabaseDamaged) {
    app.window().MessageBox(kCorruptTablesMessage, kAppTitle, Buttons::kOk);
    throw EndProgram{1};
  }
  Answer answer = app.window().MessageBox(ErrorReportText(error, app.CurrentProcName()), "Error",
                                          Buttons::kAbortRetryIgnore);
  switch (answer) {
    case Answer::kAbort: return 2;
    case Answer::kRetry: return 0;
    case Answer::kIgnore: return 1;
    default: return 3;
  }
}

bool AbortedWithin(App& app, const std::function<void()>& work) {
  const int response_before = app.ErrResponse;
  app.ErrResponse = -1;
  work();
  const bool aborted = app.ErrResponse == 2;
  if (app.ErrResponse == -1) app.ErrResponse = response_before;
  return aborted;
}

StepRunner::StepRunner(App& app, std::string_view proc_name, Expected expected)
    : app_(app), expected_(std::move(expected)) {
  app_.SetProc(proc_name);
}

bool StepRunner::Step(const std::function<void()>& step) {
  for (int attempt = 0;; ++attempt) {
    try {
      step();
      return true;
    } catch (const RuntimeError& error) {
      std::optional<Resume> how;
      if (expected_) how = expected_(error);
      if (!how) {
        int code = ReportError(app_, error);
        app_.ErrResponse = code;
        switch (code) {
          case 0: how = Resume::kRetry; break;
          case 1: how = Resume::kNext; break;
          case 2: how = Resume::kLeave; break;
          default: throw;
        }
      }
      if (*how == Resume::kNext) return true;
      if (*how == Resume::kLeave) return false;
      if (attempt >= kMaxRetries) return false;
    }
  }
}

}  // namespace xfr
