// The link operations end to end: the core's operations through the DDE control and the session
// bus to apx-sim, checked against apx-sim's log of what it received, and the error report's
// boxes answered by the scripted window.
#include <gtest/gtest.h>

#include "util/text.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <chrono>
#include <cmath>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_ini.h"
#include "fakes/fake_window.h"
#include "link/apx_link.h"
#include "link/link_check.h"
#include "platform/dbus/apx_sim_process.h"
#include "platform/dbus/dbus_dde_transport.h"
#include "platform/dde_control.h"
#include "platform/runtime_error.h"

namespace xfr {
namespace {

using testing::ApxData;
using testing::ApxSim;
using testing::FakeIni;
using testing::FakeWindow;
using testing::ReadFile;
using testing::TempDir;

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

class LinkOpsTest : public ::testing::Test {
 protected:
  // Starts apx-sim on `report` with its log in the temp dir.
  void Serve(const std::string& report) {
    sim_ = std::make_unique<ApxSim>(report, std::vector<std::string>{"--log", dir_.File("log")});
    ASSERT_TRUE(sim_->ready()) << "apx-sim did not come up";
  }
  std::string Log() const { return ReadFile(dir_.File("log")); }

  TempDir dir_;
  std::unique_ptr<ApxSim> sim_;
  FakeIni ini_;
  FakeWindow window_;
  SteadyClock clock_;
  DBusDdeTransport transport_{2000};
  App app_{Services{&ini_, nullptr, &clock_, &window_, nullptr, &transport_, nullptr}, ""};
  DdeClientControl control_{&transport_};
};

TEST_F(LinkOpsTest, ReadAndSendAsTheTransfersDo) {
  Serve(ApxData("two_reports.json"));
  ASSERT_TRUE(ApxReportIsOpen(app_, control_));
  EXPECT_EQ(control_.Text(), "URAR,offscrn,");  // two reports: the first one's forms
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "offscrn|8|1"), "");  // CR LF: empty
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "offscrn|7|1"), "12 Main St\r\n");
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "offscrn|3|3"), "a-1001 ");
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "   "), "");
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "|24|1"), "");
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "offscrn|99|1"), "");  // refused: quiet
  ApxSendField(app_, control_, "APX|RPT1", " Offscrn|7|1 ", "  9 Elm St  ");
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "offscrn|7|1"), "9 Elm St");
  ApxSendScript(app_, control_, "  CloseScn.bas ");
  EXPECT_TRUE(window_.boxes.empty());
  EXPECT_EQ(control_.LinkMode(), 0);

  EXPECT_EQ(Log(), R"({"op":"request","topic":"Query","item":"ActiveReports"})"
                   "\n"
                   R"({"op":"request","topic":"RPT1","item":"UserID"})"
                   "\n"
                   R"({"op":"request","topic":"RPT1","item":"ListForms"})"
                   "\n"
                   R"({"op":"request","topic":"RPT1","item":"offscrn|8|1"})"
                   "\n"
                   R"({"op":"request","topic":"RPT1","item":"offscrn|7|1"})"
                   "\n"
                   R"({"op":"request","topic":"RPT1","item":"offscrn|3|3"})"
                   "\n"
                   R"({"op":"request","topic":"RPT1","item":"offscrn|99|1"})"
                   "\n"
                   R"({"op":"poke","topic":"RPT1","item":"Offscrn|7|1","data":"9 Elm St"})"
                   "\n"
                   R"({"op":"request","topic":"RPT1","item":"offscrn|7|1"})"
                   "\n"
                   R"({"op":"execute","topic":"System","data":"[RunMacro(CloseScn.bas)]\r"})"
                   "\n");

  const LinkCheck check = LinkTest(app_, control_);
  EXPECT_TRUE(check.report_open);
  EXPECT_EQ(check.report, "RPT1");
  EXPECT_EQ(check.form, "URAR");
  EXPECT_EQ(check.file_number, "A-1001");
}

TEST_F(LinkOpsTest, OneReportWithoutACommaNamesNoReport) {
  Serve(ApxData("one_report_no_comma.json"));
  // The answer stays in Text (the read then finds the empty report name and says so).
  EXPECT_TRUE(ApxReportIsOpen(app_, control_));
  EXPECT_EQ(TextBeforeComma(control_.Text()), "");
  EXPECT_TRUE(window_.boxes.empty());
  // Nothing goes to a report topic: the report name is "".
  EXPECT_EQ(Log(), R"({"op":"request","topic":"Query","item":"ActiveReports"})"
                   "\n");
}

TEST_F(LinkOpsTest, NoServerIsQuietExceptForThePoke) {
  // No apx-sim runs now; one stopped by an earlier test may still be leaving the bus.
  QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
  for (int i = 0; i < 500 && bus->isServiceRegistered("dde.APX").value(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
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

TEST_F(LinkOpsTest, TimeOutGoesToTheReportAndIgnoreClosesTheLink) {
  Serve(ApxData("two_reports.json"));
  transport_.set_timeout_ms(300);
  window_.answers = {Answer::kIgnore};
  control_.SetText("previous field");
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "offscrn|50|1"), "");
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].title, "Error");
  EXPECT_NE(window_.boxes[0].text.find("286"), std::string::npos);
  EXPECT_NE(window_.boxes[0].text.find("ApxGetFieldInfo"), std::string::npos);
  EXPECT_EQ(control_.LinkMode(), 0);
  // The server answers the next request at once.
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "offscrn|3|3"), "a-1001 ");
}

TEST_F(LinkOpsTest, HostileTextsAreTexts) {
  const std::string big(10 << 20, 'x');
  {
    std::ofstream report(dir_.File("big.json"));
    report << R"({"reports": {"RPT1": {"forms": ["URAR"], "fields": {"offscrn|1|1": ")" << big
           << R"("}}}})";
  }
  Serve(dir_.File("big.json"));
  transport_.set_timeout_ms(10000);
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "offscrn|1|1"), big);

  // Bytes that are not UTF-8 arrive as U+FFFD; a text ends at its first NUL, as a DDE text does.
  PokeText(app_, control_, "APX|RPT1", "offscrn|2|1",
           "a\xff"
           "b");
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "offscrn|2|1"),
            "a\xef\xbf\xbd"
            "b");
  PokeText(app_, control_, "APX|RPT1", "offscrn|2|1", std::string("cut\0here", 8));
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "offscrn|2|1"), "cut");
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", std::string("offscrn|\xff|\0", 11)), "");
  EXPECT_TRUE(window_.boxes.empty());
}

}  // namespace
}  // namespace xfr
