// The DDE client control over the in-process fake server: when the topic is taken, and what an
// invalid property leaves behind. What a failure to reach the server leaves: through the link
// operations (tests/link); the server gone with the link open: dbus_dde_test.cc.
#include "controls/dde_control.h"

#include <gtest/gtest.h>

#include <string>

#include "fakes/fake_dde.h"
#include "platform/runtime_error.h"
#include "support/error_of.h"

namespace xfr {
namespace {

using testing::ErrorOf;

TEST(DdeControl, InvalidPropertiesAndTheTopicTakenWhenTheLinkOpens) {
  const struct {
    const char* name;
    std::function<void(DdeClientControl&)> step;
  } cases[] = {
      {"mode -1", [](DdeClientControl& c) { c.SetLinkMode(-1); }},
      {"mode 4", [](DdeClientControl& c) { c.SetLinkMode(4); }},
      {"no bar", [](DdeClientControl& c) { c.SetLinkTopic("APXQuery"), c.SetLinkMode(2); }},
      {"empty topic", [](DdeClientControl& c) { c.SetLinkTopic("APX|"), c.SetLinkMode(2); }},
      {"empty service", [](DdeClientControl& c) { c.SetLinkTopic("|Query"), c.SetLinkMode(2); }},
      {"nothing set", [](DdeClientControl& c) { c.SetLinkMode(2); }},
      {"request unlinked", [](DdeClientControl& c) { c.SetLinkItem("x"), c.LinkRequest(); }},
      {"poke unlinked", [](DdeClientControl& c) { c.SetLinkItem("x"), c.LinkPoke(); }},
      {"execute unlinked", [](DdeClientControl& c) { c.LinkExecute("[x]"); }},
  };
  for (const auto& test : cases) {
    FakeDdeTransport dde;
    DdeClientControl control(&dde);
    control.SetText("before");
    EXPECT_EQ(ErrorOf([&] { test.step(control); }), kErrInvalidProperty) << test.name;
    EXPECT_EQ(control.LinkMode(), 0) << test.name;
    EXPECT_EQ(control.Text(), "before") << test.name;
    EXPECT_TRUE(dde.calls().empty()) << test.name;
  }

  FakeDdeTransport dde;
  dde.ServeOnlyTopics({"Query", "System", "RPT1"});
  dde.SetAnswer("RPT1", "offscrn|7|1", "12 Main St\r\n");
  DdeClientControl control(&dde);
  control.SetLinkTopic("APX|RPT1");
  control.SetLinkMode(2);
  // An empty item on an open link reaches no server either.
  control.SetLinkItem("");
  EXPECT_EQ(ErrorOf([&] { control.LinkRequest(); }), kErrInvalidProperty);
  EXPECT_EQ(ErrorOf([&] { control.LinkPoke(); }), kErrInvalidProperty);
  EXPECT_TRUE(dde.CallsOf("request").empty());
  EXPECT_TRUE(dde.CallsOf("poke").empty());
  // The topic is taken when the link opens.
  control.SetLinkTopic("APX|Query");  // too late: the conversation is on RPT1
  control.SetLinkMode(3);             // already open: no second initiate, the kind changes
  control.SetLinkItem("offscrn|7|1");
  control.LinkRequest();
  EXPECT_EQ(control.Text(), "12 Main St\r\n");
  EXPECT_EQ(dde.CallsOf("initiate").size(), 1u);
  EXPECT_EQ(control.LinkMode(), 3);
  EXPECT_EQ(dde.CallsOf("request").at(0).topic, "RPT1");
  control.SetLinkMode(0);
  control.SetLinkMode(0);
  EXPECT_EQ(dde.CallsOf("terminate").size(), 1u);

  std::string service, topic;
  EXPECT_TRUE(DdeClientControl::SplitLinkTopic("APX|a|b", &service, &topic));
  EXPECT_EQ(service + " " + topic, "APX a|b");
}

}  // namespace
}  // namespace xfr
