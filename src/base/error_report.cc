#include "base/error_report.h"

#include "base/text.h"

namespace xfr {

std::string ErrorReportText(const RuntimeError& error, std::string_view proc_name) {
  return error.description() + ".\r\nError #" + StrNumber(error.number()) + " in module " +
         VbTrim(proc_name) + ".";
}

ReportAnswer ReportError(App& app, const RuntimeError& error) {
  if (error.number() == kErrDatabaseDamaged) {
    app.window().MessageBox(kCorruptTablesMessage, kAppTitle, Buttons::kOk);
    const std::string dir = app.NativePath(app.config.DataDir);
    app.window().Note(error.description() + ". Run 'dbftool check " +
                      (dir.empty() ? std::string(".") : dir) +
                      "' to see every damaged table and index tag; 'dbftool reindex' on a "
                      "table rebuilds an index it names, once every program has closed it.");
    throw EndProgram{1};
  }
  Answer answer = app.window().MessageBox(ErrorReportText(error, app.CurrentProcName()), "Error",
                                          Buttons::kAbortRetryIgnore);
  ReportAnswer typed = ReportAnswer::kPassOn;
  switch (answer) {
    case Answer::kAbort:
      typed = ReportAnswer::kAbort;
      break;
    case Answer::kRetry:
      typed = ReportAnswer::kRetry;
      break;
    case Answer::kIgnore:
      typed = ReportAnswer::kIgnore;
      break;
    default:
      break;
  }
  app.LastReportAnswer = typed;
  return typed;
}

bool AbortedWithin(App& app, const std::function<void()>& work) {
  const std::optional<ReportAnswer> before = app.LastReportAnswer;
  app.LastReportAnswer.reset();
  work();
  const bool aborted = app.LastReportAnswer == ReportAnswer::kAbort;
  if (!app.LastReportAnswer) app.LastReportAnswer = before;
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
        switch (ReportError(app_, error)) {
          case ReportAnswer::kRetry:
            how = Resume::kRetry;
            break;
          case ReportAnswer::kIgnore:
            how = Resume::kNext;
            break;
          case ReportAnswer::kAbort:
            how = Resume::kLeave;
            break;
          case ReportAnswer::kPassOn:
            throw;
        }
      }
      if (*how == Resume::kNext) return true;
      if (*how == Resume::kLeave) return false;
      if (attempt >= kMaxRetries) return false;
    }
  }
}

std::optional<int> RunEventHandler(App& app, const std::function<void()>& handler) {
  try {
    try {
      handler();
    } catch (const RuntimeError& error) {
      ReportError(app, error);
    }
  } catch (const EndProgram& end) {
    return end.exit_code;
  }
  return std::nullopt;
}

}  // namespace xfr
