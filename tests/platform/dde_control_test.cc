// The DDE client control over the in-process fake server: the property orders the link
// operations use, where each error comes from, and what a failure leaves behind.
#include "controls/dde_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fake_dde.h"
#include "platform/runtime_error.h"
#include "support/error_of.h"

namespace xfr {
namespace {

using testing::ErrorOf;
using Call = FakeDdeTransport::Call;

class DdeControlTest : public ::testing::Test {
 protected:
  DdeControlTest() : control_(&dde_) {
    dde_.ServeOnlyTopics({"Query", "System", "RPT1"});
    dde_.SetAnswer("Query", "ActiveReports", "RPT1,RPT2,");
    dde_.SetAnswer("RPT1", "UserID", "appraiser");
    dde_.SetAnswer("RPT1", "offscrn|7|1", "12 Main St\r\n");
  }

  FakeDdeTransport dde_;
  DdeClientControl control_;
};

TEST_F(DdeControlTest, PropertyOrdersOfTheLinkOperations) {
  // The query: topic, open, item, request, close.
  control_.SetLinkMode(0);
  control_.SetLinkTopic("APX|Query");
  control_.SetLinkMode(2);
  control_.SetLinkItem("ActiveReports");
  control_.LinkRequest();
  control_.SetLinkMode(0);
  EXPECT_EQ(control_.Text(), "RPT1,RPT2,");

  // Opening a report: the item is set before the link opens, in the case the caller wrote.
  control_.SetLinkTopic("Apx|rpt1");
  control_.SetLinkItem("UserID");
  control_.SetLinkMode(2);
  control_.LinkRequest();
  control_.SetLinkMode(0);
  EXPECT_EQ(control_.Text(), "appraiser");

  // A poke: the item and the data are set after the link opens.
  control_.SetLinkTopic("APX|RPT1");
  control_.SetLinkMode(2);
  control_.SetLinkItem("Offscrn|7|1");
  control_.SetText("9 Elm St");
  control_.LinkPoke();
  control_.SetLinkMode(0);

  control_.SetLinkTopic("APX|System");
  control_.SetLinkMode(2);
  control_.LinkExecute("[RunMacro(CloseScn.bas)]\r");
  control_.SetLinkMode(0);

  const std::vector<Call> expected = {
      {"initiate", "APX", "Query", "", ""},
      {"request", "APX", "Query", "ActiveReports", ""},
      {"terminate", "APX", "Query", "", ""},
      {"initiate", "Apx", "rpt1", "", ""},
      {"request", "Apx", "rpt1", "UserID", ""},
      {"terminate", "Apx", "rpt1", "", ""},
      {"initiate", "APX", "RPT1", "", ""},
      {"poke", "APX", "RPT1", "Offscrn|7|1", "9 Elm St"},
      {"terminate", "APX", "RPT1", "", ""},
      {"initiate", "APX", "System", "", ""},
      {"execute", "APX", "System", "", "[RunMacro(CloseScn.bas)]\r"},
      {"terminate", "APX", "System", "", ""},
  };
  EXPECT_EQ(dde_.calls(), expected);
  EXPECT_EQ(dde_.Value("rpt1", "offscrn|7|1"), "9 Elm St");
  EXPECT_EQ(dde_.open_conversations(), 0);
}

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

TEST_F(DdeControlTest, FailuresKeepTextAndMode) {
  dde_.Refuse("RPT1", "offscrn|99|1");
  dde_.Fail("RPT1", "offscrn|5|1", kErrDdeTimeout);

  // Nobody serving the topic, or nobody at all: 282 and no link.
  control_.SetText("kept");
  control_.SetLinkTopic("APX|RPT9");
  EXPECT_EQ(ErrorOf([&] { control_.SetLinkMode(2); }), kErrNoDdeServer);
  EXPECT_EQ(control_.LinkMode(), 0);
  control_.SetLinkTopic("OTHER|Query");
  EXPECT_EQ(ErrorOf([&] { control_.SetLinkMode(2); }), kErrNoDdeServer);

  // Refusal and time-out: the error passes through, Text stays, the link stays open.
  control_.SetLinkTopic("APX|RPT1");
  control_.SetLinkMode(2);
  for (auto [item, error] :
       {std::pair{"OFFSCRN|99|1", kErrDdeRefused}, {"offscrn|5|1", kErrDdeTimeout}}) {
    control_.SetLinkItem(item);
    EXPECT_EQ(ErrorOf([&] { control_.LinkRequest(); }), error) << item;
    EXPECT_NE(ErrorOf([&] { control_.LinkPoke(); }), 0) << item;
    EXPECT_EQ(control_.Text(), "kept");
    EXPECT_EQ(control_.LinkMode(), 2);
  }
  EXPECT_EQ(dde_.open_conversations(), 1);
  control_.SetLinkMode(0);
  EXPECT_EQ(dde_.open_conversations(), 0);

  // The server gone with the link open.
  control_.SetLinkMode(2);
  dde_.set_running(false);
  EXPECT_EQ(ErrorOf([&] { control_.LinkRequest(); }), kErrNoDdeServer);
  EXPECT_EQ(ErrorOf([&] { control_.SetLinkMode(0), control_.SetLinkMode(2); }), kErrNoDdeServer);
}

TEST_F(DdeControlTest, AnswersArriveUnchanged) {
  const std::string answers[] = {
      "\r\n",
      "12 Main St\r\n",
      "  padded  ",
      std::string("nul\0inside", 10),
      "\xff\xfe bad utf-8",
      std::string(10 << 20, 'x'),
  };
  control_.SetLinkTopic("APX|RPT1");
  control_.SetLinkMode(2);
  control_.SetLinkItem("offscrn|1|1");
  for (const std::string& answer : answers) {
    dde_.SetAnswer("RPT1", "offscrn|1|1", answer);
    control_.LinkRequest();
    EXPECT_EQ(control_.Text(), answer);
    control_.SetText(answer + "!");
    control_.LinkPoke();
    EXPECT_EQ(dde_.Value("RPT1", "offscrn|1|1"), answer + "!");
  }
}

TEST(DdeControl, SplitLinkTopic) {
  std::string service, topic;
  ASSERT_TRUE(DdeClientControl::SplitLinkTopic("APX|a|b", &service, &topic));
  EXPECT_EQ(service, "APX");
  EXPECT_EQ(topic, "a|b");
}

}  // namespace
}  // namespace xfr
