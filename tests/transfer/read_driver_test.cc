// The read command over the fake office: the add and update branches, the questions, the early
// ends, the ZNA form, and what an error leaves behind.
#include "transfer/read_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "shell/error_report.h"
#include "transfer/read_office.h"

namespace xfr {
namespace {

using testing::ReadOffice;

std::string Pad(const std::string& s, std::size_t width) {
  return s + std::string(width > s.size() ? width - s.size() : 0, ' ');
}

bool Contains(const std::vector<std::string>& items, const std::string& item) {
  return std::find(items.begin(), items.end(), item) != items.end();
}

// The state every finished or abandoned read must leave.
void ExpectIdle(ReadOffice& o) {
  FrmMain& f = o.Form();
  ASSERT_FALSE(o.window.pointers.empty());
  EXPECT_EQ(o.window.pointers.front(), Pointer::kHourglass);
  EXPECT_EQ(o.window.pointers.back(), Pointer::kDefault);
  EXPECT_FALSE(f.aniCopy.visible);
  EXPECT_FALSE(f.imgApxIco.visible);
  EXPECT_FALSE(f.imgTrkIco.visible);
  for (DataControl* dc : {&f.datproperty, &f.datclient, &f.datinvoice}) {
    if (dc->IsOpen()) EXPECT_EQ(dc->GetEditMode(), EditMode::kNone) << dc->name();
  }
}

TEST(CmdRead, AddsPropertyNewClientAndInvoice) {
  ReadOffice o;
  FrmMain& f = o.Start();
  std::size_t clients = o.client->records.size();
  std::size_t invoices = o.invoice->records.size();
  CmdRead_Click(f);

  ASSERT_EQ(o.window.boxes.size(), 1u);
  EXPECT_EQ(o.window.boxes[0].text, "NEW-01 was not found.  Add?");
  EXPECT_EQ(o.window.boxes[0].title, "Record Found");
  EXPECT_EQ(o.window.boxes[0].buttons, Buttons::kYesNo);

  EXPECT_EQ(o.Prop("NEW-01", "FILE_NUM"), "NEW-01  ");
  EXPECT_EQ(o.Prop("NEW-01", "PR_STREET"), Pad("12 Main St", 30));
  EXPECT_EQ(o.Prop("NEW-01", "PR_COUNTY"), Pad("DeKalb", 20));
  EXPECT_EQ(o.Prop("NEW-01", "PR_CENSUS"), Pad("0225.01", 10));
  EXPECT_EQ(o.Prop("NEW-01", "PR_MAP_REF"), Pad("15-234-01", 15));
  EXPECT_EQ(o.Prop("NEW-01", "PR_OWNER"), Pad("Sam Seller", 30));
  EXPECT_EQ(o.Prop("NEW-01", "PR_BORROWR"), Pad("Pat Buyer", 30));
  EXPECT_EQ(o.Prop("NEW-01", "ASS_TYPE"), "URAR 1004 ");
  EXPECT_EQ(o.Prop("NEW-01", "PR_DFINISH"), "3/7/2025");
  EXPECT_EQ(o.Prop("NEW-01", "PR_APPRVAL"), "250000");  // not 250
  EXPECT_EQ(o.Prop("NEW-01", "INV_NUM"), "NEW-01  ");
  EXPECT_EQ(o.Prop("NEW-01", "CLI_NUM"), "NEW01");

  ASSERT_EQ(o.client->records.size(), clients + 1);
  int c = static_cast<int>(clients);
  EXPECT_EQ(o.client->Text(c, "CLI_NUM"), "NEW01");
  EXPECT_EQ(o.client->Text(c, "PLAIN_NAME"), "New Lender Inc");
  EXPECT_EQ(o.client->Text(c, "CLI_LNAME"), "New Lender Inc");
  EXPECT_EQ(o.client->Text(c, "CLI_CONT"), "Lee Contact");
  ASSERT_EQ(o.invoice->records.size(), invoices + 1);
  EXPECT_EQ(o.invoice->Text(static_cast<int>(invoices), "INV_NUM"), "NEW-01");

  // The window shows the new job and its client.
  EXPECT_EQ(f.txtPR_Street.text, "12 Main St");
  EXPECT_EQ(f.txtPlain_Name.text, "New Lender Inc");
  for (TextBox* b : f.ClientBoxes()) EXPECT_TRUE(b->visible) << b->name;
  EXPECT_EQ(o.window.statuses, (std::vector<std::string>{"", "Transferring data to Tracking", ""}));
  EXPECT_FALSE(f.LblMsg.visible);
  EXPECT_EQ(o.window.pointers, (std::vector<Pointer>{Pointer::kHourglass, Pointer::kDefault}));
  ExpectIdle(o);
}

TEST(CmdRead, AddBranchClientCases) {
  struct Case {
    std::string captured;  // offscrn|13|1
    std::string linked;    // PROPERTY CLI_NUM afterwards
    int new_clients;
    std::string message;  // "" for none
    bool boxes_visible;
  } cases[] = {
      {"10004", "10004", 0, "", true},    // existing client: linked, not rewritten
      {" amc01 ", "AMC01", 0, "", true},  // case and blanks of the client number
      {"abc", "ABC", 1, "", true},        // new, lower case: stored upper
      {"", "", 0,
       "The Client ID () must be one to five (1 - 5) characters in length for the "
       "client data to transfer.",
       true},
      {"123456", "", 0,
       "The Client ID (123456) must be one to five (1 - 5) characters in "
       "length for the client data to transfer.",
       true},
  };
  for (const Case& c : cases) {
    ReadOffice o;
    o.Field("offscrn|13|1", c.captured);
    FrmMain& f = o.Start();
    std::string bank_before = o.client->Text(0, "PLAIN_NAME");
    std::size_t clients = o.client->records.size();
    std::size_t invoices = o.invoice->records.size();
    CmdRead_Click(f);
    EXPECT_EQ(o.Prop("NEW-01", "CLI_NUM"), c.linked) << c.captured;
    EXPECT_EQ(o.client->records.size(), clients + c.new_clients) << c.captured;
    EXPECT_EQ(o.client->Text(0, "PLAIN_NAME"), bank_before) << c.captured;
    EXPECT_EQ(o.invoice->records.size(), invoices + 1) << "invoice added anyway: " << c.captured;
    ASSERT_EQ(o.window.boxes.size(), c.message.empty() ? 1u : 2u) << c.captured;
    if (!c.message.empty()) {
      EXPECT_EQ(o.window.boxes[1].text, c.message);
      EXPECT_EQ(o.window.boxes[1].buttons, Buttons::kOk);
      EXPECT_EQ(o.window.boxes[1].title, kAppTitle);
    }
    ExpectIdle(o);
  }
}

TEST(CmdRead, AddWithExistingInvoiceAddsNoSecond) {
  ReadOffice o;
  o.invoice->Append({"NEW-01"});
  FrmMain& f = o.Start();
  std::size_t invoices = o.invoice->records.size();
  CmdRead_Click(f);
  EXPECT_NE(o.PropertyRow("NEW-01"), -1);
  EXPECT_EQ(o.invoice->records.size(), invoices);
}

TEST(CmdRead, UpdateKeepsClientInvoiceAndInvNum) {
  ReadOffice o;
  o.Field("offscrn|3|3", "24-00101");
  o.Field("offscrn|13|1", "AMC01");  // the report names another client
  o.Field("offscrn|7|1", "");        // an empty capture clears the street
  o.Field("offscrn|11|2", "");       // no completion date: the stored one stays
  o.property->records[0][22] = Date{2024, 1, 18};
  o.property->records[0][25] = std::string("INV24001");
  FrmMain& f = o.Start();
  std::size_t rows = o.property->records.size();
  std::size_t clients = o.client->records.size();
  std::size_t invoices = o.invoice->records.size();
  CmdRead_Click(f);
  ASSERT_EQ(o.window.boxes.size(), 1u);
  EXPECT_EQ(o.window.boxes[0].text, "24-00101 was found.  Update?");
  EXPECT_EQ(o.window.boxes[0].title, "Record Found");
  EXPECT_EQ(o.property->records.size(), rows);
  EXPECT_EQ(o.Prop("24-00101", "CLI_NUM"), "10004");
  EXPECT_EQ(o.Prop("24-00101", "INV_NUM"), "INV24001");
  EXPECT_EQ(o.Prop("24-00101", "PR_STREET"), std::string(30, ' '));
  EXPECT_EQ(o.Prop("24-00101", "PR_CITY"), Pad("Decatur", 20));
  EXPECT_EQ(o.Prop("24-00101", "PR_DFINISH"), "1/18/2024");
  EXPECT_EQ(o.client->records.size(), clients);
  EXPECT_EQ(o.invoice->records.size(), invoices);
  EXPECT_EQ(f.txtPlain_Name.text, "First Bank of Decatur");
  EXPECT_TRUE(f.txtCli_LName.visible);
  ExpectIdle(o);
}

TEST(CmdRead, UpdateOfLowerCaseJobWithoutClientLinksTheCapturedOne) {
  ReadOffice o;
  o.Field("offscrn|3|3", " Ac24-104 ");
  o.Field("offscrn|13|1", "10004");
  FrmMain& f = o.Start();
  CmdRead_Click(f);
  EXPECT_EQ(o.window.boxes.at(0).text, "AC24-104 was found.  Update?");
  // The record keeps the normalised file number.
  EXPECT_EQ(o.property->Text(1, "FILE_NUM"), "AC24-104");
  EXPECT_EQ(o.property->Text(1, "CLI_NUM"), "10004");
  EXPECT_EQ(o.property->Text(1, "INV_NUM"), "AC24-104");  // was blank
  EXPECT_EQ(f.txtPlain_Name.text, "First Bank of Decatur");
}

TEST(CmdRead, NoWritesNothingAndStillEndsWhenAutoExitIsSet) {
  struct Case {
    std::string file_num;
    int auto_exit;
  } cases[] = {{"new-01", 0}, {"new-01", 1}, {"24-00101", 0}, {"24-00101", 2}};
  for (const Case& c : cases) {
    ReadOffice o;
    o.ini.Set(testing::kXfrIni, "PREFERENCES", "AUTOEXIT", std::to_string(c.auto_exit));
    o.Field("offscrn|3|3", c.file_num);
    o.window.yes_no_default = Answer::kNo;
    FrmMain& f = o.Start();
    int writes = o.property->writes + o.client->writes + o.invoice->writes;
    bool ended = false;
    try {
      CmdRead_Click(f);
    } catch (const EndProgram&) {
      ended = true;
    }
    EXPECT_EQ(ended, c.auto_exit != 0) << c.file_num << " " << c.auto_exit;
    EXPECT_EQ(o.property->writes + o.client->writes + o.invoice->writes, writes) << c.file_num;
    EXPECT_EQ(o.window.statuses.back(), "") << c.file_num;
    EXPECT_EQ(f.lblPr_Street.caption, "12 Main St");  // the labels hold the capture
    ExpectIdle(o);
  }
}

TEST(CmdRead, EarlyEnds) {
  const std::string no_form =
      "You must have an appraisal form (the actual report) running before the data can be "
      "transferred into the Tracking program.";
  struct Case {
    std::string name;
    std::function<void(ReadOffice&)> script;
    std::string message;  // the one box shown, "" for none
    std::string status;   // the status line left visible, "" for hidden
  } cases[] = {
      {"no server", [](ReadOffice& o) { o.dde.set_running(false); }, "", ""},
      {"NONE form", [](ReadOffice& o) { o.Report("RPT1", " none "); }, no_form, ""},
      // No comma: no report named, the empty report name gives the message.
      {"no comma", [](ReadOffice& o) { o.dde.SetAnswer("Query", "ActiveReports", "RPT1"); },
       no_form, ""},
      {"empty file number", [](ReadOffice& o) { o.Field("offscrn|3|3", "   "); }, "",
       "The Appraisal must have a file number before transferring into Tracking."},
      {"nine characters", [](ReadOffice& o) { o.Field("offscrn|3|3", " abcd-1234 "); },
       "The file number ABCD-1234 must not be greater than eight (8) characters in length.", ""},
  };
  for (const Case& c : cases) {
    ReadOffice o;
    o.ini.Set(testing::kXfrIni, "PREFERENCES", "AUTOEXIT", "1");
    c.script(o);
    FrmMain& f = o.Start();
    int writes = o.property->writes + o.client->writes + o.invoice->writes;
    EXPECT_NO_THROW(CmdRead_Click(f)) << c.name;  // an early end never ends the program
    EXPECT_EQ(o.property->writes + o.client->writes + o.invoice->writes, writes) << c.name;
    if (c.message.empty()) {
      EXPECT_TRUE(o.window.boxes.empty()) << c.name;
    } else {
      ASSERT_EQ(o.window.boxes.size(), 1u) << c.name;
      EXPECT_EQ(o.window.boxes[0].text, c.message);
      EXPECT_EQ(o.window.boxes[0].title, kAppTitle);
    }
    EXPECT_EQ(f.LblMsg.visible, !c.status.empty()) << c.name;
    if (!c.status.empty()) EXPECT_EQ(f.LblMsg.caption, c.status);
    EXPECT_EQ(o.window.pointers, (std::vector<Pointer>{Pointer::kHourglass, Pointer::kDefault}))
        << c.name;
    EXPECT_FALSE(f.aniCopy.visible) << c.name;
    EXPECT_FALSE(Contains(o.Requested(), "offscrn|7|1")) << c.name;
  }
}

TEST(CmdRead, ReportClosedBetweenTheQueriesShowsTheFormMessage) {
  // The open-report test saw a report; by the next query it is gone (no comma, no name).
  ReadOffice o;
  int queries = 0;
  o.dde.set_on_call([&](const FakeDdeTransport::Call& call) {
    if (call.op == "request" && call.item == "ActiveReports" && ++queries == 2) {
      o.dde.SetAnswer("Query", "ActiveReports", "RPT1");
    }
  });
  FrmMain& f = o.Start();
  CmdRead_Click(f);
  ASSERT_EQ(o.window.boxes.size(), 1u);
  EXPECT_EQ(o.window.boxes[0].text.substr(0, 31), "You must have an appraisal form");
  EXPECT_FALSE(Contains(o.Requested(), "offscrn|3|3"));
  ExpectIdle(o);
}

TEST(CmdRead, EightCharacterFileNumberIsAccepted) {
  ReadOffice o;
  o.Field("offscrn|3|3", "abcd-123");
  FrmMain& f = o.Start();
  CmdRead_Click(f);
  EXPECT_EQ(o.window.boxes.at(0).text, "ABCD-123 was not found.  Add?");
  EXPECT_NE(o.PropertyRow("ABCD-123"), -1);
}

TEST(CmdRead, ZnaFormKeepsClientLabelsAndLinksNoClient) {
  for (bool update : {false, true}) {
    ReadOffice o;
    o.Report("RPT1", " zna ");
    o.Field("znaprof|3|1", update ? "ac24-104" : "zna-7");
    o.Field("offscrn|3|3", "WRONG");
    FrmMain& f = o.Start();
    // Labels left by an earlier read of another job.
    f.lblCli_Num.caption = "10004";
    f.lblPlain_Name.caption = "First Bank of Decatur";
    std::size_t clients = o.client->records.size();
    std::size_t invoices = o.invoice->records.size();
    CmdRead_Click(f);
    std::string file_num = update ? "AC24-104" : "ZNA-7";
    EXPECT_EQ(f.lblFile_Num.caption, file_num);
    EXPECT_EQ(f.lblCli_Num.caption, "10004");
    EXPECT_EQ(f.lblPlain_Name.caption, "First Bank of Decatur");
    std::vector<std::string> asked = o.Requested();
    EXPECT_TRUE(Contains(asked, "znaprof|3|1"));
    EXPECT_FALSE(Contains(asked, "offscrn|3|3"));
    EXPECT_TRUE(Contains(asked, "offscrn|7|1"));
    for (const char* item : {"offscrn|13|1", "offscrn|14|1", "offscrn|20|3"}) {
      EXPECT_FALSE(Contains(asked, item)) << item;
    }
    int row = update ? 1 : o.PropertyRow(file_num);
    ASSERT_GE(row, 0);
    EXPECT_EQ(o.property->Text(row, "CLI_NUM"), "") << update;
    EXPECT_EQ(o.property->Text(row, "PR_STREET"), Pad("12 Main St", 30));
    EXPECT_EQ(o.client->records.size(), clients);
    EXPECT_EQ(o.invoice->records.size(), invoices + (update ? 0 : 1)) << update;
    ExpectIdle(o);
  }
}

TEST(CmdRead, AddThatFailsAddsNoInvoiceForAnotherJob) {
  ReadOffice o;
  o.window.error_default = Answer::kAbort;
  FrmMain& f = o.Start();
  o.property->fail_next["Update"] = {kErrRecordLocked};
  std::size_t invoices = o.invoice->records.size();
  std::size_t rows = o.property->records.size();
  CmdRead_Click(f);
  ASSERT_EQ(o.window.boxes.size(), 2u);
  EXPECT_NE(o.window.boxes[1].text.find("in module AddRecord."), std::string::npos)
      << o.window.boxes[1].text;
  EXPECT_EQ(o.property->records.size(), rows);
  EXPECT_EQ(o.invoice->records.size(), invoices);
  ExpectIdle(o);
}

TEST(CmdRead, UntrappedErrorIsReportedAndLeavesNoHalfWrittenRecord) {
  struct Case {
    std::string name;
    std::string file_num;
    std::shared_ptr<testing::FakeTableData> ReadOffice::*table;
    std::string op;
  } cases[] = {
      {"edit of the property", "24-00101", &ReadOffice::property, "Update"},
      {"edit refused", "24-00101", &ReadOffice::property, "Edit"},
      {"new client", "new-01", &ReadOffice::client, "Update"},
      {"field of the new client", "new-01", &ReadOffice::client, "SetField"},
  };
  for (const Case& c : cases) {
    ReadOffice o;
    o.ini.Set(testing::kXfrIni, "PREFERENCES", "AUTOEXIT", "1");
    o.Field("offscrn|3|3", c.file_num);
    o.Field("offscrn|13|1", "NEW01");
    FrmMain& f = o.Start();
    auto before_property = o.property->records;
    auto before_client = o.client->records;
    (o.*c.table)->fail_next[c.op] = {kErrRecordLocked};
    bool ended = false;
    try {
      CmdRead_Click(f);
    } catch (const EndProgram&) {
      ended = true;
    }
    EXPECT_FALSE(ended) << c.name;  // a failed read never ends the program
    ASSERT_FALSE(o.window.boxes.empty()) << c.name;
    const testing::ShownBox& report = o.window.boxes.back();
    EXPECT_EQ(report.title, "Error") << c.name;
    EXPECT_NE(report.text.find("in module CmdRead_Click."), std::string::npos) << report.text;
    if (c.file_num == "24-00101") {
      EXPECT_EQ(o.property->records, before_property) << c.name;
    } else {
      // The property and its link are written; the client is not, not even in part.
      EXPECT_EQ(o.Prop("NEW-01", "CLI_NUM"), "NEW01") << c.name;
      EXPECT_EQ(o.client->records, before_client) << c.name;
      EXPECT_FALSE(f.txtPlain_Name.text == "New Lender Inc") << c.name;
    }
    EXPECT_EQ(o.window.statuses.back(), "") << c.name;
    EXPECT_FALSE(f.LblMsg.visible) << c.name;
    ExpectIdle(o);
    Form_Unload(f);  // closing the connections completes nothing that was abandoned
    if (c.file_num == "24-00101") EXPECT_EQ(o.property->records, before_property) << c.name;
    EXPECT_EQ(o.client->records, before_client) << c.name;
  }
}

TEST(CmdRead, DamagedTableEndsTheProgramWithThePointerBack) {
  ReadOffice o;
  o.Field("offscrn|3|3", "24-00101");
  FrmMain& f = o.Start();
  o.property->fail_next["Update"] = {kErrDatabaseDamaged};
  auto before = o.property->records;
  EXPECT_THROW(CmdRead_Click(f), EndProgram);
  EXPECT_EQ(o.window.boxes.back().text, std::string(kCorruptTablesMessage));
  EXPECT_EQ(o.window.pointers.back(), Pointer::kDefault);
  Form_Unload(f);  // the unload must not complete the abandoned edit
  EXPECT_EQ(o.property->records, before);
}

}  // namespace
}  // namespace xfr
