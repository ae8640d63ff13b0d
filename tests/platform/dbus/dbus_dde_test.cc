// The appraisal link over the session bus against apx-sim: round trips through the DDE control,
// the errors a client sees, hostile names and texts, and apx-sim's own lifecycle.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "controls/dde_control.h"
#include "platform/dbus/apx_sim_process.h"
#include "platform/dbus/dbus_dde_transport.h"
#include "platform/dbus/dde_bus.h"
#include "platform/runtime_error.h"
#include "support/error_of.h"

namespace xfr {
namespace {

using testing::ApxData;
using testing::ApxSim;
using testing::Child;
using testing::ErrorOf;
using testing::ReadFile;
using testing::TempDir;

TEST(DdeBusNames, ServiceNamesBecomeValidBusNames) {
  const struct {
    std::string service, bus_name;
  } cases[] = {
      {"APX", "dde.APX"},
      {"Apx", "dde.APX"},  // DDE names match without regard to case
      {"My App", "dde.MY_20APP"},
      {"a_b", "dde.A_5FB"},  // the escape character itself is escaped: no two services meet
      {"A.B-C", "dde.A_2EB_2DC"},
      {"1APX", "dde._31APX"},  // an element may not start with a digit
      {"x1", "dde.X1"},
      {"\xc3\xa9", "dde._C3_A9"},
      {"", ""},
      {std::string(251, 'a'), "dde." + std::string(251, 'A')},
      {std::string(84, '$'), ""},  // 4 + 84 * 3 > 255
      {std::string(252, 'a'), ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(dde_bus::BusNameForService(c.service), c.bus_name) << c.service;
    if (!c.bus_name.empty()) {
      EXPECT_TRUE(dde_bus::IsValidBusName(c.bus_name));
    }
  }
  for (const char* bad : {"", "dde", "dde.", ".dde.APX", "dde..APX", "dde.1A", ":1.5", "dde.A B",
                          "dde.A/B", "dde.\xc3\xa9"}) {
    EXPECT_FALSE(dde_bus::IsValidBusName(bad)) << bad;
  }
  EXPECT_TRUE(dde_bus::IsValidBusName("org.freedesktop.DBus"));
}

TEST(DdeBusNames, ErrorNumbers) {
  EXPECT_EQ(dde_bus::ErrorNumberForDBusError("dde.Error.ItemRefused"), kErrDdeRefused);
  EXPECT_EQ(dde_bus::ErrorNumberForDBusError("dde.Error.PokeRefused"), kErrDdeRefused);
  EXPECT_EQ(dde_bus::ErrorNumberForDBusError("dde.Error.ExecuteFailed"), kErrDdeRefused);
  EXPECT_EQ(dde_bus::ErrorNumberForDBusError("dde.Error.UnknownTopic"), kErrNoDdeServer);
  EXPECT_EQ(dde_bus::ErrorNumberForDBusError("org.freedesktop.DBus.Error.ServiceUnknown"),
            kErrNoDdeServer);
  EXPECT_EQ(dde_bus::ErrorNumberForDBusError("org.freedesktop.DBus.Error.NameHasNoOwner"),
            kErrNoDdeServer);
  EXPECT_EQ(dde_bus::ErrorNumberForDBusError("org.freedesktop.DBus.Error.NoReply"), kErrDdeTimeout);
  EXPECT_EQ(dde_bus::ErrorNumberForDBusError("org.example.Whatever"), kErrDdeRefused);
}

class DBusLinkTest : public testing::ApxSimTest {
 protected:
  void SetUp() override { Serve(ApxData("two_reports.json")); }

  // One request the way the link operations make it.
  std::string Request(const std::string& link_topic, const std::string& item) {
    control_.SetLinkMode(0);
    control_.SetLinkTopic(link_topic);
    control_.SetLinkItem(item);
    control_.SetLinkMode(2);
    control_.LinkRequest();
    control_.SetLinkMode(0);
    return control_.Text();
  }
  void Poke(const std::string& link_topic, const std::string& item, const std::string& data) {
    control_.SetLinkMode(0);
    control_.SetLinkTopic(link_topic);
    control_.SetLinkMode(2);
    control_.SetLinkItem(item);
    control_.SetText(data);
    control_.LinkPoke();
    control_.SetLinkMode(0);
  }
};

TEST_F(DBusLinkTest, RoundTripsKeepTheTextAndReachTheLog) {
  EXPECT_EQ(Request("APX|Query", "ActiveReports"), "RPT1,RPT2,");
  EXPECT_EQ(Request("APX|RPT1", "ListForms"), "URAR,offscrn,");
  EXPECT_EQ(Request("Apx|RPT1", "UserID"), "apx-sim");
  EXPECT_EQ(Request("APX|RPT1", "offscrn|7|1"), "12 Main St\r\n");
  EXPECT_EQ(Request("APX|rpt1", "OFFSCRN|3|3"), "a-1001 ");
  EXPECT_EQ(Request("APX|RPT1", "offscrn|8|1"), "\r\n");
  EXPECT_EQ(Request("APX|RPT1", "offscrn|42|1"), "\r\n");  // not in the file: empty
  Poke("APX|RPT1", "Offscrn|7|1", "9 Elm St\r\nUnit 2");
  EXPECT_EQ(Request("APX|RPT1", "offscrn|7|1"), "9 Elm St\r\nUnit 2");
  Poke("APX|RPT2", "ZNAPROF|9|9", std::string("cut\0here", 8));  // a DDE text ends at NUL
  EXPECT_EQ(Request("APX|RPT2", "znaprof|9|9"), "cut");
  control_.SetLinkTopic("APX|System");
  control_.SetLinkMode(2);
  control_.LinkExecute("[RunMacro(CloseScn.bas)]\r");
  control_.SetLinkMode(0);

  EXPECT_EQ(LogLines(),
            (std::vector<std::string>{
                R"({"op":"request","topic":"Query","item":"ActiveReports"})",
                R"({"op":"request","topic":"RPT1","item":"ListForms"})",
                R"({"op":"request","topic":"RPT1","item":"UserID"})",
                R"({"op":"request","topic":"RPT1","item":"offscrn|7|1"})",
                R"({"op":"request","topic":"rpt1","item":"OFFSCRN|3|3"})",
                R"({"op":"request","topic":"RPT1","item":"offscrn|8|1"})",
                R"({"op":"request","topic":"RPT1","item":"offscrn|42|1"})",
                R"({"op":"poke","topic":"RPT1","item":"Offscrn|7|1","data":"9 Elm St\r\nUnit 2"})",
                R"({"op":"request","topic":"RPT1","item":"offscrn|7|1"})",
                R"({"op":"poke","topic":"RPT2","item":"ZNAPROF|9|9","data":"cut"})",
                R"({"op":"request","topic":"RPT2","item":"znaprof|9|9"})",
                R"({"op":"execute","topic":"System","data":"[RunMacro(CloseScn.bas)]\r"})"}));
}

TEST_F(DBusLinkTest, ErrorsTheClientSees) {
  // Refusals: a refused item, a poke to something that is not a field, a bad command.
  EXPECT_EQ(ErrorOf([&] { Request("APX|RPT1", "Offscrn|99|1"); }), kErrDdeRefused);
  EXPECT_EQ(ErrorOf([&] { Poke("APX|RPT1", "offscrn|99|1", "x"); }), kErrDdeRefused);
  EXPECT_EQ(ErrorOf([&] { Poke("APX|RPT1", "|3|1", "x"); }), kErrDdeRefused);
  EXPECT_EQ(ErrorOf([&] { Request("APX|Query", "Nothing"); }), kErrDdeRefused);
  control_.SetLinkMode(0);
  control_.SetLinkTopic("APX|System");
  control_.SetLinkMode(2);
  EXPECT_EQ(ErrorOf([&] { control_.LinkExecute("RunMacro(x)"); }), kErrDdeRefused);

  // Nobody: an unknown service, and a topic the server does not serve.
  EXPECT_EQ(ErrorOf([&] { Request("NOBODY|Query", "ActiveReports"); }), kErrNoDdeServer);
  EXPECT_EQ(ErrorOf([&] { Request("APX|RPT9", "ListForms"); }), kErrNoDdeServer);
  EXPECT_EQ(control_.LinkMode(), 2);  // the failed request left the link open, as on Windows
  control_.SetLinkMode(0);

  // A time-out, bounded, and the server still answers the next call at once.
  transport_.set_timeout_ms(300);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ErrorOf([&] { Request("APX|RPT1", "offscrn|50|1"); }), kErrDdeTimeout);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, std::chrono::milliseconds(2000));
  EXPECT_EQ(Request("APX|RPT1", "offscrn|3|3"), "a-1001 ");

  // The server gone while the link is open.
  control_.SetLinkMode(0);
  control_.SetLinkTopic("APX|RPT1");
  control_.SetLinkItem("offscrn|3|3");
  control_.SetLinkMode(2);
  sim_->child().Stop();
  EXPECT_EQ(ErrorOf([&] { control_.LinkRequest(); }), kErrNoDdeServer);
  control_.SetLinkMode(0);
  EXPECT_EQ(ErrorOf([&] { control_.SetLinkMode(2); }), kErrNoDdeServer);
}

TEST_F(DBusLinkTest, HostileNamesAndTextsNeverAbort) {
  const std::string services[] = {
      "",
      " ",
      "a b",
      "..",
      "1",
      ":1.0",
      "dde.APX",
      "/dde",
      std::string(300, 'x'),
      "\xff\xfe",
      std::string("AP\0X", 4),
      "\xc3\xa9",
      std::string(100, '\x01'),
  };
  for (const std::string& service : services) {
    // "AP\0X" is cut at its NUL like any DDE text, and nobody serves "AP".
    EXPECT_EQ(ErrorOf([&] { transport_.Initiate(service, "Query"); }), kErrNoDdeServer) << service;
  }
  const std::string texts[] = {"\xff\xfe\xfd", std::string("\0\0", 2), "\xed\xa0\x80",
                               std::string(1 << 20, '|'), "\x7f\x01\x02"};
  std::unique_ptr<DdeConversation> conversation = transport_.Initiate("APX", "RPT1");
  for (const std::string& text : texts) {
    // Every outcome is an answer or a run-time error; none ends the process.
    ErrorOf([&] { conversation->Request(text); });
    ErrorOf([&] { conversation->Poke(text, text); });
    ErrorOf([&] { conversation->Poke("offscrn|1|1", text); });
    ErrorOf([&] { conversation->Execute(text); });
    ErrorOf([&] { transport_.Initiate("APX", text)->Request("offscrn|1|1"); });
  }
  // Invalid UTF-8 arrives as U+FFFD.
  conversation->Poke("offscrn|1|1",
                     "a\xff"
                     "b");
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
  DdeClientControl control(&transport);
  control.SetLinkTopic("my app|Big Report");
  control.SetLinkItem("F|1|1");
  control.SetLinkMode(2);
  control.LinkRequest();
  EXPECT_EQ(control.Text(), big);
  control.SetLinkItem("f|2|2");
  control.SetText("poked\r\n");
  control.LinkPoke();
  control.SetLinkMode(0);

  // The dump on exit holds the poked value.
  EXPECT_EQ(sim.child().Stop(), 0);
  const std::string dump = ReadFile(dir / "dump.json");
  EXPECT_NE(dump.find(R"("f|2|2": "poked\r\n")"), std::string::npos);
  EXPECT_NE(dump.find("\"Big Report\""), std::string::npos);
}

TEST(ApxSim, ExitsWhenItsBusGoesAway) {
  TempDir dir;
  // A bus of our own, so that taking it away leaves the test's bus alone.
  Child daemon({"/bin/sh", "-c",
                "exec dbus-daemon --session --nofork --print-address=1 > '" + (dir / "address") +
                    "' 2>/dev/null"});
  std::string address;
  for (int i = 0; i < 500 && address.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    address = ReadFile(dir / "address");
    if (address.find('\n') == std::string::npos) address.clear();
  }
  ASSERT_FALSE(address.empty()) << "no private bus";
  address.pop_back();
  Child sim({"/usr/bin/env", "DBUS_SESSION_BUS_ADDRESS=" + address, testing::ApxSimPath(),
             ApxData("two_reports.json")});
  // apx-sim logs nothing until it serves; give it time to take its name.
  EXPECT_EQ(sim.WaitExit(std::chrono::milliseconds(1000)), -1) << "apx-sim ended early";
  daemon.Stop();
  EXPECT_EQ(sim.WaitExit(std::chrono::seconds(5)), 0);
}

TEST(ApxSim, RejectsBadReportFiles) {
  TempDir dir;
  const char* bad[] = {"",
                       "[]",
                       R"({"reports": []})",
                       R"({"reports": {"R": {"forms": [1]}}})",
                       R"({"reports": {"R": {"fields": {"a|1|1": 5}}}})",
                       R"({"delayMs": -1})",
                       R"({"reports": {"R": {}, "R": {}}})",
                       R"({"reports": {"R": {"forms": ["A"]}})"};
  for (const char* text : bad) {
    testing::WriteFile(dir / "bad.json", text);
    Child sim({testing::ApxSimPath(), dir / "bad.json"});
    EXPECT_EQ(sim.WaitExit(std::chrono::seconds(10)), 2) << text;
  }
}

}  // namespace
}  // namespace xfr
