// The read command over the fake office: the add and update branches, the questions, the early
// ends, the ZNA form, and what an error leaves behind.
#include "transfer/read_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "base/error_report.h"
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

int Writes(const ReadOffice& o) {
  return o.property->writes + o.client->writes + o.invoice->writes;
}

// Runs the read; true when it ended the program.
bool Read(FrmMain& f) {
  try {
    CmdRead_Click(f);
  } catch (const EndProgram&) {
    return true;
  }
  return false;
}

// The state every finished or abandoned read must leave.
void ExpectIdle(ReadOffice& o) {
  FrmMain& f = o.Form();
  EXPECT_EQ(o.window.pointers, (std::vector<Pointer>{Pointer::kHourglass, Pointer::kDefault}));
  EXPECT_FALSE(f.aniCopy.visible || f.imgApxIco.visible || f.imgTrkIco.visible);
  for (DataControl* dc : {&f.datproperty, &f.datclient, &f.datinvoice}) {
    EXPECT_TRUE(!dc->IsOpen() || dc->GetEditMode() == EditMode::kNone) << dc->name();
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

  const std::pair<const char*, std::string> fields[] = {
      {"FILE_NUM", "NEW-01  "},   {"PR_OWNER", Pad("Sam Seller", 35)}, {"ASS_TYPE", "URAR 1004 "},
      {"PR_DFINISH", "3/7/2025"}, {"PR_APPRVAL", "250000"} /* not 250 */, {"INV_NUM", "NEW-01  "},
      {"CLI_NUM", "NEW01"}};
  for (const auto& [field, want] : fields) EXPECT_EQ(o.Prop("NEW-01", field), want) << field;

  ASSERT_EQ(o.client->records.size(), clients + 1);
  int c = static_cast<int>(clients);
  EXPECT_EQ(o.client->Text(c, "CLI_NUM") + "|" + o.client->Text(c, "CLI_LNAME") + "|" +
                o.client->Text(c, "CLI_CONT"),
            "NEW01|New Lender Inc      |Lee Contact                   ");
  ASSERT_EQ(o.invoice->records.size(), invoices + 1);
  EXPECT_EQ(o.invoice->Text(static_cast<int>(invoices), "INV_NUM"), "NEW-01");

  // The window shows the new job and its client.
  EXPECT_EQ(f.txtPR_Street.text, "12 Main St");
  EXPECT_EQ(f.txtPlain_Name.text, "New Lender Inc");
  for (TextBox* b : f.ClientBoxes()) EXPECT_TRUE(b->visible) << b->name;
  EXPECT_EQ(o.window.statuses, (std::vector<std::string>{"", "Transferring data to Tracking", ""}));
  EXPECT_FALSE(f.LblMsg.visible);
  ExpectIdle(o);
}

TEST(CmdRead, AddBranchClientCases) {
  const auto id_message = [](const std::string& id) {
    return "The Client ID (" + id +
           ") must be one to five (1 - 5) characters in length for the client data to transfer.";
  };
  struct Case {
    std::string captured;  // offscrn|13|1
    std::string linked;    // PROPERTY CLI_NUM afterwards
    int new_clients;
    std::string message;  // "" for none
  } cases[] = {
      {"10004", "10004", 0, ""},    // existing client: linked, not rewritten
      {" amc01 ", "AMC01", 0, ""},  // case and blanks of the client number
      {"abc", "ABC", 1, ""},        // new, lower case: stored upper
      {"", "", 0, id_message("")}, {"123456", "", 0, id_message("123456")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.captured);
    ReadOffice o;
    o.Field("offscrn|13|1", c.captured);
    FrmMain& f = o.Start();
    auto clients = o.client->records;
    std::size_t invoices = o.invoice->records.size();
    CmdRead_Click(f);
    EXPECT_EQ(o.Prop("NEW-01", "CLI_NUM"), c.linked);
    EXPECT_EQ(o.client->records.size(), clients.size() + c.new_clients);
    EXPECT_EQ(o.client->records[0], clients[0]);
    EXPECT_EQ(o.invoice->records.size(), invoices + 1);  // the invoice is added anyway
    ASSERT_EQ(o.window.boxes.size(), c.message.empty() ? 1u : 2u);
    if (!c.message.empty()) {
      EXPECT_EQ(o.window.boxes[1].text, c.message);
      EXPECT_EQ(o.window.boxes[1].title, "Transfer Info");
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

TEST(CmdRead, UpdateKeepsTheClientAndFillsOnlyABlankInvNum) {
  struct Case {
    std::string captured_file, file, captured_client, cli_num, inv_num;
  } cases[] = {
      // The report names another client: the job keeps its own.
      {"24-00101", "24-00101", "AMC01", "10004", "INV24001"},
      // A lower-case job without client or invoice number takes the captured ones.
      {" Ac24-104 ", "AC24-104", "10004", "10004", "AC24-104"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ReadOffice o;
    o.Field("offscrn|3|3", c.captured_file);
    o.Field("offscrn|13|1", c.captured_client);
    o.property->records[0][25] = std::string("INV24001");
    FrmMain& f = o.Start();
    std::size_t rows = o.property->records.size();
    std::size_t clients = o.client->records.size();
    std::size_t invoices = o.invoice->records.size();
    CmdRead_Click(f);
    ASSERT_EQ(o.window.boxes.size(), 1u);
    EXPECT_EQ(o.window.boxes[0].text, c.file + " was found.  Update?");
    EXPECT_EQ(o.window.boxes[0].title, "Record Found");
    EXPECT_EQ(o.property->records.size(), rows);
    EXPECT_EQ(o.Prop(c.file, "FILE_NUM"), Pad(c.file, 8));  // the normalised file number
    EXPECT_EQ(o.Prop(c.file, "CLI_NUM"), c.cli_num);
    EXPECT_EQ(o.Prop(c.file, "INV_NUM"), Pad(c.inv_num, 8));
    EXPECT_EQ(o.Prop(c.file, "PR_STREET"), Pad("12 Main St", 40));
    EXPECT_EQ(o.client->records.size(), clients);
    EXPECT_EQ(o.invoice->records.size(), invoices);
    EXPECT_EQ(f.txtPlain_Name.text, "First Bank of Decatur");
    ExpectIdle(o);
  }
}

// The details given with "Update?" after a first update: the fields the report would change
// on the stored job, and the client link; a third read then finds nothing left to change.
TEST(CmdRead, UpdateQuestionDetailsWhatTheUpdateWrites) {
  const std::string same = "No field of the job would change.\n";
  struct Case {
    std::function<void(ReadOffice&, std::vector<Value>&)> change;
    std::string details;
  } cases[] = {
      {[](ReadOffice&, std::vector<Value>&) {}, same + "Client: stays 10004"},
      {[](ReadOffice& o, std::vector<Value>& job) {
         job[2] = std::string("1 Main St");
         o.Field("URAR|25|2", "");
         o.Field("offscrn|11|1", "260,000");
         o.Field("offscrn|11|2", "3/8/25");
       },
       "PR_STREET: \"1 Main St\" -> \"12 Main St\"\nPR_CENSUS: \"0225.01\" -> cleared\n"
       "PR_DFINISH: \"3/7/2025\" -> \"3/8/2025\"\nPR_APPRVAL: \"250000\" -> \"260000\"\n"
       "Client: stays 10004"},
      {[](ReadOffice&, std::vector<Value>& job) { job[24] = std::string("zz1"); },
       same + "Client: stays zz1 (not in the client list)"},
      {[](ReadOffice& o, std::vector<Value>& job) { job[24] = std::string(); },
       same + "Client: none -> NEW01 (a new client, added from the report)"},
      {[](ReadOffice& o, std::vector<Value>& job) {
         job[24] = std::string();
         o.Field("offscrn|13|1", "amc01");
       },
       same + "Client: none -> AMC01"},
      {[](ReadOffice& o, std::vector<Value>& job) {
         job[24] = std::string();
         o.Field("offscrn|13|1", "123456");
       },
       same + "Client: none linked; the report's client ID \"123456\" is not 1 to 5 characters"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.details);
    ReadOffice o;
    o.Field("offscrn|3|3", "24-00101");
    FrmMain& f = o.Start();
    CmdRead_Click(f);
    c.change(o, o.property->records[static_cast<std::size_t>(o.PropertyRow("24-00101"))]);
    o.window.boxes.clear();
    CmdRead_Click(f);
    EXPECT_EQ(o.window.boxes.at(0).text, "24-00101 was found.  Update?");
    EXPECT_EQ(o.window.boxes[0].details, c.details);
    o.window.boxes.clear();
    CmdRead_Click(f);  // what was shown is what was written
    EXPECT_EQ(o.window.boxes.at(0).details.rfind(same, 0), 0u) << o.window.boxes[0].details;
  }
}

TEST(CmdRead, NoWritesNothingAndStillEndsWhenAutoExitIsSet) {
  struct Case {
    std::string file_num, question;
    int auto_exit;
  } cases[] = {
      {"abcd-123", "ABCD-123 was not found.  Add?", 1},  // eight characters are accepted
      {"24-00101", "24-00101 was found.  Update?", 0},
      {"24-00101", "24-00101 was found.  Update?", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file_num + " " + std::to_string(c.auto_exit));
    ReadOffice o;
    o.ini.Set(testing::kXfrIni, "PREFERENCES", "AUTOEXIT", std::to_string(c.auto_exit));
    o.Field("offscrn|3|3", c.file_num);
    o.window.yes_no_default = Answer::kNo;
    FrmMain& f = o.Start();
    int writes = Writes(o);
    EXPECT_EQ(Read(f), c.auto_exit != 0);
    EXPECT_EQ(o.window.boxes.at(0).text, c.question);
    EXPECT_EQ(Writes(o), writes);
    EXPECT_EQ(o.window.statuses.back(), "");
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
    SCOPED_TRACE(c.name);
    ReadOffice o;
    o.ini.Set(testing::kXfrIni, "PREFERENCES", "AUTOEXIT", "1");
    c.script(o);
    FrmMain& f = o.Start();
    int writes = Writes(o);
    EXPECT_FALSE(Read(f));  // an early end never ends the program
    EXPECT_EQ(Writes(o), writes);
    ASSERT_EQ(o.window.boxes.size(), c.message.empty() ? 0u : 1u);
    if (!c.message.empty()) { EXPECT_EQ(o.window.boxes[0].text, c.message); }
    EXPECT_EQ(f.LblMsg.visible ? f.LblMsg.caption : "", c.status);
    EXPECT_FALSE(Contains(o.Requested(), "offscrn|7|1"));
    ExpectIdle(o);
  }
}

TEST(CmdRead, ZnaFormKeepsClientLabelsAndLinksNoClient) {
  for (bool update : {false, true}) {
    SCOPED_TRACE(update ? "update" : "add");
    ReadOffice o;
    o.Report("RPT1", " zna ");
    o.Field("znaprof|3|1", update ? "ac24-104" : "zna-7");
    o.Field("offscrn|3|3", "WRONG");
    FrmMain& f = o.Start();
    f.lblCli_Num.caption = "10004";  // left by an earlier read of another job
    std::size_t clients = o.client->records.size();
    std::size_t invoices = o.invoice->records.size();
    CmdRead_Click(f);
    std::string file_num = update ? "AC24-104" : "ZNA-7";
    EXPECT_EQ(f.lblFile_Num.caption, file_num);
    EXPECT_EQ(f.lblCli_Num.caption, "10004");
    std::vector<std::string> asked = o.Requested();
    EXPECT_TRUE(Contains(asked, "znaprof|3|1"));
    EXPECT_TRUE(Contains(asked, "offscrn|7|1"));
    for (const char* item : {"offscrn|3|3", "offscrn|13|1", "offscrn|14|1", "offscrn|20|3"})
      EXPECT_FALSE(Contains(asked, item)) << item;
    EXPECT_EQ(o.Prop(file_num, "CLI_NUM"), "");
    EXPECT_EQ(o.Prop(file_num, "PR_STREET"), Pad("12 Main St", 40));
    EXPECT_EQ(o.client->records.size(), clients);
    EXPECT_EQ(o.invoice->records.size(), invoices + (update ? 0 : 1));
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
  EXPECT_NE(o.window.boxes[1].text.find("in module AddRecord."), std::string::npos);
  EXPECT_EQ(o.property->records.size(), rows);
  EXPECT_EQ(o.invoice->records.size(), invoices);
  ExpectIdle(o);
  Form_Unload(f);  // nothing abandoned is completed at the close
  EXPECT_EQ(o.property->records.size(), rows);
}

TEST(CmdRead, UntrappedErrorIsReportedAndLeavesNoHalfWrittenRecord) {
  struct Case {
    std::string file_num;
    std::shared_ptr<testing::FakeTableData> ReadOffice::*table;
    std::string op;
  } cases[] = {
      {"24-00101", &ReadOffice::property, "Update"},
      {"new-01", &ReadOffice::client, "Update"},
      {"new-01", &ReadOffice::client, "SetField"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file_num + " " + c.op);
    ReadOffice o;
    o.ini.Set(testing::kXfrIni, "PREFERENCES", "AUTOEXIT", "1");
    o.Field("offscrn|3|3", c.file_num);
    FrmMain& f = o.Start();
    auto before_property = o.property->records;
    auto before_client = o.client->records;
    (o.*c.table)->fail_next[c.op] = {kErrRecordLocked};
    o.window.error_default = Answer::kAbort;  // a client write is reported where it failed
    EXPECT_FALSE(Read(f));  // a failed read never ends the program
    ASSERT_FALSE(o.window.boxes.empty());
    EXPECT_EQ(o.window.boxes.back().title, "Error");
    EXPECT_NE(
        o.window.boxes.back().text.find(c.file_num == "24-00101" ? "in module CmdRead_Click."
                                                                 : "in module AddClientRecord."),
        std::string::npos);
    if (c.file_num == "24-00101") {
      EXPECT_EQ(o.property->records, before_property);
    } else {
      // The property is written; the client is not, not even in part.
      EXPECT_NE(o.PropertyRow("NEW-01"), -1);
      EXPECT_NE(f.txtPlain_Name.text, "New Lender Inc");
    }
    EXPECT_EQ(o.client->records, before_client);
    EXPECT_FALSE(f.LblMsg.visible);
    ExpectIdle(o);
    Form_Unload(f);  // closing the connections completes nothing that was abandoned
    EXPECT_EQ(o.client->records, before_client);
    if (c.file_num == "24-00101") { EXPECT_EQ(o.property->records, before_property); }
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
