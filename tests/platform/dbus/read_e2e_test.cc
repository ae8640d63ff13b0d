// The read end to end: the core's read command over the session bus against apx-sim, writing
// copies of the fixture tables through the FoxPro engine. What was written is read back with an
// independent reader (dbfread) and the tables and indexes are checked with the independent
// checker and with dbftool.
#include <gtest/gtest.h>
#include <strings.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_files.h"
#include "fakes/fake_ini.h"
#include "fakes/fake_window.h"
#include "platform/dbus/apx_sim_process.h"
#include "platform/dbus/dbus_dde_transport.h"
#include "platform/xbase_table.h"
#include "shell/error_report.h"
#include "shell/lifecycle.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "transfer/read_driver.h"

namespace xfr {
namespace {

namespace fs = std::filesystem;
using testing::ApxSim;
using testing::FakeClock;
using testing::FakeFiles;
using testing::FakeIni;
using testing::FakeWindow;
using testing::ReadFile;
using testing::TempDir;
using Fields = std::map<std::string, std::string>;
using Strings = std::vector<std::string>;

constexpr const char* kXfrIni = "C:\\WINDOWS\\XFR.INI";
constexpr const char* kPython = "/usr/bin/python3";

std::string Output(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = pclose(p);
  if (status) *status = WEXITSTATUS(rc);
  return out;
}

bool HaveDbfread() {
  int status = 1;
  Output(std::string(kPython) + " -c 'import dbfread' 2>/dev/null", &status);
  return status == 0;
}

std::string CheckerPath() { return std::string(XFR_SHARED_DIR) + "/tools/checktables.py"; }

// A JSON string literal for the plain texts of the report files.
std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The values of a report as apx-sim reads them, with the report named RPT1.
std::string ReportJson(const std::string& form, const Fields& fields) {
  std::string json = R"({"reports": {"RPT1": {"forms": [)" + Quote(form) + R"(, "offscrn"], )";
  json += R"("fields": {)";
  bool first = true;
  for (const auto& [item, value] : fields) {
    if (!first) json += ", ";
    first = false;
    json += Quote(item) + ": " + Quote(value);
  }
  return json + "}}}}";
}

// A report of a job that is not in the fixture tables yet.
Fields NewJob() {
  return {
      {"offscrn|3|3", " new-01 "},
      {"offscrn|7|1", "1650 Briarcliff Road Northeast, Building C, Unit 4"},  // over 40
      {"offscrn|8|1", "Atlanta"},
      {"offscrn|8|3", "GA"},
      {"offscrn|8|4", "30306"},
      {"offscrn|8|2", "DeKalb"},
      {"offscrn|24|1", "Druid Hills"},
      {"URAR|25|2", "0201.00"},
      {"URAR|25|1", "18-054-02-011"},
      {"offscrn|2|3", "LN-9001"},
      {"offscrn|11|1", "$425,000"},
      {"offscrn|11|2", "12/1/26"},
      {"offscrn|6|1", "Chris Buyer"},
      {"URAR|5|1", "Pat Seller"},
      {"offscrn|13|1", " dm001 "},
      {"offscrn|14|1", "Druid Hills Mortgage"},
      {"offscrn|15|1", "10 Ponce de Leon Ave"},
      {"offscrn|16|1", "Suite 300"},
      {"offscrn|17|1", "Atlanta, GA 30306"},
      {"offscrn|20|3", "Robin Lee"},
  };
}

class ReadE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveDbfread()) GTEST_SKIP() << "python3-dbfread is not installed";
    data_ = dir_.File("data");
    fs::create_directories(data_);
    for (const char* f : {"PROPERTY.DBF", "PROPERTY.CDX", "PROPERTY.FPT", "CLIENT.DBF",
                          "CLIENT.CDX", "INVOICE.DBF", "INVOICE.CDX"}) {
      fs::copy_file(std::string(XFR_TEST_DATA) + "/foxpro/" + f, data_ + "/" + f);
    }
    ini_.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "DATADIR", "C:\\TRK\\DATA");
    ini_.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "APPDIR", "C:\\TRK");
    ini_.Set(kXfrIni, "PREFERENCES", "AUTOEXIT", "0");
    ini_.Set(kXfrIni, "FORM", "URAR", "URAR");
    ini_.Set(kXfrIni, "CENSUS", "URAR", "25|2");
    ini_.Set(kXfrIni, "MAPREF", "URAR", "25|1");
    ini_.Set(kXfrIni, "OWNER", "URAR", "5|1");
    clock_.today = Date{2025, 6, 15};
  }

  void TearDown() override {
    if (form_ && !form_->unloaded) Form_Unload(*form_);
    sim_.reset();
  }

  void Serve(const std::string& form, const Fields& fields) {
    const std::string report = dir_.File("report.json");
    std::FILE* f = std::fopen(report.c_str(), "wb");
    std::fputs(ReportJson(form, fields).c_str(), f);
    std::fclose(f);
    sim_ = std::make_unique<ApxSim>(report, Strings{"--log", dir_.File("log")});
    ASSERT_TRUE(sim_->ready()) << "apx-sim did not come up";
  }

  // Loads the window, reads, closes the window (as the program ends).
  FrmMain& Read() {
    form_ = std::make_unique<FrmMain>(app_);
    Initialize(app_);
    frmMainForm_Load(*form_);
    CmdRead_Click(*form_);
    return *form_;
  }
  void Close() { Form_Unload(*form_); }

  // One record of a table as dbfread sees it ("" for empty values, dates as YYYY-MM-DD);
  // empty when no live record has `key_field` (trimmed, upper-cased) equal to `key`.
  Fields Record(const std::string& table, const std::string& key_field, const std::string& key) {
    const std::string script =
        "import dbfread,sys\n"
        "t=dbfread.DBF(sys.argv[1], char_decode_errors='replace', ignore_missing_memofile=True)\n"
        "for r in t:\n"
        "  if (r[sys.argv[2]] or '').strip().upper()==sys.argv[3]:\n"
        "    for k,v in r.items():\n"
        "      if k!='PR_NOTES': print('%s=%s' % (k, '' if v is None else v))\n"
        "    break\n";
    std::FILE* f = std::fopen(dir_.File("rec.py").c_str(), "wb");
    std::fputs(script.c_str(), f);
    std::fclose(f);
    const std::string out = Output(std::string(kPython) + " '" + dir_.File("rec.py") + "' '" +
                                   data_ + "/" + table + "' " + key_field + " '" + key + "'");
    Fields fields;
    std::size_t pos = 0;
    while (pos < out.size()) {
      std::size_t end = out.find('\n', pos);
      if (end == std::string::npos) end = out.size();
      const std::string line = out.substr(pos, end - pos);
      const std::size_t eq = line.find('=');
      if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
      pos = end + 1;
    }
    return fields;
  }

  // Live records of a table, by dbfread.
  int Count(const std::string& table) {
    return std::stoi(Output(std::string(kPython) +
                            " -c 'import dbfread,sys; print(len(list(dbfread.DBF(sys.argv[1], "
                            "char_decode_errors=\"replace\", ignore_missing_memofile=True))))' '" +
                            data_ + "/" + table + "'"));
  }

  // The tables and every index tag are consistent, by the independent checker and dbftool.
  void ExpectConsistent() {
    int status = -1;
    std::string out =
        Output(std::string(XFR_BINARY_DIR) + "/src/dbftool check '" + data_ + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    if (!fs::exists(CheckerPath())) return;
    out = Output(std::string(kPython) + " '" + CheckerPath() + "' '" + data_ + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
  }

  // The items requested on the report's topic.
  Strings Requested() const {
    Strings items;
    const std::string log = ReadFile(dir_.File("log"));
    std::size_t pos = 0;
    while ((pos = log.find("\"item\":\"", pos)) != std::string::npos) {
      pos += 8;
      items.push_back(log.substr(pos, log.find('"', pos) - pos));
    }
    return items;
  }

  std::vector<std::string> TableBytes() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(data_)) out.push_back(ReadFile(e.path()));
    return out;
  }

  TempDir dir_;
  std::string data_;
  std::unique_ptr<ApxSim> sim_;
  FakeIni ini_;
  FakeFiles files_;
  FakeWindow window_;
  FakeClock clock_;
  XbaseTableService tables_{[this](std::string_view, std::string_view file) -> std::string {
    for (const auto& e : fs::directory_iterator(data_)) {
      if (strcasecmp(e.path().filename().c_str(), std::string(file).c_str()) == 0) {
        return e.path().string();
      }
    }
    return "";
  }};
  DBusDdeTransport transport_{2000};
  App app_{Services{&ini_, &files_, &clock_, &window_, &tables_, &transport_, nullptr}, ""};
  std::unique_ptr<FrmMain> form_;
};

TEST_F(ReadE2eTest, AddWritesPropertyNewClientAndInvoice) {
  Serve("URAR", NewJob());
  const int properties = Count("PROPERTY.DBF");
  const int clients = Count("CLIENT.DBF");
  const int invoices = Count("INVOICE.DBF");
  FrmMain& f = Read();
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].text, "NEW-01 was not found.  Add?");
  EXPECT_EQ(window_.boxes[0].title, "Record Found");
  EXPECT_EQ(f.txtPlain_Name.text, "Druid Hills Mortgage");
  EXPECT_TRUE(f.txtCli_Cont.visible);
  EXPECT_EQ(window_.pointers.back(), Pointer::kDefault);
  Close();

  const Fields p = Record("PROPERTY.DBF", "FILE_NUM", "NEW-01");
  EXPECT_EQ(p.at("FILE_NUM"), "NEW-01");
  EXPECT_EQ(p.at("PR_STREET"), "1650 Briarcliff Road Northeast, Building");  // cut to 40
  EXPECT_EQ(p.at("PR_CITY"), "Atlanta");
  EXPECT_EQ(p.at("PR_COUNTY"), "DeKalb");
  EXPECT_EQ(p.at("PR_SUBDIV"), "Druid Hills");
  EXPECT_EQ(p.at("PR_CENSUS"), "0201.00");
  EXPECT_EQ(p.at("PR_MAP_REF"), "18-054-02-011");
  EXPECT_EQ(p.at("PR_REF_NUM"), "LN-9001");
  EXPECT_EQ(p.at("PR_OWNER"), "Pat Seller");
  EXPECT_EQ(p.at("PR_BORROWR"), "Chris Buyer");
  EXPECT_EQ(p.at("ASS_TYPE"), "URAR");
  EXPECT_EQ(p.at("PR_DFINISH"), "2026-12-01");  // 12/1/26, never 1926
  EXPECT_EQ(p.at("PR_APPRVAL"), "425000");      // "$425,000", not 425
  EXPECT_EQ(p.at("INV_NUM"), "NEW-01");
  EXPECT_EQ(p.at("CLI_NUM"), "DM001");
  EXPECT_EQ(p.at("PR_LOT"), "");

  const Fields c = Record("CLIENT.DBF", "CLI_NUM", "DM001");
  EXPECT_EQ(c.at("CLI_NUM"), "DM001");
  EXPECT_EQ(c.at("CLI_LNAME"), "Druid Hills Mortgage");
  EXPECT_EQ(c.at("PLAIN_NAME"), "Druid Hills Mortgage");
  EXPECT_EQ(c.at("CLI_STREET"), "10 Ponce de Leon Ave");
  EXPECT_EQ(c.at("CLI_ADDR2"), "Suite 300");
  EXPECT_EQ(c.at("CLI_ADDR3"), "Atlanta, GA 30306");
  EXPECT_EQ(c.at("CLI_CONT"), "Robin Lee");
  EXPECT_EQ(Record("INVOICE.DBF", "INV_NUM", "NEW-01").at("INV_NUM"), "NEW-01");

  EXPECT_EQ(Count("PROPERTY.DBF"), properties + 1);
  EXPECT_EQ(Count("CLIENT.DBF"), clients + 1);
  EXPECT_EQ(Count("INVOICE.DBF"), invoices + 1);
  ExpectConsistent();
}

TEST_F(ReadE2eTest, AddWithExistingOrInvalidClient) {
  struct Case {
    std::string captured;
    std::string linked;
    bool message;
  } cases[] = {{" amc01 ", "AMC01", false}, {"10002", "10002", false}, {"123456", "", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.captured);
    Fields job = NewJob();
    job["offscrn|13|1"] = c.captured;
    job["offscrn|14|1"] = "Not Written Anywhere";
    Serve("URAR", job);
    const int clients = Count("CLIENT.DBF");
    const int invoices = Count("INVOICE.DBF");
    window_.boxes.clear();
    Read();
    Close();
    ASSERT_EQ(window_.boxes.size(), c.message ? 2u : 1u);
    if (c.message) {
      EXPECT_EQ(window_.boxes[1].text,
                "The Client ID (123456) must be one to five (1 - 5) characters in length for "
                "the client data to transfer.");
    }
    EXPECT_EQ(Record("PROPERTY.DBF", "FILE_NUM", "NEW-01").at("CLI_NUM"), c.linked);
    EXPECT_EQ(Count("CLIENT.DBF"), clients);
    EXPECT_EQ(Count("INVOICE.DBF"), invoices + 1);
    const std::string names =
        Output(std::string("grep -c 'Not Written Anywhere' '") + data_ + "/CLIENT.DBF' || true");
    EXPECT_EQ(names, "0\n");
    ExpectConsistent();
    // The next case adds the same job again.
    form_.reset();
    sim_.reset();
    fs::remove_all(data_);
    fs::create_directories(data_);
    for (const char* name : {"PROPERTY.DBF", "PROPERTY.CDX", "PROPERTY.FPT", "CLIENT.DBF",
                             "CLIENT.CDX", "INVOICE.DBF", "INVOICE.CDX"}) {
      fs::copy_file(std::string(XFR_TEST_DATA) + "/foxpro/" + name, data_ + "/" + name);
    }
  }
}

TEST_F(ReadE2eTest, UpdateKeepsClientAndInvoiceAndFillsABlankInvNum) {
  struct Case {
    std::string captured_file;
    std::string file;    // as stored afterwards
    std::string client;  // the report's client number
    std::string kept_client;
    std::string inv_num;
  } cases[] = {
      // 10004 is not in CLIENT: kept all the same, the client boxes hidden.
      {"24-00101", "24-00101", "10002", "10004", "INV24001"},
      {" b24-0109 ", "B24-0109", "10002", "10009", "B24-0109"},
      {"24-00112", "24-00112", " amc01 ", "AMC01", "INV24012"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.captured_file);
    Fields job = NewJob();
    job["offscrn|3|3"] = c.captured_file;
    job["offscrn|13|1"] = c.client;
    job["offscrn|11|2"] = "";  // no completion date: the stored one stays
    job["offscrn|7|1"] = "";   // an empty capture clears the street
    Serve("URAR", job);
    const int properties = Count("PROPERTY.DBF");
    const int clients = Count("CLIENT.DBF");
    const int invoices = Count("INVOICE.DBF");
    const Fields before = Record("PROPERTY.DBF", "FILE_NUM", c.file);
    window_.boxes.clear();
    FrmMain& f = Read();
    ASSERT_EQ(window_.boxes.size(), 1u);
    EXPECT_EQ(window_.boxes[0].text, c.file + " was found.  Update?");
    EXPECT_EQ(f.txtCli_LName.visible, c.kept_client != "10004");
    Close();
    const Fields p = Record("PROPERTY.DBF", "FILE_NUM", c.file);
    EXPECT_EQ(p.at("FILE_NUM"), c.file);
    EXPECT_EQ(p.at("CLI_NUM"), c.kept_client);
    EXPECT_EQ(p.at("INV_NUM"), c.inv_num);
    EXPECT_EQ(p.at("PR_STREET"), "");
    EXPECT_EQ(p.at("PR_CITY"), "Atlanta");
    EXPECT_EQ(p.at("PR_DFINISH"), before.at("PR_DFINISH"));
    EXPECT_EQ(p.at("PR_LOT"), before.at("PR_LOT"));  // legal fields are not read
    EXPECT_EQ(p.at("PR_FHA_NUM"), before.at("PR_FHA_NUM"));
    EXPECT_EQ(Count("PROPERTY.DBF"), properties);
    EXPECT_EQ(Count("CLIENT.DBF"), clients);
    EXPECT_EQ(Count("INVOICE.DBF"), invoices);
    ExpectConsistent();
    form_.reset();
    sim_.reset();
  }
}

TEST_F(ReadE2eTest, NoChangesNoByteAndEndsWhenAsked) {
  for (const char* file : {"new-01", "24-00102"}) {
    SCOPED_TRACE(file);
    Fields job = NewJob();
    job["offscrn|3|3"] = file;
    Serve("URAR", job);
    ini_.Set(kXfrIni, "PREFERENCES", "AUTOEXIT", "1");
    window_.yes_no_default = Answer::kNo;
    const auto before = TableBytes();
    form_ = std::make_unique<FrmMain>(app_);
    Initialize(app_);
    frmMainForm_Load(*form_);
    EXPECT_THROW(CmdRead_Click(*form_), EndProgram);
    EXPECT_TRUE(form_->unloaded);
    EXPECT_FALSE(form_->aniCopy.visible);
    EXPECT_FALSE(form_->LblMsg.visible);
    EXPECT_EQ(window_.pointers.back(), Pointer::kDefault);
    EXPECT_EQ(TableBytes(), before);
    form_.reset();
    sim_.reset();
  }
}

TEST_F(ReadE2eTest, ZnaFormAndMissingPerFormEntries) {
  ini_.data[FakeIni::Up(kXfrIni)].erase("CENSUS");
  ini_.data[FakeIni::Up(kXfrIni)].erase("MAPREF");
  ini_.data[FakeIni::Up(kXfrIni)].erase("OWNER");
  Fields job = NewJob();
  job["znaprof|3|1"] = "zna-77";
  job["ZNA|25|2"] = "never asked";
  Serve("ZNA", job);
  const int clients = Count("CLIENT.DBF");
  form_ = std::make_unique<FrmMain>(app_);
  Initialize(app_);
  frmMainForm_Load(*form_);
  form_->lblCli_Num.caption = "10002";  // left by an earlier read of another job
  CmdRead_Click(*form_);
  EXPECT_EQ(form_->lblCli_Num.caption, "10002");
  EXPECT_EQ(form_->lblPr_Census.caption, "");
  EXPECT_EQ(form_->lblPr_Owner.caption, "");
  Close();
  Strings fields;
  for (const std::string& item : Requested()) {
    if (item.find('|') != std::string::npos) fields.push_back(item);
  }
  // The file number, then the ten subject fields that have an address; no client field, and
  // nothing for census, map reference and owner.
  ASSERT_EQ(fields.size(), 11u);
  EXPECT_EQ(fields[0], "znaprof|3|1");
  for (const std::string& item : fields) {
    EXPECT_EQ(item.find("offscrn|13|"), std::string::npos) << item;
    EXPECT_EQ(item.find("ZNA|"), std::string::npos) << item;
  }
  const Fields p = Record("PROPERTY.DBF", "FILE_NUM", "ZNA-77");
  EXPECT_EQ(p.at("CLI_NUM"), "");
  EXPECT_EQ(p.at("PR_CENSUS"), "");
  EXPECT_EQ(p.at("PR_STREET"), "1650 Briarcliff Road Northeast, Building");
  EXPECT_EQ(Record("INVOICE.DBF", "INV_NUM", "ZNA-77").at("INV_NUM"), "ZNA-77");
  EXPECT_EQ(Count("CLIENT.DBF"), clients);
  ExpectConsistent();
}

TEST_F(ReadE2eTest, CompletionDateOfLettersIsReportedThenEmpty) {
  Fields job = NewJob();
  job["offscrn|11|2"] = "pending";
  Serve("URAR", job);
  window_.error_default = Answer::kIgnore;
  Read();
  Close();
  ASSERT_EQ(window_.boxes.size(), 2u);
  EXPECT_EQ(window_.boxes[0].title, "Error");
  EXPECT_NE(window_.boxes[0].text.find("in module ReturnADate."), std::string::npos);
  EXPECT_EQ(window_.boxes[1].text, "NEW-01 was not found.  Add?");
  const Fields p = Record("PROPERTY.DBF", "FILE_NUM", "NEW-01");
  EXPECT_EQ(p.at("PR_DFINISH"), "");
  EXPECT_EQ(p.at("PR_APPRVAL"), "425000");
  ExpectConsistent();
}

TEST_F(ReadE2eTest, EarlyEndsWriteNothing) {
  struct Case {
    std::string file;
    std::string message;
  } cases[] = {
      {"   ", ""},
      {"abcd-1234",
       "The file number ABCD-1234 must not be greater than eight (8) characters in "
       "length."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Fields job = NewJob();
    job["offscrn|3|3"] = c.file;
    Serve("URAR", job);
    window_.boxes.clear();
    const auto before = TableBytes();
    FrmMain& f = Read();
    EXPECT_EQ(window_.boxes.size(), c.message.empty() ? 0u : 1u);
    if (!c.message.empty()) EXPECT_EQ(window_.boxes[0].text, c.message);
    if (c.message.empty()) EXPECT_EQ(f.LblMsg.caption, kNoFileNumberStatus);
    Close();
    EXPECT_EQ(TableBytes(), before);
    form_.reset();
    sim_.reset();
  }
}

}  // namespace
}  // namespace xfr
