#include "link/apx_link.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <optional>
#include <vector>

#include "base/error_report.h"
#include "base/ini_access.h"
#include "base/text.h"
#include "platform/runtime_error.h"

namespace xfr {

namespace {

// How often the wait of ApxSendCompField looks at the clock.
constexpr std::chrono::milliseconds kPollInterval{10};
// The longest that wait may last, whatever the seconds clock does.
constexpr double kLongestWaitSeconds = 1.5;

// The placeholder ApxSendCompField puts in Text before a poke.
constexpr std::string_view kNotTaken = "NULL";

// A handler that ends the procedure quietly on the given error numbers and hands every other
// error to the report.
StepRunner::Expected QuietOn(std::initializer_list<int> numbers) {
  return [quiet = std::vector<int>(numbers)](const RuntimeError& error) -> std::optional<Resume> {
    if (std::find(quiet.begin(), quiet.end(), error.number()) != quiet.end()) {
      return Resume::kLeave;
    }
    return std::nullopt;
  };
}

// Runs `steps` in order; false as soon as the procedure must leave.
bool RunSteps(StepRunner& run, std::initializer_list<std::function<void()>> steps) {
  for (const auto& step : steps) {
    if (!run.Step(step)) return false;
  }
  return true;
}

// The seconds clock's reading rounded to a whole second, halves to the even second.
double RoundHalfEven(double seconds) {
  const double whole = std::floor(seconds);
  const double fraction = seconds - whole;
  if (fraction > 0.5) return whole + 1;
  if (fraction < 0.5) return whole;
  return std::fmod(whole, 2.0) == 0 ? whole : whole + 1;
}

// One request in the order the report topics need it: the item is set before the link opens.
void RequestItemFirst(StepRunner& run, DdeClientControl& control, std::string link_topic,
                      std::string item) {
  RunSteps(run, {
                    [&] { control.SetLinkMode(DdeClientControl::kNone); },
                    [&] { control.SetLinkTopic(link_topic); },
                    [&] { control.SetLinkItem(item); },
                    [&] { control.SetLinkMode(DdeClientControl::kManual); },
                    [&] { control.LinkRequest(); },
                    [&] { control.SetLinkMode(DdeClientControl::kNone); },
                });
}

}  // namespace

void ApxQueryActiveReports(App& app, DdeClientControl& control) {
  StepRunner run(app, "ApxQueryActiveReports", QuietOn({kErrNoDdeServer}));
  RunSteps(run, {
                    [&] { control.SetLinkMode(DdeClientControl::kNone); },
                    [&] { control.SetLinkTopic(std::string(kApxQueryTopic)); },
                    [&] { control.SetLinkMode(DdeClientControl::kManual); },
                    [&] { control.SetLinkItem(std::string(kActiveReportsItem)); },
                    [&] { control.LinkRequest(); },
                    [&] { control.SetLinkMode(DdeClientControl::kNone); },
                });
}

void ApxOpenReport(App& app, DdeClientControl& control, std::string_view report) {
  StepRunner run(app, "ApxOpenReport", QuietOn({kErrNoDdeServer, kErrInvalidProperty}));
  // The appraisal software has always been addressed as "Apx|" here; service names match
  // without regard to case.
  RequestItemFirst(run, control, "Apx|" + std::string(report), std::string(kUserIdItem));
}

void ApxListForms(App& app, DdeClientControl& control, std::string_view report) {
  StepRunner run(app, "ApxListForms", QuietOn({kErrNoDdeServer, kErrInvalidProperty}));
  RequestItemFirst(run, control, "APX|" + std::string(report), std::string(kListFormsItem));
}

std::string ApxGetFieldInfo(App& app, DdeClientControl& control, std::string_view report,
                            std::string_view address, bool* answered_out) {
  if (answered_out) *answered_out = true;
  StepRunner run(app, "ApxGetFieldInfo",
                 QuietOn({kErrNoDdeServer, kErrDdeRefused, kErrInvalidProperty}));
  const std::string trimmed = VbTrim(address);
  // Without a form name the address means nothing to the appraisal software.
  if (trimmed.empty() || trimmed.front() == '|') return "";

  bool answered = false;
  const bool finished =
      RunSteps(run, {
                        [&] { control.SetLinkMode(DdeClientControl::kNone); },
                        [&] { control.SetLinkTopic("APX|" + std::string(report)); },
                        [&] { control.SetLinkItem(std::string(address)); },
                        [&] { control.SetLinkMode(DdeClientControl::kManual); },
                        [&] {
                          control.LinkRequest();
                          answered = true;
                        },
                        [&] { control.SetLinkMode(DdeClientControl::kNone); },
                    });
  // A request that was ignored at the error report left the previous field's text in Text;
  // that text must not pass for this field's value.
  if (answered_out) *answered_out = answered;
  if (!finished || !answered) return "";
  if (control.Text() == kEmptyFieldAnswer) return "";
  return control.Text();
}

bool PokeText(App& app, DdeClientControl& control, std::string_view topic, std::string_view address,
              std::string_view data) {
  StepRunner run(app, "PokeText", QuietOn({kErrInvalidProperty}));
  bool taken = false;
  RunSteps(run, {
                    [&] { control.SetLinkMode(DdeClientControl::kNone); },
                    [&] { control.SetLinkTopic(std::string(topic)); },
                    [&] { control.SetLinkMode(DdeClientControl::kManual); },
                    [&] { control.SetLinkItem(std::string(address)); },
                    [&] { control.SetText(VbTrim(data)); },
                    [&] {
                      control.LinkPoke();
                      taken = true;
                    },
                    [&] { control.SetLinkMode(DdeClientControl::kNone); },
                });
  return taken;
}

bool ApxSendCompField(App& app, DdeClientControl& control, std::string_view topic,
                      std::string_view position, std::string_view data) {
  Clock& clock = *app.services().clock;
  control.SetText(std::string(kNotTaken));
  const bool taken = PokeText(app, control, topic, position, data);

  // Wait while the seconds clock reads at most the start second plus one and the poke has not
  // replaced the placeholder. The seconds clock restarts at 0 at midnight, where that rule alone
  // would wait a whole day, so the same span is also measured on the monotonic clock.
  const double first_reading = clock.SecondsSinceMidnight();
  const double start = RoundHalfEven(first_reading);
  const double started = clock.MonotonicSeconds();
  const double span = std::clamp(start + 1 - first_reading, 0.0, kLongestWaitSeconds);
  while (control.Text() == kNotTaken) {
    if (clock.SecondsSinceMidnight() > start + 1) break;
    if (clock.MonotonicSeconds() - started > span) break;
    clock.Sleep(kPollInterval);
  }
  return taken;
}

bool ApxSendField(App& app, DdeClientControl& txtdde, std::string_view topic,
                  std::string_view position, std::string_view data) {
  return ApxSendCompField(app, txtdde, topic, VbTrim(position), VbTrim(data));
}

std::string MacroCommand(std::string_view script) { return "[RunMacro(" + VbTrim(script) + ")]\r"; }

bool ApxSendScript(App& app, DdeClientControl& control, std::string_view script) {
  StepRunner run(app, "ApxSendScript", QuietOn({kErrNoDdeServer}));
  const std::string command = MacroCommand(script);
  bool executed = false;
  RunSteps(run, {
                    [&] { control.SetLinkMode(DdeClientControl::kNone); },
                    [&] { control.SetLinkTopic(std::string(kApxSystemTopic)); },
                    [&] { control.SetLinkMode(DdeClientControl::kManual); },
                    [&] {
                      control.LinkExecute(command);
                      executed = true;
                    },
                    [&] { control.SetLinkMode(DdeClientControl::kNone); },
                });
  return executed;
}

void ApxConnectReport(App& app, DdeClientControl& control) {
  control.SetLinkMode(DdeClientControl::kNone);
  ApxQueryActiveReports(app, control);
  const std::string report = TextBeforeComma(control.Text());
  ApxOpenReport(app, control, report);
  // A list request that fails quietly leaves the earlier answer in Text on purpose: with a
  // report list that has no comma the read then finds an empty report name and tells the user
  // that no appraisal form is open, rather than ending without a word.
  ApxListForms(app, control, report);
}

bool DdeHasText(const DdeClientControl& control) { return !VbTrim(control.Text()).empty(); }

bool ApxReportIsOpen(App& app, DdeClientControl& control) {
  control.SetText("");
  ApxConnectReport(app, control);
  return DdeHasText(control);
}

std::string ReturnFieldCode(App& app, std::string_view form, std::string_view field_code) {
  const std::string value = ReadIniString(app, app.config.XfrIni, VbTrim(field_code), form, "");
  if (value.empty()) return "";
  return std::string(form) + "|" + value;
}

}  // namespace xfr
