// The link operations over the session bus with nobody serving: the transport's error numbers as
// the core's operations meet them, and the bounded wait on the real clock. (The operations
// themselves are tested on the fake transport in tests/link; the round trips through apx-sim in
// dbus_dde_test.cc and the transfers' smoke tests.)
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "link/apx_link.h"
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
