// The read command over the fake office: the add and update branches, the questions, the ZNA
// form and the console's exit status after a retried error (how each way a read ends leaves the
// window and the tables: transfer_ends_test.cc).
#include "transfer/read_driver.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/console_app.h"
#include "base/error_report.h"
#include "transfer/read_office.h"

namespace xfr {
namespace {

using testing::ReadOffice;

std::string Pad(std::string s, std::size_t width) { return s.append(width - s.size(), ' '); }

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
    // The question (its text: transfer_ends_test.cc), then the client ID's message if any.
    ASSERT_EQ(o.window.boxes.size(), c.message.empty() ? 1u : 2u);
    EXPECT_EQ(o.window.boxes.back().title + ": " + o.window.boxes.back().text,
              c.message.empty() ? "Record Found: NEW-01 was not found.  Add?"
                                : "Transfer Info: " + c.message);
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
    }
  }
}

// The first read updates: the report names another client and the job keeps its own, or a
// lower-case job without client or invoice number (AC24-104) takes the captured ones. After a
// change to the job or the report, the second's "Update?" details what the update would write.
// While the first asks, the window shows the job's own client (none for AC24-104).
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
    std::string asked_with;  // the client the window shows while it asks: the job's own
    o.window.on_box = [&](const testing::ShownBox&) {
      asked_with = f.txtPlain_Name.visible ? f.txtPlain_Name.text : "(none)";
    };
    CmdRead_Click(f);
    ASSERT_EQ(o.window.boxes.size(), 1u);  // the question (transfer_ends_test.cc), no message
    EXPECT_EQ(asked_with, c.ac24 ? "(none)" : "First Bank of Decatur");
    EXPECT_EQ(o.property->records.size(), rows);
    EXPECT_EQ(o.Prop(file, "FILE_NUM"), Pad(file, 8));  // the normalised file number
    EXPECT_EQ(o.Prop(file, "CLI_NUM"), "10004");
    EXPECT_EQ(o.Prop(file, "INV_NUM"), c.ac24 ? "AC24-104" : "INV24001");
    EXPECT_EQ(o.Prop(file, "PR_STREET"), Pad("12 Main St", 40));
    EXPECT_EQ(o.client->records.size(), clients);
    EXPECT_EQ(o.invoice->records.size(), invoices);
    EXPECT_EQ(f.txtPlain_Name.text, "First Bank of Decatur");

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
    EXPECT_EQ(o.window.boxes.at(0).text + "\n" + o.window.boxes[0].details,
              file + " was found.  Update?\n" + c.details);
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
