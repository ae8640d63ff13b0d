// Nothing written that the person did not mean: the window, the read and the send against copies
// of the fixture tables through the real engine, each case followed by a record-by-record
// comparison of the three tables with what they held before.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "campaign/real_office.h"
#include "platform/xbase/fault_env.h"
#include "store/lookup.h"
#include "transfer/field_sizing.h"
#include "transfer/read_driver.h"
#include "transfer/send_driver.h"

namespace xfr::campaign {
namespace {

using Strings = std::vector<std::string>;

struct Ctx {
  RealOffice& office;
  xbase::FaultEnv& env;
  const std::string& dir;
  FrmMain& f() { return office.form(); }
};

struct Case {
  const char* name;
  std::function<void(Ctx&)> act;  // after the start; the window is closed afterwards
  Strings changes;                // Changes() of the three tables
  std::string boxes;              // every box shown, joined by " | "
  int pokes = -1;                 // pokes sent (-1: not checked)
  std::string details = "";       // part of the first box's details
};

// Each case on fresh copies of the tables, record 2 (24-00102) as another program left it: text
// with leading blanks, as legacy data has.
void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    CopyTrackingTables(dir.path());
    ASSERT_TRUE(WriteRecord(dir / "PROPERTY.DBF", 2,
                            {{"PR_STREET", "  77 Peachtree Cir NE"},
                             {"PR_CITY", "  Atlanta"},
                             {"PR_OWNER", "  Margaret A. Holloway"},
                             {"PR_LOT", " 12"}}));
    const TableDump before = DumpTables(dir.path());
    xbase::FaultEnv env(xbase::Env::Default());
    {
      RealOffice office(dir.path(), &env);
      office.window.yes_no_default = Answer::kYes;
      ASSERT_EQ(office.Start(), Ended::kNormally) << office.Boxes();
      office.dde.clear_calls();
      Ctx run{office, env, dir.path()};
      c.act(run);
      const std::string details = office.window.boxes.empty() ? "" : office.window.boxes[0].details;
      EXPECT_NE(details.find(c.details), std::string::npos) << details;
      office.Close();
      EXPECT_EQ(office.Boxes(), c.boxes);
      if (c.pokes >= 0) { EXPECT_EQ(static_cast<int>(office.dde.CallsOf("poke").size()), c.pokes); }
    }
    Strings changes = Changes(before, DumpTables(dir.path())), want = c.changes;
    std::sort(changes.begin(), changes.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(changes, want);
    EXPECT_EQ(CheckTables(dir.path()), "");
  }
}

// The report of job 24-00102 as record 2 holds it, but for a new street.
void ServeJob2(RealOffice& o, const std::string& dir) {
  std::map<std::string, std::string> field;  // "NAME=value" of record 2, by name
  const TableDump dump = DumpTables(dir);
  for (const std::string& f : dump.at("PROPERTY")[1]) {
    field[f.substr(0, f.find('='))] = f.substr(f.find('=') + 1);
  }
  const std::pair<const char*, const char*> items[] = {
      {"offscrn|8|1", "PR_CITY"},    {"offscrn|8|3", "PR_STATE"},   {"offscrn|8|4", "PR_ZIP"},
      {"offscrn|8|2", "PR_COUNTY"},  {"offscrn|24|1", "PR_SUBDIV"}, {"URAR|25|2", "PR_CENSUS"},
      {"URAR|25|1", "PR_MAP_REF"},   {"offscrn|2|3", "PR_REF_NUM"}, {"offscrn|11|1", "PR_APPRVAL"},
      {"offscrn|6|1", "PR_BORROWR"}, {"URAR|5|1", "PR_OWNER"},      {"offscrn|13|1", "CLI_NUM"}};
  for (const auto& [item, name] : items) o.dde.SetAnswer("RPT1", item, field[name]);
  const std::string d = field["PR_DFINISH"];  // YYYYMMDD
  o.dde.SetAnswer("RPT1", "offscrn|11|2",
                  d.substr(4, 2) + "/" + d.substr(6, 2) + "/" + d.substr(0, 4));
  o.dde.SetAnswer("RPT1", "offscrn|3|3", "24-00102");
  o.dde.SetAnswer("RPT1", "offscrn|7|1", "1200 New Street Rd");
  o.ini.Set("C:\\WINDOWS\\XFR.INI", "FORM", "URAR", field["ASS_TYPE"]);
}

constexpr const char* kAddQuestion = "NEW-01 was not found.  Add?";
constexpr const char* kClientLocked =
    "The record is locked by another user (CLIENT.DBF: the table's header lock is held by "
    "another program).\r\nError # 3260 in module AddClientRecord.";

// The client table's header lock held by another program through the read; answered `answer`,
// the lock is let go when the error box is up.
void ReadWithClientLocked(Ctx& r, Answer answer) {
  xbase::table_testing::ForeignLock lock(r.dir + "/CLIENT.DBF", xbase::kIndexedHeaderLock, 1);
  ASSERT_TRUE(lock.held());
  r.office.window.error_default = answer;
  r.office.window.on_box = [&](const testing::ShownBox& b) {
    if (b.buttons == Buttons::kAbortRetryIgnore) lock.Release();
  };
  r.office.Read();
}

// Only a person's edit in a box, or a transfer's own write, writes a record: an update takes
// every captured value, and looking at a record leaves it alone. When something fails or races
// the read or the send, the wrong job is never sent, a half-captured report is never written,
// Retry and Ignore at a client write do what they say, and a job or client another program adds
// meanwhile is not added twice (how each end of a read or a send leaves the window, with what it
// wrote and sent: transfer_ends_test.cc).
TEST(FailurePaths, ReadAndSendWriteAndSendOnlyWhatWasMeant) {
  const std::string kIncomplete(kIncompleteCaptureMessage);
  RunCases(
      {
          {"showing a lower-case file number", [](Ctx& r) { GoToJob(r.f(), "ac24-104"); }, {}, ""},
          {"showing a job whose lot has a leading blank",
           [](Ctx& r) { GoToJob(r.f(), "24-00102"); }, {}, ""},
          {"a person's edit is written, a typed key upper-cased",
           [](Ctx& r) {
             GoToJob(r.f(), "24-00103");
             r.f().txtPR_Street.Type("  9 Typed Ln");
             r.f().txtCli_Num.Type("amc01");
             GoToJob(r.f(), "24-00105");
           },
           {"PROPERTY 3 PR_STREET=9 Typed Ln", "PROPERTY 3 CLI_NUM=AMC01"},
           ""},
          {"a move whose save failed finds nothing, so no other job is sent",
           [](Ctx& r) {
             GoToJob(r.f(), "ac24-104");
             r.f().txtPR_Street.Type("x");
             r.env.FailWrite(1);
             if (GoToJob(r.f(), "24-00105")) cmdSend_Click(r.f());
           },
           {"PROPERTY 4 PR_STREET=x"},
           "24-00105 was not found.",
           0},
          {"a file number not in the tables is not sent",
           [](Ctx& r) { if (GoToJob(r.f(), " 24-99999")) cmdSend_Click(r.f()); }, {},
           "24-99999 was not found.", 0},
          {"a capture request timing out, answered Abort, on a job that exists",
           [](Ctx& r) {
             ServeJob2(r.office, r.dir);
             r.office.dde.Fail("RPT1", "offscrn|8|4", kErrDdeTimeout);
             r.office.Read();
           },
           {},
           DescribeError(kErrDdeTimeout) + ".\r\nError # 286 in module ApxGetFieldInfo. | " +
               kIncomplete},
          {"a client write refused, answered Retry once the lock is free",
           [](Ctx& r) { ReadWithClientLocked(r, Answer::kRetry); },
           {"PROPERTY +41 FILE_NUM=NEW-01 CLI_NUM=NEW01", "CLIENT +16 CLI_NUM=NEW01",
            "INVOICE +31 INV_NUM=NEW-01"},
           std::string(kAddQuestion) + " | " + kClientLocked},
          {"a client write refused, answered Ignore",
           [](Ctx& r) { ReadWithClientLocked(r, Answer::kIgnore); },
           {"PROPERTY +41 FILE_NUM=NEW-01 CLI_NUM=", "INVOICE +31 INV_NUM=NEW-01"},
           std::string(kAddQuestion) + " | " + kClientLocked},
          {"a client write refused, answered Abort",
           [](Ctx& r) { ReadWithClientLocked(r, Answer::kAbort); },
           {"PROPERTY +41 FILE_NUM=NEW-01 CLI_NUM="},
           std::string(kAddQuestion) + " | " + kClientLocked},
          {"another program adds the job while Add? is up: it is updated",
           [](Ctx& r) {
             r.office.window.on_box = [&r](const testing::ShownBox& b) {
               if (b.text != kAddQuestion) return;
               WriteRecord(r.dir + "/PROPERTY.DBF", 0, {{"FILE_NUM", "NEW-01"}});
             };
             r.office.Read();
             // and the read ends as any other: the animation stopped, the status line cleared
             EXPECT_FALSE(r.f().aniCopy.visible || r.office.window.statuses.back() != "");
           },
           {"PROPERTY +41 FILE_NUM=NEW-01 CLI_NUM=NEW01", "CLIENT +16 CLI_NUM=NEW01"},
           std::string(kAddQuestion) + " | NEW-01 was found.  Update?"},
          {"another program adds the client just before the read's append: it is linked",
           [](Ctx& r) {
             r.f().datclient.Validate = [&r](int& action, int& save) {
               if (action == DataControl::kActionWrite) {
                 WriteRecord(r.dir + "/CLIENT.DBF", 0, {{"CLI_NUM", "NEW01"}});
               }
               datclient_Validate(r.f(), action, save);
             };
             r.office.Read();
           },
           {"PROPERTY +41 FILE_NUM=NEW-01 CLI_NUM=NEW01", "CLIENT +16 CLI_NUM=NEW01",
            "INVOICE +31 INV_NUM=NEW-01"},
           kAddQuestion},
      });
}

// The read answered Yes, then again answered No: nothing is left to change.
void ReadTwice(RealOffice& o) {
  o.Read();
  o.window.yes_no_default = Answer::kNo;
  o.Read();
  EXPECT_TRUE(o.window.boxes.back().details.starts_with("No field of the job would change."));
}

std::string NotHeld(const std::string& what, const std::string& where, const std::string& as) {
  return "The " + what + " cannot be written to " + where +
         ": the table cannot hold some of its characters and would store \"" + as +
         "\".  Change it in the appraisal report and read again.  Nothing was written.";
}

// The tables' code page is 1252. The details before Update? and Add? show each value as its field
// then holds it, marked where the report has it otherwise; a later read finds nothing to change.
// A file or client number a table cannot hold exactly ends the read before its question.
TEST(FailurePaths, DetailsShowWhatTheRecordsThenHold) {
  static const std::string s45(45, 's'), q = "\"?\" stands for a character the table cannot hold";
  RunCases({
      {"an update takes the report's values: no leading blanks, substitutes, a cut, 1252 kept",
       [](Ctx& r) {
         ServeJob2(r.office, r.dir);
         r.office.dde.SetAnswer("RPT1", "offscrn|8|2", "Łódź");
         r.office.dde.SetAnswer("RPT1", "offscrn|6|1", "Zoë Œuvre €5");
         r.office.dde.SetAnswer("RPT1", "offscrn|7|1", "北京 " + s45);
         r.office.dde.SetAnswer("RPT1", "offscrn|13|1", "北京");  // not used: the job has a client
         ReadTwice(r.office);
       },
       {"PROPERTY 2 PR_STREET=?? " + s45.substr(8), "PROPERTY 2 PR_CITY=Atlanta",
        "PROPERTY 2 PR_COUNTY=?ód?", "PROPERTY 2 PR_OWNER=Margaret A. Holloway",
        "PROPERTY 2 PR_BORROWR=Zoë Œuvre €5"},
       "24-00102 was found.  Update? | 24-00102 was found.  Update?", -1,
       "PR_STREET: \"  77 Peachtree Cir NE\" -> \"?? " + s45.substr(8) + "\" (the report has \"北京 " +
           s45 + "\"; " + q + "; cut to 40 characters)\nPR_CITY: \"  Atlanta\" -> \"Atlanta\"\n"
           "PR_COUNTY: \"Fulton\" -> \"?ód?\" (the report has \"Łódź\"; " + q + ")\nPR_OWNER: "
           "\"  Margaret A. Holloway\" -> \"Margaret A. Holloway\"\nPR_BORROWR: \"Margaret A. "
           "Holloway\" -> \"Zoë Œuvre €5\"\nClient: stays 10002"},
      {"an add: the new client's fields too",
       [](Ctx& r) {
         r.office.dde.SetAnswer("RPT1", "offscrn|14|1", "Zoë 北京");
         ReadTwice(r.office);
         EXPECT_EQ(CountLive(r.dir, "CLIENT", "CLI_LNAME=Zoë ??"), 1);
       },
       {"PROPERTY +41 FILE_NUM=NEW-01 CLI_NUM=NEW01", "CLIENT +16 CLI_NUM=NEW01",
        "INVOICE +31 INV_NUM=NEW-01"},
       std::string(kAddQuestion) + " | NEW-01 was found.  Update?", -1,
       "Client: none -> NEW01 (a new client, added from the report)\n  CLI_NUM: \"NEW01\"\n  "
       "CLI_LNAME: \"Zoë ??\" (the report has \"Zoë 北京\"; " + q + ")"},
      {"a file number the table cannot hold",
       [](Ctx& r) { r.office.dde.SetAnswer("RPT1", "offscrn|3|3", "24-北京"); r.office.Read(); },
       {}, NotHeld("file number \"24-北京\"", "FILE_NUM of PROPERTY.DBF", "24-??")},
      {"a new job's client number the table cannot hold, a new one, then one it holds as \"??\"",
       [](Ctx& r) {
         r.office.dde.SetAnswer("RPT1", "offscrn|13|1", "北京");
         r.office.Read();
         WriteRecord(r.dir + "/CLIENT.DBF", 0, {{"CLI_NUM", "??"}});
         r.office.Read();
       },
       {"CLIENT +16 CLI_NUM=??"},
       NotHeld("client number \"北京\"", "CLI_NUM of CLIENT.DBF", "??") + " | " +
           NotHeld("client number \"北京\"", "CLI_NUM of CLIENT.DBF", "??")},
      {"a file number the invoices' code page (made 437, which has no \"€\") cannot hold",
       [](Ctx& r) {
         std::fstream dbf(r.dir + "/INVOICE.DBF", std::ios::in | std::ios::out | std::ios::binary);
         dbf.seekp(29) << '\x01' << std::flush;  // the code page mark
         r.office.Start();
         r.office.dde.SetAnswer("RPT1", "offscrn|3|3", "24-€");
         r.office.Read();
       },
       {}, NotHeld("file number \"24-€\"", "INV_NUM of INVOICE.DBF", "24-?")},
  });
}

}  // namespace
}  // namespace xfr::campaign
