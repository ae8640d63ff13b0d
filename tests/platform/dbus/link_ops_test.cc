// The link operations end to end: the core's operations through the DDE control and the session
// bus to apx-sim, checked against apx-sim's log of what it received, and the error report's
// boxes answered by the scripted window.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "link/apx_link.h"
#include "link/link_check.h"
#include "platform/dbus/apx_sim_process.h"

namespace xfr {
namespace {

// The real clocks, for the one test that waits in earnest.
class SteadyClock : public Clock {
 public:
  double SecondsSinceMidnight() override {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return std::fmod(std::chrono::duration<double>(since).count(), 86400.0);
  }
  double MonotonicSeconds() override {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  Date Today() override { return {}; }
  void Sleep(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
};

class LinkOpsTest : public testing::ApxSimTest {
 protected:
  testing::FakeIni ini_;
  testing::FakeWindow window_;
  SteadyClock clock_;
  App app_{Services{&ini_, nullptr, &clock_, &window_, nullptr, &transport_, nullptr}, ""};
};

TEST_F(LinkOpsTest, ReadAndSendAsTheTransfersDo) {
  Serve(testing::ApxData("two_reports.json"));
  ASSERT_TRUE(ApxReportIsOpen(app_, control_));
  EXPECT_EQ(control_.Text(), "URAR,offscrn,");  // two reports: the first one's forms
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "offscrn|8|1"), "");  // CR LF: empty
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "offscrn|7|1"), "12 Main St\r\n");
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "offscrn|3|3"), "a-1001 ");
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "offscrn|99|1"), "");  // refused: quiet
  ApxSendField(app_, control_, "APX|RPT1", " Offscrn|7|1 ", "  9 Elm St  ");
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "offscrn|7|1"), "9 Elm St");
  ApxSendScript(app_, control_, "  CloseScn.bas ");
  EXPECT_TRUE(window_.boxes.empty());
  EXPECT_EQ(control_.LinkMode(), 0);
  EXPECT_EQ(LogLines(),
            (std::vector<std::string>{
                R"({"op":"request","topic":"Query","item":"ActiveReports"})",
                R"({"op":"request","topic":"RPT1","item":"UserID"})",
                R"({"op":"request","topic":"RPT1","item":"ListForms"})",
                R"({"op":"request","topic":"RPT1","item":"offscrn|8|1"})",
                R"({"op":"request","topic":"RPT1","item":"offscrn|7|1"})",
                R"({"op":"request","topic":"RPT1","item":"offscrn|3|3"})",
                R"({"op":"request","topic":"RPT1","item":"offscrn|99|1"})",
                R"({"op":"poke","topic":"RPT1","item":"Offscrn|7|1","data":"9 Elm St"})",
                R"({"op":"request","topic":"RPT1","item":"offscrn|7|1"})",
                R"({"op":"execute","topic":"System","data":"[RunMacro(CloseScn.bas)]\r"})"}));

  const LinkCheck check = LinkTest(app_, control_);
  EXPECT_TRUE(check.report_open);
  EXPECT_EQ(check.report, "RPT1");
  EXPECT_EQ(check.form, "URAR");
  EXPECT_EQ(check.file_number, "A-1001");
}

TEST_F(LinkOpsTest, NoServerIsQuietExceptForThePoke) {
  // No apx-sim runs now; one stopped by an earlier test may still be leaving the bus.
  ASSERT_TRUE(testing::WaitForName("dde.APX", false));
  EXPECT_FALSE(ApxReportIsOpen(app_, control_));
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "offscrn|7|1"), "");
  ApxSendScript(app_, control_, "CloseScn.bas");
  EXPECT_TRUE(window_.boxes.empty());

  PokeText(app_, control_, "APX|RPT1", "offscrn|7|1", "x");
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_NE(window_.boxes[0].text.find("282"), std::string::npos);
  EXPECT_NE(window_.boxes[0].text.find("PokeText"), std::string::npos);

  // A poke that failed before setting its data waits, boundedly, on the real clock.
  window_.boxes.clear();
  window_.answers = {Answer::kAbort};
  const auto start = std::chrono::steady_clock::now();
  ApxSendCompField(app_, control_, "APX|RPT1", "offscrn|7|1", "x");
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(control_.Text(), "NULL");
  EXPECT_GE(took, std::chrono::milliseconds(450));
  EXPECT_LT(took, std::chrono::milliseconds(1700));
}

}  // namespace
}  // namespace xfr
