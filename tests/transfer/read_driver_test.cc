// The read command over the fake office: the add and update branches, the questions, the early
// ends, the ZNA form, what an error leaves behind, and the console's exit status after it.
#include "transfer/read_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/console_app.h"
#include "base/error_report.h"
#include "transfer/read_office.h"

namespace xfr {
namespace {

using testing::ReadOffice;

std::string Pad(std::string s, std::size_t width) { return s.append(width - s.size(), ' '); }

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

TEST(CmdRead, AddBranchWritesPropertyClientAndInvoice) {
  const auto id_message = [](const std::string& id) {
    return "The Client ID (" + id +
           ") must be one to five (1 - 5) characters in length for the client data to transfer.";
  };
  struct Case {
    const char* captured;  // offscrn|13|1; null: the report's " new01 "
    std::string linked;    // PROPERTY CLI_NUM afterwards
    int new_clients;
    std::string message;  // "" for none
    bool invoice_there = false;
  } cases[] = {
      {nullptr, "NEW01", 1, "", true},  // an invoice of that number already: no second
      {"10004", "10004", 0, ""},    // existing client: linked, not rewritten
      {" amc01 ", "AMC01", 0, ""},  // case and blanks of the client number
      {"abc", "ABC", 1, ""},        // new, lower case: stored upper
      {"", "", 0, id_message("")}, {"123456", "", 0, id_message("123456")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.linked + (c.captured ? c.captured : "") + (c.invoice_there ? " invoice" : ""));
    ReadOffice o;
    if (c.captured) o.Field("offscrn|13|1", c.captured);
    if (c.invoice_there) o.invoice->Append({"NEW-01"});
    FrmMain& f = o.Start();
    auto clients = o.client->records;
    std::size_t invoices = o.invoice->records.size();
    CmdRead_Click(f);
    ASSERT_EQ(o.window.boxes.size(), c.message.empty() ? 1u : 2u);
    const testing::ShownBox& ask = o.window.boxes[0];
    EXPECT_EQ(ask.text + "|" + ask.title, "NEW-01 was not found.  Add?|Record Found");
    EXPECT_EQ(ask.buttons, Buttons::kYesNo);
    if (!c.message.empty()) {
      EXPECT_EQ(o.window.boxes[1].text + "|" + o.window.boxes[1].title,
                c.message + "|Transfer Info");
    }
    const std::pair<const char*, std::string> fields[] = {
        {"FILE_NUM", "NEW-01  "},   {"PR_OWNER", Pad("Sam Seller", 35)}, {"ASS_TYPE", "URAR 1004 "},
        {"PR_DFINISH", "3/7/2025"}, {"PR_APPRVAL", "250000"} /* not 250 */, {"INV_NUM", "NEW-01  "},
        {"CLI_NUM", c.linked},      {"PR_STREET", Pad("12 Main St", 40)}};
    for (const auto& [field, want] : fields) EXPECT_EQ(o.Prop("NEW-01", field), want) << field;
    ASSERT_EQ(o.client->records.size(), clients.size() + c.new_clients);
    EXPECT_EQ(o.client->records[0], clients[0]);
    if (c.new_clients) {
      const int n = static_cast<int>(clients.size());
      EXPECT_EQ(VbRTrim(o.client->Text(n, "CLI_NUM")), c.linked);
      EXPECT_EQ(o.client->Text(n, "CLI_LNAME") + "|" + o.client->Text(n, "CLI_CONT"),
                "New Lender Inc      |Lee Contact                   ");
    }
    EXPECT_EQ(o.invoice->records.size(), invoices + (c.invoice_there ? 0 : 1));
    if (!c.invoice_there) {
      EXPECT_EQ(o.invoice->Text(static_cast<int>(invoices), "INV_NUM"), "NEW-01");
    }
    if (c.linked == "ABC") {  // the window shows the new job and its client
      EXPECT_EQ(f.txtPR_Street.text + "|" + f.txtPlain_Name.text, "12 Main St|New Lender Inc");
      for (TextBox* b : f.ClientBoxes()) EXPECT_TRUE(b->visible) << b->name;
      EXPECT_EQ(o.window.statuses,
                (std::vector<std::string>{"", "Transferring data to Tracking", ""}));
      EXPECT_FALSE(f.LblMsg.visible);
    }
    ExpectIdle(o);
  }
}

// The first read updates: the report names another client and the job keeps its own, or a
// lower-case job without client or invoice number (AC24-104) takes the captured ones. After a
// change to the job or the report, the second's "Update?" details what the update would write.
TEST(CmdRead, UpdateKeepsTheClientAndFillsOnlyABlankInvNum) {
  const std::string same = "No field of the job would change.\n";
  struct Case {
    const char* job_client;     // CLI_NUM set on the job after the first read; null: kept
    const char* report_client;  // offscrn|13|1 after the first read; null: kept
    std::string details;        // of the second read
    bool ac24 = false;  // also the job's street and the report's census, date and value changed
  } cases[] = {
      {nullptr, nullptr,
       "PR_STREET: \"1 Main St\" -> \"12 Main St\"\nPR_CENSUS: \"0225.01\" -> cleared\n"
       "PR_DFINISH: \"3/7/2025\" -> \"3/8/2025\"\nPR_APPRVAL: \"250000\" -> \"260000\"\n"
       "Client: stays 10004",
       true},
      {"zz1", nullptr, same + "Client: stays zz1 (not in the client list)"},
      {"", "amc01", same + "Client: none -> AMC01"},
      {"", "123456",
       same + "Client: none linked; the report's client ID \"123456\" is not 1 to 5 characters"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.details);
    const std::string file = c.ac24 ? "AC24-104" : "24-00101";
    ReadOffice o;
    o.Field("offscrn|3|3", c.ac24 ? " Ac24-104 " : file);
    o.Field("offscrn|13|1", c.ac24 ? "10004" : "AMC01");
    o.property->records[0][25] = std::string("INV24001");
    FrmMain& f = o.Start();
    std::size_t rows = o.property->records.size();
    std::size_t clients = o.client->records.size();
    std::size_t invoices = o.invoice->records.size();
    CmdRead_Click(f);
    ASSERT_EQ(o.window.boxes.size(), 1u);
    EXPECT_EQ(o.window.boxes[0].text + "|" + o.window.boxes[0].title,
              file + " was found.  Update?|Record Found");
    EXPECT_EQ(o.property->records.size(), rows);
    EXPECT_EQ(o.Prop(file, "FILE_NUM"), Pad(file, 8));  // the normalised file number
    EXPECT_EQ(o.Prop(file, "CLI_NUM"), "10004");
    EXPECT_EQ(o.Prop(file, "INV_NUM"), c.ac24 ? "AC24-104" : "INV24001");
    EXPECT_EQ(o.Prop(file, "PR_STREET"), Pad("12 Main St", 40));
    EXPECT_EQ(o.client->records.size(), clients);
    EXPECT_EQ(o.invoice->records.size(), invoices);
    EXPECT_EQ(f.txtPlain_Name.text, "First Bank of Decatur");
    ExpectIdle(o);

    std::vector<Value>& job = o.property->records[static_cast<std::size_t>(o.PropertyRow(file))];
    if (c.job_client) job[24] = std::string(c.job_client);
    if (c.report_client) o.Field("offscrn|13|1", c.report_client);
    if (c.ac24) {
      job[2] = std::string("1 Main St");
      o.Field("URAR|25|2", "");
      o.Field("offscrn|11|1", "260,000.40");  // shown as the field keeps it: no decimals
      o.Field("offscrn|11|2", "3/8/25");
    }
    o.window.boxes.clear();
    CmdRead_Click(f);
    EXPECT_EQ(o.window.boxes.at(0).text, file + " was found.  Update?");
    EXPECT_EQ(o.window.boxes[0].details, c.details);
  }
}

// A read answered No, or one that ends before the question: nothing written, and only a read
// that captured the report ends the program when AUTOEXIT is set.
TEST(CmdRead, NoOrAnEarlyEndWritesNothing) {
  const std::string no_form =
      "You must have an appraisal form (the actual report) running before the data can be "
      "transferred into the Tracking program.";
  const auto file = [](const char* n) { return [n](ReadOffice& o) { o.Field("offscrn|3|3", n); }; };
  struct Case {
    std::string name;
    std::function<void(ReadOffice&)> script;
    int auto_exit;
    std::string message;  // the one box shown, "" for none
    std::string status;   // the status line left visible, "" for hidden
    bool captured = false;
  } cases[] = {
      {"No to Add?", file("abcd-123"), 1, "ABCD-123 was not found.  Add?", "", true},  // 8 chars
      {"No to Update?", file("24-00101"), 0, "24-00101 was found.  Update?", "", true},
      {"No to Update?, AUTOEXIT 2", file("24-00101"), 2, "24-00101 was found.  Update?", "", true},
      {"no server", [](ReadOffice& o) { o.dde.set_running(false); }, 1, "", ""},
      {"NONE form", [](ReadOffice& o) { o.Report("RPT1", " none "); }, 1, no_form, ""},
      // No comma: no report named, the empty report name gives the message.
      {"no comma", [](ReadOffice& o) { o.dde.SetAnswer("Query", "ActiveReports", "RPT1"); }, 1,
       no_form, ""},
      {"empty file number", file("   "), 1, "",
       "The Appraisal must have a file number before transferring into Tracking."},
      {"nine characters", file(" abcd-1234 "), 1,
       "The file number ABCD-1234 must not be greater than eight (8) characters in length.", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReadOffice o;
    o.ini.Set(testing::kXfrIni, "PREFERENCES", "AUTOEXIT", std::to_string(c.auto_exit));
    o.window.yes_no_default = Answer::kNo;
    c.script(o);
    FrmMain& f = o.Start();
    const auto writes = [&] { return o.property->writes + o.client->writes + o.invoice->writes; };
    const int before = writes();
    EXPECT_EQ(Read(f), c.captured && c.auto_exit != 0);
    EXPECT_EQ(writes(), before);
    ASSERT_EQ(o.window.boxes.size(), c.message.empty() ? 0u : 1u);
    if (!c.message.empty()) {
      EXPECT_EQ(o.window.boxes[0].text, c.message);
    }
    EXPECT_EQ(f.LblMsg.visible ? f.LblMsg.caption : "", c.status);
    EXPECT_EQ(std::ranges::count(o.Requested(), "offscrn|7|1"), c.captured ? 1 : 0);
    EXPECT_EQ(f.lblPr_Street.caption, c.captured ? "12 Main St" : "");  // labels hold the capture
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
    const std::pair<const char*, int> asks[] = {{"znaprof|3|1", 1},  {"offscrn|7|1", 1},
                                                {"offscrn|3|3", 0},  {"offscrn|13|1", 0},
                                                {"offscrn|14|1", 0}, {"offscrn|20|3", 0}};
    for (const auto& [item, n] : asks) EXPECT_EQ(std::ranges::count(asked, item), n) << item;
    EXPECT_EQ(o.Prop(file_num, "CLI_NUM"), "");
    EXPECT_EQ(f.txtCli_LName.visible, update);  // an update leaves the client shown as it was
    EXPECT_EQ(o.Prop(file_num, "PR_STREET"), Pad("12 Main St", 40));
    EXPECT_EQ(o.client->records.size(), clients);
    EXPECT_EQ(o.invoice->records.size(), invoices + (update ? 0 : 1));
    ExpectIdle(o);
  }
}

// A property write that fails, answered Abort: reported where it failed, no half-written record,
// no invoice, and the close completes nothing abandoned. A client write refused or a damaged
// table, on real tables: FailurePaths and BadTables in tests/campaign.
TEST(CmdRead, FailedWriteIsReportedAndLeavesNoHalfWrittenRecord) {
  const struct Case {
    std::string file_num;
    bool client;  // a client field that cannot be set, else the property's write refused
    std::string module;
  } cases[] = {{"24-00101", false, "CmdRead_Click"},
               {"new-01", false, "AddRecord"},
               {"new-01", true, "AddClientRecord"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.module);
    ReadOffice o;
    o.ini.Set(testing::kXfrIni, "PREFERENCES", "AUTOEXIT", c.module == "AddRecord" ? "0" : "1");
    o.Field("offscrn|3|3", c.file_num);
    FrmMain& f = o.Start();
    auto before = o.property->records;
    auto clients = o.client->records;
    std::size_t invoices = o.invoice->records.size();
    (c.client ? o.client : o.property)->fail_next[c.client ? "SetField" : "Update"] = {
        kErrRecordLocked};
    o.window.error_default = Answer::kAbort;
    EXPECT_FALSE(Read(f));
    ASSERT_FALSE(o.window.boxes.empty());
    EXPECT_NE(o.window.boxes.back().text.find("in module " + c.module + "."), std::string::npos);
    EXPECT_EQ(o.window.boxes.back().title, "Error");
    EXPECT_FALSE(f.LblMsg.visible);
    ExpectIdle(o);
    Form_Unload(f);
    EXPECT_EQ(o.client->records, clients);  // a client record not built whole is not written
    EXPECT_EQ(o.PropertyRow("NEW-01") != -1, c.client);  // the property is written first
    if (!c.client) { EXPECT_EQ(o.property->records, before); }
    EXPECT_EQ(o.invoice->records.size(), invoices);
  }
}

// A capture request that times out once: Retry gets the answer and the job is added (the
// console's status: done); Abort ends the read before the question, nothing written.
TEST(CmdRead, RetriedAtAnErrorReportAndThenAddedIsDoneOnTheConsole) {
  for (Answer on_error : {Answer::kRetry, Answer::kAbort}) {
    ReadOffice o;
    o.dde.set_on_call([n = 0](const FakeDdeTransport::Call& c) mutable {
      if (c.op == "request" && c.item == "offscrn|7|1" && !n++) throw RuntimeError(kErrDdeTimeout);
    });
    ConsoleWindow window({Answer::kYes, on_error, "", false}, &o.files);
    App app(Services{&o.ini, &o.files, &o.clock, &window, &o.tables, &o.dde, &o.instance}, "");
    EXPECT_EQ(RunConsole(app, window, {"read"}), on_error == Answer::kRetry ? kExitDone : 1);
    EXPECT_EQ(o.PropertyRow("NEW-01") >= 0, on_error == Answer::kRetry);
  }
}

}  // namespace
}  // namespace xfr
