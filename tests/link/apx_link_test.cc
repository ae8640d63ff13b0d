// The DDE client control and the link operations against the in-process appraisal server: what
// an invalid property leaves, what reaches the server, what the control is left with, which
// failures stay quiet and which reach the error report, the bounded wait after a poke. Over the
// real buses each kind of exchange is run once (tests/platform).
#include "link/apx_link.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_dde.h"
#include "fakes/fake_ini.h"
#include "fakes/fake_window.h"
#include "link/link_check.h"
#include "platform/runtime_error.h"
#include "support/error_of.h"

namespace xfr {
namespace {

using Call = FakeDdeTransport::Call;
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

// CurrentProcName keeps 20 characters: "ApxQueryActiveReports" loses its last letter.
std::string Padded(const std::string& name) { return (name + std::string(20, ' ')).substr(0, 20); }

using Control = DdeClientControl;
using Op = std::function<void(App&, Control&)>;

class ApxLinkTest : public ::testing::Test {
 protected:
  ApxLinkTest() {
    dde_.SetAnswer("Query", "ActiveReports", "RPT1,RPT2,");
    dde_.SetAnswer("RPT1", "UserID", "appraiser");
    dde_.SetAnswer("RPT1", "ListForms", "URAR,offscrn,");
    dde_.SetAnswer("RPT1", "offscrn|3|3", "a-1001 ");
    dde_.SetAnswer("RPT1", "offscrn|7|1", "12 Main St\r\n");
    dde_.SetAnswer("RPT2", "ListForms", "ZNA,");
  }

  testing::FakeIni ini_;
  testing::FakeWindow window_;
  testing::FakeClock clock_;
  FakeDdeTransport dde_;
  App app_{Services{&ini_, nullptr, &clock_, &window_, nullptr, &dde_, nullptr}, ""};
  DdeClientControl control_{&dde_};
};

// With the appraisal software not running, every operation but the poke ends without a word; how
// far each got shows in the properties it had set (the report topics set their item first).
TEST_F(ApxLinkTest, EachOperationSendsOneExchangeAndClosesItsLink) {
  const struct {
    std::string name;
    Op run;
    std::string log;  // the exchange between the initiate and the terminate
    std::string text;
    const char* no_server = nullptr;  // item and text then left from "old item", "old text"
  } cases[] = {
      {"ApxQueryActiveReports", [](App& a, Control& c) { ApxQueryActiveReports(a, c); },
       "APX|Query request ActiveReports", "RPT1,RPT2,", "old item old text"},
      {"ApxOpenReport", [](App& a, Control& c) { ApxOpenReport(a, c, "RPT1"); },
       "Apx|RPT1 request UserID", "appraiser", "UserID old text"},
      {"ApxListForms", [](App& a, Control& c) { ApxListForms(a, c, "RPT1"); },
       "APX|RPT1 request ListForms", "URAR,offscrn,"},
      {"ApxGetFieldInfo", [](App& a, Control& c) { ApxGetFieldInfo(a, c, "RPT1", "offscrn|3|3"); },
       "APX|RPT1 request offscrn|3|3", "a-1001 "},
      {"PokeText", [](App& a, Control& c) { PokeText(a, c, "APX|RPT1", "Offscrn|7|1", " 9 Elm "); },
       "APX|RPT1 poke Offscrn|7|1=9 Elm", "9 Elm", "Offscrn|7|1 9 Elm"},
      // Trims the address too, and does not wait after a poke that was taken.
      {"PokeText",
       [](App& a, Control& c) { ApxSendField(a, c, "APX|RPT1", " Offscrn|7|1 ", " 1 "); },
       "APX|RPT1 poke Offscrn|7|1=1", "1"},
      {"ApxSendScript", [](App& a, Control& c) { ApxSendScript(a, c, "  CloseScn.bas "); },
       "APX|System execute =[RunMacro(CloseScn.bas)]\r", "before", "old item old text"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dde_.clear_calls();
    control_.SetText("before");
    c.run(app_, control_);
    const std::vector<Call>& calls = dde_.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].op + calls[2].op, "initiateterminate");
    const Call& x = calls[1];
    EXPECT_EQ(x.service + "|" + x.topic + " " + x.op + " " + x.item + (x.data.empty() ? "" : "=") +
                  x.data,
              c.log);
    EXPECT_EQ(control_.Text(), c.text);
    EXPECT_EQ(control_.LinkMode(), 0);
    EXPECT_EQ(dde_.open_conversations(), 0);
    EXPECT_EQ(app_.CurrentProcName(), Padded(c.name));
    if (!c.no_server) continue;
    dde_.set_running(false);
    control_.SetLinkItem("old item");
    control_.SetText("old text");
    c.run(app_, control_);
    dde_.set_running(true);
    EXPECT_EQ(control_.LinkTopic() + " " + control_.LinkItem() + " " + control_.Text(),
              c.log.substr(0, c.log.find(' ')) + " " + c.no_server);
    EXPECT_EQ(control_.LinkMode(), 0);
    // Reported; Ignore goes on: the item and data are set, and the poke with no link raises 380,
    // which ends it quietly.
    ASSERT_EQ(window_.boxes.size(), c.name == "PokeText" ? 1u : 0u);
    if (c.name == "PokeText") {
      EXPECT_EQ(window_.boxes[0].text,
                DescribeError(kErrNoDdeServer) + ".\r\nError # 282 in module PokeText.");
    }
    window_.boxes.clear();
  }
  EXPECT_EQ(clock_.sleeps, 0);

  // A report list left in Text from an earlier exchange: tests/transfer (the send's ends).
  dde_.set_running(false);
  EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "offscrn|7|1"), "");
  EXPECT_TRUE(window_.boxes.empty());
  EXPECT_TRUE(dde_.CallsOf("request").empty());
}

// Errors other than the quiet ones reach the report, named after the procedure, and the answer
// decides: Ignore closes the link with the next step, Retry asks again, Abort leaves the link for
// the next operation to close.
TEST_F(ApxLinkTest, RefusalsAndTimeOutsFollowTheErrorReport) {
  dde_.Refuse("RPT1", "offscrn|99|1");
  dde_.Fail("RPT1", "offscrn|50|1", kErrDdeTimeout);
  dde_.Refuse("RPT1", "ListForms");
  dde_.FailExecute("System", kErrDdeRefused);
  const Op refused = [](App& a, Control& c) {
    c.SetText(ApxGetFieldInfo(a, c, "RPT1", "offscrn|99|1"));
  };
  const Op timed_out = [](App& a, Control& c) {
    c.SetText(ApxGetFieldInfo(a, c, "RPT1", "offscrn|50|1"));
  };
  const Op list = [](App& a, Control& c) { ApxListForms(a, c, "RPT1"); };
  const Op poke = [](App& a, Control& c) { PokeText(a, c, "APX|RPT1", "offscrn|99|1", "x"); };
  const Op script = [](App& a, Control& c) { ApxSendScript(a, c, "Bad.bas"); };
  const struct {
    std::string name;
    Op run;
    std::vector<Answer> answers;
    int error;  // 0: quiet
    int tries;  // requests, pokes or executes sent
    int link_mode;
    std::string text;
  } cases[] = {
      {"request 285", refused, {}, 0, 1, 2, ""},
      {"request 286 Ignore", timed_out, {Answer::kIgnore}, kErrDdeTimeout, 1, 0, ""},
      {"request 286 Retry", timed_out, {Answer::kRetry, Answer::kIgnore}, kErrDdeTimeout, 2, 0, ""},
      {"request 286 Abort", timed_out, {Answer::kAbort}, kErrDdeTimeout, 1, 2, ""},
      {"ListForms 285", list, {Answer::kIgnore}, kErrDdeRefused, 1, 0, "previous"},
      {"poke 285", poke, {Answer::kIgnore}, kErrDdeRefused, 1, 0, "x"},
      {"execute 285", script, {Answer::kIgnore}, kErrDdeRefused, 1, 0, "previous"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    window_.boxes.clear();
    window_.answers.assign(c.answers.begin(), c.answers.end());
    dde_.clear_calls();
    control_.SetText("previous");
    c.run(app_, control_);
    EXPECT_EQ(control_.Text(), c.text);
    int tries = 0;
    for (const Call& call : dde_.calls()) tries += call.op != "initiate" && call.op != "terminate";
    EXPECT_EQ(tries, c.tries);
    EXPECT_EQ(control_.LinkMode(), c.link_mode);
    ASSERT_EQ(window_.boxes.size(), c.answers.size());
    if (c.error) {
      EXPECT_NE(window_.boxes[0].text.find(std::to_string(c.error)), std::string::npos);
    }
    // The next operation's first step closes whatever was left open.
    ApxQueryActiveReports(app_, control_);
    EXPECT_EQ(dde_.open_conversations(), 0);
  }
}

// A list without a report name before its first comma: the ends of a read and a send
// (tests/transfer).
TEST_F(ApxLinkTest, ConnectTakesTheFirstReportAndItsForms) {
  const struct {
    std::string active_reports;
    bool open;
    std::vector<std::string> topics;  // of the initiates, after the query
  } cases[] = {
      {"RPT1,RPT2,", true, {"RPT1", "RPT1"}},
      {"", false, {}},
      {"RPT3,", true, {"RPT3", "RPT3"}},  // not served: quiet 282, the answer stays
  };
  dde_.ServeOnlyTopics({"Query", "RPT1", "RPT2"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.active_reports);
    dde_.SetAnswer("Query", "ActiveReports", c.active_reports);
    dde_.clear_calls();
    EXPECT_EQ(ApxReportIsOpen(app_, control_), c.open);
    std::vector<std::string> topics;
    for (const Call& call : dde_.CallsOf("initiate")) {
      if (call.topic != "Query") topics.push_back(call.topic);
    }
    EXPECT_EQ(topics, c.topics);
  }
  EXPECT_TRUE(window_.boxes.empty());

  // The form list stays in Text for the caller.
  dde_.SetAnswer("Query", "ActiveReports", "RPT1,RPT2,");
  ApxConnectReport(app_, control_);
  EXPECT_EQ(control_.Text(), "URAR,offscrn,");
  EXPECT_EQ(dde_.CallsOf("request").back().item, "ListForms");

  dde_.SetAnswer("RPT1", "ListForms", "  ");
  EXPECT_FALSE(ApxReportIsOpen(app_, control_));

  // The empty field's answer is no value; any other text comes back as received. An address
  // without a form asks nothing.
  for (const auto& [answer, result] : {std::pair{"\r\n", ""}, {"\r\n\r\n", "\r\n\r\n"}}) {
    dde_.SetAnswer("RPT1", "offscrn|8|1", answer);
    EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", "offscrn|8|1"), result);
  }
  EXPECT_TRUE(window_.boxes.empty());
  for (const char* address : {"   ", " |3|1"}) {
    dde_.clear_calls();
    control_.SetText("kept");
    EXPECT_EQ(ApxGetFieldInfo(app_, control_, "RPT1", address), "") << address;
    EXPECT_TRUE(dde_.calls().empty()) << address;
    EXPECT_EQ(control_.Text(), "kept");
    EXPECT_EQ(app_.CurrentProcName(), Padded("ApxGetFieldInfo"));
  }
}

// A poke that failed before its data was set leaves "NULL" in Text, and the wait lasts until the
// seconds clock has passed the start second (rounded, halves to even) plus one: never spinning,
// never longer than about a second and a half (the monotonic clock's bound), midnight included.
TEST_F(ApxLinkTest, WaitAfterAFailedPokeIsBounded) {
  dde_.set_running(false);
  const struct {
    double start_clock, min_wait, max_wait;
    double clock_after_sleep = -1;  // where a sleep leaves the seconds clock; -1: it runs
  } cases[] = {
      {100.0, 1.0, 1.02},    // start 100: until past 101
      {100.5, 0.5, 0.52},    // half: to the even 100
      {101.5, 1.5, 1.52},    // half: to the even 102
      {86399.2, 0.8, 0.82},  // start 86399: the clock wraps to 0 before passing 86400
      {86399.7, 1.3, 1.32},  // start 86400: the clock never reads 86401
      {500.0, 0.0, 1.52, 400.0},  // set back: the monotonic clock still ends it
      {500.0, 0.99, 1.52, 500.99},  // reading the start second plus one exactly is not past it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.start_clock);
    clock_.SetSecondsSinceMidnight(c.start_clock);
    clock_.on_sleep = [&](std::chrono::milliseconds) {
      if (c.clock_after_sleep >= 0) clock_.SetSecondsSinceMidnight(c.clock_after_sleep);
    };
    clock_.sleeps = 0;
    window_.answers = {Answer::kAbort};  // the report of 282: leave before the data is set
    const double before = clock_.monotonic();
    ApxSendCompField(app_, control_, "APX|RPT1", "offscrn|7|1", "x");
    const double waited = clock_.monotonic() - before;
    EXPECT_EQ(control_.Text(), "NULL");
    EXPECT_GE(waited, c.min_wait - 0.005);  // the fake's sums of 10 ms steps are not exact
    EXPECT_LE(waited, c.max_wait);
    EXPECT_GT(clock_.sleeps, 0);
    EXPECT_LE(clock_.sleeps, 160);
  }
  clock_.on_sleep = nullptr;

  // Ignore at the report lets the poke set its data (and end on 380): no wait.
  clock_.sleeps = 0;
  window_.answers = {Answer::kIgnore};
  ApxSendCompField(app_, control_, "APX|RPT1", "offscrn|7|1", " y ");
  EXPECT_EQ(control_.Text(), "y");
  EXPECT_EQ(clock_.sleeps, 0);
}

// What the link check found, as one line: report open, report, form, file number item and value,
// the XFR.INI sections without an entry for the form.
std::string Found(const LinkCheck& c) {
  std::string s = (c.report_open ? "open " : "closed ") + c.report + " " + c.form + " " +
                  c.file_number_item + " " + c.file_number + " missing";
  for (const std::string& section : c.missing_entries) s += " " + section;
  return s;
}

TEST_F(ApxLinkTest, LinkCheckFindsReportFormAndFileNumber) {
  app_.config.XfrIni = "C:\\WINDOWS\\XFR.INI";
  ini_.Set(app_.config.XfrIni, "FORM", "URAR", "URAR");
  ini_.Set(app_.config.XfrIni, "MAPREF", "URAR", "25|1");
  EXPECT_EQ(Found(LinkTest(app_, control_)),
            "open RPT1 URAR offscrn|3|3 A-1001 missing CENSUS OWNER");
  dde_.SetAnswer("Query", "ActiveReports", "RPT2,");
  dde_.SetAnswer("RPT2", "znaprof|3|1", " z-7\r\n");
  EXPECT_EQ(Found(LinkTest(app_, control_)),
            "open RPT2 ZNA znaprof|3|1 Z-7\r\n missing FORM CENSUS MAPREF OWNER");
  dde_.SetAnswer("Query", "ActiveReports", "RPT3,");  // a report without a form: no entries
  dde_.SetAnswer("RPT3", "ListForms", "NONE,");
  EXPECT_EQ(Found(LinkTest(app_, control_)), "open RPT3 NONE offscrn|3|3  missing");
  dde_.set_running(false);
  EXPECT_EQ(Found(LinkTest(app_, control_)), "closed     missing");
  EXPECT_TRUE(window_.boxes.empty());
}

}  // namespace
}  // namespace xfr
