// The appraisal link over the session bus against apx-sim: bus names, a round trip of each kind
// through the DDE control, the error numbers, hostile names and texts. What the control keeps
// after a failure: on the fake server (tests/link).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "controls/dde_control.h"
#include "platform/dbus/dbus_dde_transport.h"
#include "platform/dbus/dde_bus.h"
#include "platform/runtime_error.h"
#include "support/apx_sim.h"
#include "support/dde_outcomes.h"
#include "support/error_of.h"

namespace xfr {
namespace {

using testing::ApxSim;
using testing::ErrorOf;

// One QCoreApplication for the whole program, created and never exec()'d.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "dbus_tests";
    static char* argv[] = {name, nullptr};
    // Kept to the end of the process: QtDBus's own thread outlives the tests.
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
  }
};

::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

TEST(DBusLink, BusAndErrorNamesRoundTripsHostileTextsAndErrorNumbers) {
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

  // Against apx-sim serving two_reports.json: round trips through the DDE control, hostile names
  // and texts, then the error numbers of each outcome and of the server gone.
  ApxSim sim(testing::ApxSimPath(), std::string(XFR_TEST_DATA) + "/apx/two_reports.json");
  ASSERT_TRUE(sim.ready()) << "apx-sim did not come up";
  DBusDdeTransport transport(10000);  // 10 MB each way under the sanitizers on a busy machine
  DdeClientControl control(&transport);
  // One request or poke the way the link operations make it.
  auto link = [&](const std::string& link_topic, const std::string& item,
                  const std::string* poke = nullptr) {
    control.SetLinkMode(0);
    control.SetLinkTopic(link_topic);
    control.SetLinkItem(item);
    control.SetLinkMode(2);
    if (poke) control.SetText(*poke);
    poke ? control.LinkPoke() : control.LinkRequest();
    control.SetLinkMode(0);
    return control.Text();
  };
  EXPECT_EQ(link("APX|Query", "ActiveReports"), "RPT1,RPT2,");
  EXPECT_EQ(link("Apx|RPT1", "UserID"), "apx-sim");
  EXPECT_EQ(link("APX|rpt1", "OFFSCRN|3|3"), "a-1001 ");
  EXPECT_EQ(link("APX|RPT1", "offscrn|8|1"), "\r\n");
  const std::string lines = "9 Elm St\r\nUnit 2", cut("cut\0here", 8);  // a DDE text ends at NUL
  link("APX|RPT1", "Offscrn|7|1", &lines);
  EXPECT_EQ(link("APX|RPT1", "offscrn|7|1"), lines);
  link("APX|RPT2", "ZNAPROF|9|9", &cut);
  EXPECT_EQ(link("APX|RPT2", "znaprof|9|9"), "cut");
  const std::string big(10 << 20, 'x');
  link("APX|RPT2", "ZNAPROF|9|8", &big);
  EXPECT_EQ(link("APX|RPT2", "ZNAPROF|9|8"), big);

  // "AP\0X" is cut at its NUL like any DDE text, and nobody serves "AP".
  for (const std::string& service : {std::string(), std::string(":1.0"), std::string(300, 'x'),
                                     std::string("\xff\xfe"), std::string("AP\0X", 4)}) {
    EXPECT_EQ(ErrorOf([&] { transport.Initiate(service, "Query"); }), kErrNoDdeServer) << service;
  }
  std::unique_ptr<DdeConversation> report = transport.Initiate("APX", "RPT1");
  for (const std::string& text : {std::string("\xff\xfe\xfd"), std::string("\0\0", 2),
                                  std::string("\xed\xa0\x80"), std::string(1 << 20, '|')}) {
    // Every outcome is an answer or a run-time error; none ends the process.
    ErrorOf([&] { report->Request(text); });
    ErrorOf([&] { report->Poke(text, text); });
    ErrorOf([&] { report->Poke("offscrn|1|1", text); });
    ErrorOf([&] { report->Execute(text); });
    ErrorOf([&] { transport.Initiate("APX", text)->Request("offscrn|1|1"); });
  }
  report->Poke("offscrn|1|1", "a\377b");  // invalid UTF-8 arrives as U+FFFD
  EXPECT_EQ(report->Request("offscrn|1|1"), "a\357\277\275b");

  transport.set_timeout_ms(300);
  testing::ExpectApxSimOutcomes(transport);
  // The server gone while the conversation is open.
  sim.child().Stop();
  EXPECT_EQ(ErrorOf([&] { report->Request("offscrn|3|3"); }), kErrNoDdeServer);
  EXPECT_EQ(ErrorOf([&] { transport.Initiate("APX", "RPT1"); }), kErrNoDdeServer);
}

}  // namespace
}  // namespace xfr
