// The appraisal link over the session bus against apx-sim: bus names, a round trip of each kind
// through the DDE control, the error numbers, hostile names and texts, and apx-sim's own
// lifecycle. What the control keeps after a failure: on the fake server (dde_control_test.cc).
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "controls/dde_control.h"
#include "platform/dbus/apx_sim_process.h"
#include "platform/dbus/dbus_dde_transport.h"
#include "platform/dbus/dde_bus.h"
#include "platform/runtime_error.h"
#include "support/dde_outcomes.h"
#include "support/error_of.h"

namespace xfr {
namespace {

using testing::ApxData;
using testing::ApxSim;
using testing::Child;
using testing::ErrorOf;
using testing::ReadFile;
using testing::TempDir;

TEST(DdeBusNames, ServiceNamesAndErrorNames) {
  const struct {
    std::string service, bus_name;
  } cases[] = {
      {"Apx", "dde.APX"},  // DDE names match without regard to case
      {"My App", "dde.MY_20APP"},
      {"a_b", "dde.A_5FB"},  // the escape character itself is escaped: no two services meet
      {"A.B-C", "dde.A_2EB_2DC"},
      {"1APX", "dde._31APX"},  // an element may not start with a digit
      {"\xc3\xa9", "dde._C3_A9"},
      {"", ""},
      {std::string(251, 'a'), "dde." + std::string(251, 'A')},
      {std::string(84, '$'), ""},  // 4 + 84 * 3 > 255
      {std::string(252, 'a'), ""}};
  for (const auto& c : cases) {
    EXPECT_EQ(dde_bus::BusNameForService(c.service), c.bus_name) << c.service;
    EXPECT_TRUE(c.bus_name.empty() || dde_bus::IsValidBusName(c.bus_name)) << c.bus_name;
  }
  for (const char* bad : {"", "dde", "dde.", ".dde.APX", "dde..APX", "dde.1A", ":1.5", "dde.A B",
                          "dde.A/B", "dde.\xc3\xa9"}) {
    EXPECT_FALSE(dde_bus::IsValidBusName(bad)) << bad;
  }
  EXPECT_TRUE(dde_bus::IsValidBusName("org.freedesktop.DBus"));
  const std::pair<const char*, int> errors[] = {
      {"dde.Error.ItemRefused", kErrDdeRefused},
      {"dde.Error.PokeRefused", kErrDdeRefused},
      {"dde.Error.ExecuteFailed", kErrDdeRefused},
      {"dde.Error.UnknownTopic", kErrNoDdeServer},
      {"org.freedesktop.DBus.Error.ServiceUnknown", kErrNoDdeServer},
      {"org.freedesktop.DBus.Error.NameHasNoOwner", kErrNoDdeServer},
      {"org.freedesktop.DBus.Error.NoReply", kErrDdeTimeout},
      {"org.example.Whatever", kErrDdeRefused}};
  for (const auto& [name, number] : errors) {
    EXPECT_EQ(dde_bus::ErrorNumberForDBusError(name), number) << name;
  }
}

class DBusLinkTest : public testing::ApxSimTest {
 protected:
  void SetUp() override { Serve(ApxData("two_reports.json")); }

  // One request or poke the way the link operations make it.
  std::string Link(const std::string& link_topic, const std::string& item,
                   const std::string* poke = nullptr) {
    control_.SetLinkMode(0);
    control_.SetLinkTopic(link_topic);
    control_.SetLinkItem(item);
    control_.SetLinkMode(2);
    if (poke) {
      control_.SetText(*poke);
      control_.LinkPoke();
    } else {
      control_.LinkRequest();
    }
    control_.SetLinkMode(0);
    return control_.Text();
  }
};

TEST_F(DBusLinkTest, RoundTripsKeepTheText) {
  EXPECT_EQ(Link("APX|Query", "ActiveReports"), "RPT1,RPT2,");
  EXPECT_EQ(Link("Apx|RPT1", "UserID"), "apx-sim");
  EXPECT_EQ(Link("APX|rpt1", "OFFSCRN|3|3"), "a-1001 ");
  EXPECT_EQ(Link("APX|RPT1", "offscrn|8|1"), "\r\n");
  const std::string lines = "9 Elm St\r\nUnit 2", cut("cut\0here", 8);  // a DDE text ends at NUL
  Link("APX|RPT1", "Offscrn|7|1", &lines);
  EXPECT_EQ(Link("APX|RPT1", "offscrn|7|1"), lines);
  Link("APX|RPT2", "ZNAPROF|9|9", &cut);
  EXPECT_EQ(Link("APX|RPT2", "znaprof|9|9"), "cut");
  // What reaches apx-sim (the execute among it): the send's smoke test (send_e2e_test.cc).
}

TEST_F(DBusLinkTest, ErrorNumbersOfEachOutcome) {
  transport_.set_timeout_ms(300);
  testing::ExpectApxSimOutcomes(transport_);
  // The server gone while the conversation is open.
  std::unique_ptr<DdeConversation> report = transport_.Initiate("APX", "RPT1");
  sim_->child().Stop();
  EXPECT_EQ(ErrorOf([&] { report->Request("offscrn|3|3"); }), kErrNoDdeServer);
  EXPECT_EQ(ErrorOf([&] { transport_.Initiate("APX", "RPT1"); }), kErrNoDdeServer);
}

TEST_F(DBusLinkTest, HostileNamesAndTextsNeverAbort) {
  // "AP\0X" is cut at its NUL like any DDE text, and nobody serves "AP".
  for (const std::string& service :
       {std::string(), std::string(" "), std::string(".."), std::string(":1.0"),
        std::string("dde.APX"), std::string("/dde"), std::string(300, 'x'), std::string("\xff\xfe"),
        std::string("AP\0X", 4), std::string(100, '\x01')}) {
    EXPECT_EQ(ErrorOf([&] { transport_.Initiate(service, "Query"); }), kErrNoDdeServer) << service;
  }
  std::unique_ptr<DdeConversation> conversation = transport_.Initiate("APX", "RPT1");
  for (const std::string& text : {std::string("\xff\xfe\xfd"), std::string("\0\0", 2),
                                  std::string("\xed\xa0\x80"), std::string(1 << 20, '|')}) {
    // Every outcome is an answer or a run-time error; none ends the process.
    ErrorOf([&] { conversation->Request(text); });
    ErrorOf([&] { conversation->Poke(text, text); });
    ErrorOf([&] { conversation->Poke("offscrn|1|1", text); });
    ErrorOf([&] { conversation->Execute(text); });
    ErrorOf([&] { transport_.Initiate("APX", text)->Request("offscrn|1|1"); });
  }
  conversation->Poke("offscrn|1|1",
                     "a\xff"
                     "b");  // invalid UTF-8 arrives as U+FFFD
  EXPECT_EQ(conversation->Request("offscrn|1|1"),
            "a\xef\xbf\xbd"
            "b");
}

TEST(DBusLink, EscapedServiceNameAndLargeAnswer) {
  TempDir dir;
  const std::string big(10 << 20, 'x');
  testing::WriteFile(dir / "big.json",
                     R"({"reports": {"Big Report": {"fields": {"f|1|1": ")" + big + R"("}}}})");
  // Reading the 10 MB report takes apx-sim seconds under the sanitizers on a busy machine.
  ApxSim sim(testing::ApxSimPath(), dir / "big.json", {"--dump", dir / "dump.json"}, "My App",
             "dde.MY_20APP", std::chrono::seconds(60));
  ASSERT_TRUE(sim.ready());
  DBusDdeTransport transport(10000);
  auto conversation = transport.Initiate("my app", "Big Report");
  EXPECT_EQ(conversation->Request("F|1|1"), big);
  conversation->Poke("f|2|2", "poked\r\n");
  // The dump on exit holds the poked value.
  EXPECT_EQ(sim.child().Stop(std::chrono::seconds(60)), 0);  // it writes 10 MB on the way out
  EXPECT_NE(ReadFile(dir / "dump.json").find(R"("f|2|2": "poked\r\n")"), std::string::npos);
}

TEST(ApxSim, ExitsWhenItsBusGoesAwayAndRejectsBadReportFiles) {
  TempDir dir;
  // A bus of our own, so that taking it away leaves the test's bus alone.
  Child daemon({"/bin/sh", "-c",
                "exec dbus-daemon --session --nofork --print-address=1 > '" + (dir / "address") +
                    "' 2>/dev/null"});
  std::string address;
  for (int i = 0; i < 500 && address.find('\n') == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    address = ReadFile(dir / "address");
  }
  ASSERT_TRUE(address.ends_with('\n')) << "no private bus";
  address.pop_back();
  Child sim({"/usr/bin/env", "DBUS_SESSION_BUS_ADDRESS=" + address, testing::ApxSimPath(),
             ApxData("two_reports.json")});
  // apx-sim logs nothing until it serves; give it time to take its name.
  EXPECT_EQ(sim.WaitExit(std::chrono::milliseconds(1000)), -1) << "apx-sim ended early";
  daemon.Stop();
  EXPECT_EQ(sim.WaitExit(std::chrono::seconds(5)), 0);

  for (const char* text : {"", "[]", R"({"reports": {"R": {"forms": [1]}}})",
                           R"({"reports": {"R": {"fields": {"a|1|1": 5}}}})", R"({"delayMs": -1})",
                           R"({"reports": {"R": {}, "R": {}}})"}) {
    testing::WriteFile(dir / "bad.json", text);
    Child bad({testing::ApxSimPath(), dir / "bad.json"});
    EXPECT_EQ(bad.WaitExit(std::chrono::seconds(10)), 2) << text;
  }
}

}  // namespace
}  // namespace xfr
