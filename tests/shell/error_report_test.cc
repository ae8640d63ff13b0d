#include "base/error_report.h"

#include <gtest/gtest.h>

#include "fakes/harness.h"

namespace xfr {
namespace {

TEST(StepRunner, TheFourAnswers) {
  struct Case {
    Answer answer;
    ReportAnswer report_answer;
    std::vector<int> steps_run;  // step numbers that completed
    bool passed_on;
  } cases[] = {
      {Answer::kRetry, ReportAnswer::kRetry, {1, 2, 3}, false},  // step 2 fails once, then succeeds
      {Answer::kIgnore, ReportAnswer::kIgnore, {1, 3}, false},
      {Answer::kAbort, ReportAnswer::kAbort, {1}, false},
      {Answer::kCancel, ReportAnswer::kPassOn, {1}, true},
  };
  for (const auto& c : cases) {
    testing::Harness h;
    h.window.answers = {c.answer};
    std::vector<int> done;
    int failures = 1;
    bool passed_on = false;
    try {
      StepRunner run(h.app, "TestProcedure");
      if (run.Step([&] { done.push_back(1); }) && run.Step([&] {
            if (failures-- > 0) throw RuntimeError(kErrNoCurrentRecord);
            done.push_back(2);
          })) {
        run.Step([&] { done.push_back(3); });
      }
    } catch (const RuntimeError& e) {
      passed_on = e.number() == kErrNoCurrentRecord;
    }
    EXPECT_EQ(done, c.steps_run) << static_cast<int>(c.answer);
    EXPECT_EQ(h.app.LastReportAnswer, c.report_answer);
    EXPECT_EQ(passed_on, c.passed_on);
    ASSERT_EQ(h.window.boxes.size(), 1u);
    EXPECT_EQ(h.window.boxes[0].buttons, Buttons::kAbortRetryIgnore);
  }
  testing::Harness h;  // Retry to a step that always fails: it gives up after 1,000 retries
  h.window.error_default = Answer::kRetry;
  EXPECT_FALSE(StepRunner(h.app, "TestProcedure").Step([] { throw RuntimeError(kErrNoCurrentRecord); }));
  EXPECT_EQ(h.window.boxes.size(), 1001u);
}

TEST(ReportError, TextNamesErrorAndProcedureCutTo20) {
  testing::Harness h;
  h.app.SetProc("ApxQueryActiveReports");
  h.window.answers = {Answer::kIgnore};
  EXPECT_EQ(ReportError(h.app, RuntimeError(kErrDdeTimeout)), ReportAnswer::kIgnore);
  // A damaged table ends the program without asking Retry.
  EXPECT_THROW(ReportError(h.app, RuntimeError(kErrDatabaseDamaged)), EndProgram);
  ASSERT_EQ(h.window.boxes.size(), 2u);
  EXPECT_EQ(h.window.boxes[0].title + ": " + h.window.boxes[0].text,
            "Error: " + DescribeError(kErrDdeTimeout) +
                ".\r\nError # 286 in module ApxQueryActiveReport.");
  EXPECT_EQ(h.window.boxes[1].title + ": " + h.window.boxes[1].text,
            "Transfer Info: The databases may be corrupt.  Please run the rebuild programs. "
            "(Double Click on the icons) and restart Lumabox.");
  EXPECT_EQ(h.window.boxes[1].buttons, Buttons::kOk);
}

}  // namespace
}  // namespace xfr
