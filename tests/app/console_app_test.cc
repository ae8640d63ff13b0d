// The console's exit status says what the command did.
#include "app/console_app.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "transfer/read_office.h"

namespace xfr {
namespace {

// A capture request that times out once: Retry gets the answer and the job is added (done);
// Abort ends the read before the question, nothing written.
TEST(RunConsole, ReadRetriedAtAnErrorReportAndThenAddedIsDone) {
  for (Answer on_error : {Answer::kRetry, Answer::kAbort}) {
    testing::ReadOffice o;
    int timeouts = 0;
    o.dde.set_on_call([&timeouts](const FakeDdeTransport::Call& c) {
      if (c.op == "request" && c.item == "offscrn|7|1" && timeouts++ == 0) {
        throw RuntimeError(kErrDdeTimeout);
      }
    });
    std::FILE* out = std::tmpfile();
    ConsoleWindow window({Answer::kYes, on_error, "", false}, &o.files, out);
    App app(Services{&o.ini, &o.files, &o.clock, &window, &o.tables, &o.dde, &o.instance}, "");
    const bool retried = on_error == Answer::kRetry;
    EXPECT_EQ(RunConsole(app, window, {"read"}), retried ? kExitDone : kExitNotDone);
    EXPECT_EQ(o.PropertyRow("NEW-01") >= 0, retried);
    std::fclose(out);
  }
}

}  // namespace
}  // namespace xfr
