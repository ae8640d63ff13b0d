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

class DdeControlTest : public ::testing::Test {
 protected:
  DdeControlTest() : control_(&dde_) {
    dde_.ServeOnlyTopics({"Query", "System", "RPT1"});
    dde_.SetAnswer("RPT1", "offscrn|7|1", "12 Main St\r\n");
  }

  FakeDdeTransport dde_;
  DdeClientControl control_;
};

TEST_F(DdeControlTest, TopicIsChosenWhenTheLinkOpens) {
  control_.SetLinkTopic("APX|RPT1");
  control_.SetLinkMode(2);
  control_.SetLinkTopic("APX|Query");  // too late: the conversation is on RPT1
  control_.SetLinkMode(2);             // already open: no second initiate
  control_.SetLinkItem("offscrn|7|1");
  control_.LinkRequest();
  EXPECT_EQ(control_.Text(), "12 Main St\r\n");
  EXPECT_EQ(dde_.CallsOf("initiate").size(), 1u);
  EXPECT_EQ(dde_.CallsOf("request").at(0).topic, "RPT1");
  control_.SetLinkMode(0);
  control_.SetLinkMode(0);
  EXPECT_EQ(dde_.CallsOf("terminate").size(), 1u);
}

TEST_F(DdeControlTest, InvalidPropertyValues) {
  struct Case {
    const char* name;
    std::function<void(DdeClientControl&)> step;
  };
  const Case cases[] = {
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
  for (const Case& test : cases) {
    FakeDdeTransport dde;
    DdeClientControl control(&dde);
    control.SetText("before");
    EXPECT_EQ(ErrorOf([&] { test.step(control); }), kErrInvalidProperty) << test.name;
    EXPECT_EQ(control.LinkMode(), 0) << test.name;
    EXPECT_EQ(control.Text(), "before") << test.name;
    EXPECT_TRUE(dde.calls().empty()) << test.name;
  }

  // An empty item on an open link reaches no server either.
  control_.SetLinkTopic("APX|RPT1");
  control_.SetLinkMode(2);
  control_.SetLinkItem("");
  EXPECT_EQ(ErrorOf([&] { control_.LinkRequest(); }), kErrInvalidProperty);
  EXPECT_EQ(ErrorOf([&] { control_.LinkPoke(); }), kErrInvalidProperty);
  EXPECT_TRUE(dde_.CallsOf("request").empty());
  EXPECT_TRUE(dde_.CallsOf("poke").empty());
}

TEST(DdeControl, SplitLinkTopic) {
  std::string service, topic;
  EXPECT_TRUE(DdeClientControl::SplitLinkTopic("APX|a|b", &service, &topic));
  EXPECT_EQ(service + " " + topic, "APX a|b");
}

}  // namespace
}  // namespace xfr
