// The read end to end: the read command over the session bus against apx-sim, writing copies of
// the fixture tables through the FoxPro engine. What was written is read back with an independent
// reader (dbfread); the tables and indexes are checked with dbftool and the independent checker.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/dbus/apx_sim_process.h"
#include "transfer/read_driver.h"

namespace xfr {
namespace {

namespace fs = std::filesystem;
using Fields = std::map<std::string, std::string>;
using testing::Output;

constexpr const char* kXfrIni = "C:\\WINDOWS\\XFR.INI";
constexpr const char* kPython = "/usr/bin/python3";

// "NAME=value" texts as fields.
Fields Pairs(const std::vector<std::string>& pairs) {
  Fields fields;
  for (const std::string& p : pairs) fields[p.substr(0, p.find('='))] = p.substr(p.find('=') + 1);
  return fields;
}

// The report file apx-sim serves: one report, RPT1, on `form`, holding `fields`.
std::string ReportJson(const std::string& form, const Fields& fields) {
  std::string json =
      R"({"reports": {"RPT1": {"forms": [")" + form + R"(", "offscrn"], "fields": {)";
  for (const auto& [item, value] : fields) json += "\"" + item + "\": \"" + value + "\",";
  json.pop_back();
  return json + "}}}}";
}

// A report of a job that is not in the fixture tables yet (its street over 40 characters).
Fields NewJob() {
  return Pairs({"offscrn|3|3= new-01 ",
                "offscrn|7|1=1650 Briarcliff Road Northeast, Building C, Unit 4",
                "offscrn|8|1=Atlanta",
                "offscrn|8|3=GA",
                "offscrn|8|4=30306",
                "offscrn|8|2=DeKalb",
                "offscrn|24|1=Druid Hills",
                "URAR|25|2=0201.00",
                "URAR|25|1=18-054-02-011",
                "offscrn|2|3=LN-9001",
                "offscrn|11|1=$425,000",
                "offscrn|11|2=12/1/26",
                "offscrn|6|1=Chris Buyer",
                "URAR|5|1=Pat Seller",
                "offscrn|13|1= dm001 ",
                "offscrn|14|1=Druid Hills Mortgage",
                "offscrn|15|1=10 Ponce de Leon Ave",
                "offscrn|16|1=Suite 300",
                "offscrn|17|1=Atlanta, GA 30306",
                "offscrn|20|3=Robin Lee"});
}

class ReadE2eTest : public testing::TablesE2eTest {
 protected:
  void SetUp() override {
    int status = 1;
    Output(std::string(kPython) + " -c 'import dbfread' 2>/dev/null", &status);
    if (status != 0) GTEST_SKIP() << "python3-dbfread is not installed";
    ini_.Set(kXfrIni, "FORM", "URAR", "URAR");
    ini_.Set(kXfrIni, "CENSUS", "URAR", "25|2");
    ini_.Set(kXfrIni, "MAPREF", "URAR", "25|1");
    ini_.Set(kXfrIni, "OWNER", "URAR", "5|1");
    clock_.today = Date{2025, 6, 15};
  }
  void TearDown() override { Close(); }

  // Serves `job` on `form`, loads the window and reads; true when the read ended the program.
  bool Read(const Fields& job, const std::string& form = "URAR") {
    if (sim_) StopServing();
    ServeJson(ReportJson(form, job));
    window_.boxes.clear();
    Start();
    try {
      CmdRead_Click(*form_);
    } catch (const EndProgram&) {
      return true;
    }
    return false;
  }
  // Closes the window, as the program ends.
  void Close() {
    if (form_ && !form_->unloaded) Form_Unload(*form_);
  }

  // The live records of a table as dbfread sees them ("" for empty values, dates as YYYY-MM-DD).
  std::vector<Fields> Table(const std::string& table) {
    testing::WriteFile(dir_.File("dump.py"),
                       "import dbfread,sys\n"
                       "for r in dbfread.DBF(sys.argv[1], char_decode_errors='replace',\n"
                       "                     ignore_missing_memofile=True):\n"
                       "  print('\\x1e')\n"
                       "  for k,v in r.items():\n"
                       "    if k!='PR_NOTES': print('%s=%s' % (k, '' if v is None else v))\n");
    std::istringstream out(Output(std::string(kPython) + " '" + dir_.File("dump.py") + "' '" +
                                  data_ + "/" + table + "'"));
    std::vector<Fields> records;
    for (std::string line; std::getline(out, line);) {
      const std::size_t eq = line.find('=');
      if (line == "\x1e") {
        records.emplace_back();
      } else if (eq != std::string::npos && !records.empty()) {
        records.back()[line.substr(0, eq)] = line.substr(eq + 1);
      }
    }
    return records;
  }
  // The record whose `key_field`, upper-cased, is `key`; empty when there is none.
  Fields Record(const std::string& table, const std::string& key_field, const std::string& key) {
    for (Fields& r : Table(table)) {
      std::string value = r[key_field];
      for (char& ch : value) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      if (value == key) return r;
    }
    return {};
  }
  void ExpectFields(const Fields& record, const std::vector<std::string>& want) {
    for (const auto& [field, value] : Pairs(want)) {
      EXPECT_EQ(record.count(field) ? record.at(field) : "(absent)", value) << field;
    }
  }
  // Live records of PROPERTY, CLIENT and INVOICE.
  std::array<std::size_t, 3> Counts() {
    return {Table("PROPERTY.DBF").size(), Table("CLIENT.DBF").size(), Table("INVOICE.DBF").size()};
  }

  // The tables and every index tag are consistent, by dbftool and the independent checker.
  void ExpectConsistent() {
    int status = -1;
    std::string out =
        Output(std::string(XFR_BINARY_DIR) + "/src/dbftool check '" + data_ + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    const std::string checker = std::string(XFR_SHARED_DIR) + "/tools/checktables.py";
    if (!fs::exists(checker)) return;
    out = Output(std::string(kPython) + " '" + checker + "' '" + data_ + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
  }
};

TEST_F(ReadE2eTest, AddWritesPropertyNewClientAndInvoice) {
  const auto before = Counts();
  Read(NewJob());
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].text, "NEW-01 was not found.  Add?");
  EXPECT_EQ(form_->txtPlain_Name.text, "Druid Hills Mortgage");
  EXPECT_TRUE(form_->txtCli_Cont.visible);
  Close();

  // The street cut to 40, 12/1/26 never 1926, "$425,000" never 425.
  ExpectFields(
      Record("PROPERTY.DBF", "FILE_NUM", "NEW-01"),
      {"FILE_NUM=NEW-01", "PR_STREET=1650 Briarcliff Road Northeast, Building", "PR_CITY=Atlanta",
       "PR_COUNTY=DeKalb", "PR_SUBDIV=Druid Hills", "PR_CENSUS=0201.00", "PR_MAP_REF=18-054-02-011",
       "PR_REF_NUM=LN-9001", "PR_OWNER=Pat Seller", "PR_BORROWR=Chris Buyer", "ASS_TYPE=URAR",
       "PR_DFINISH=2026-12-01", "PR_APPRVAL=425000", "INV_NUM=NEW-01", "CLI_NUM=DM001", "PR_LOT="});
  ExpectFields(Record("CLIENT.DBF", "CLI_NUM", "DM001"),
               {"CLI_NUM=DM001", "CLI_LNAME=Druid Hills Mortgage",
                "PLAIN_NAME=Druid Hills Mortgage", "CLI_STREET=10 Ponce de Leon Ave",
                "CLI_ADDR2=Suite 300", "CLI_ADDR3=Atlanta, GA 30306", "CLI_CONT=Robin Lee"});
  ExpectFields(Record("INVOICE.DBF", "INV_NUM", "NEW-01"), {"INV_NUM=NEW-01"});
  EXPECT_EQ(Counts(), (std::array<std::size_t, 3>{before[0] + 1, before[1] + 1, before[2] + 1}));
  ExpectConsistent();
}

// An existing client (matched in any case) is linked, never rewritten; a completion date of
// letters is reported and the date is stored empty.
TEST_F(ReadE2eTest, AddWithExistingClientAndALetteredDate) {
  Fields job = NewJob();
  job["offscrn|13|1"] = " amc01 ";
  job["offscrn|14|1"] = "Not Written Anywhere";
  job["offscrn|11|2"] = "pending";
  window_.error_default = Answer::kIgnore;
  const auto before = Counts();
  Read(job);
  Close();
  ASSERT_EQ(window_.boxes.size(), 2u);
  EXPECT_NE(window_.boxes[0].text.find("in module ReturnADate."), std::string::npos);
  EXPECT_EQ(window_.boxes[1].text, "NEW-01 was not found.  Add?");
  ExpectFields(Record("PROPERTY.DBF", "FILE_NUM", "NEW-01"),
               {"CLI_NUM=AMC01", "PR_DFINISH=", "PR_APPRVAL=425000"});
  EXPECT_EQ(Counts(), (std::array<std::size_t, 3>{before[0] + 1, before[1], before[2] + 1}));
  EXPECT_EQ(Output("grep -c 'Not Written Anywhere' '" + data_ + "/CLIENT.DBF' || true"), "0\n");
  ExpectConsistent();
}

TEST_F(ReadE2eTest, UpdateKeepsClientAndInvoiceAndFillsBlankOnes) {
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
    job["offscrn|11|2"] = "";
    job["offscrn|7|1"] = "";
    const auto counts = Counts();
    const Fields before = Record("PROPERTY.DBF", "FILE_NUM", c.file);
    Read(job);
    ASSERT_EQ(window_.boxes.size(), 1u);
    EXPECT_EQ(window_.boxes[0].text, c.file + " was found.  Update?");
    EXPECT_EQ(form_->txtCli_LName.visible, c.kept_client != "10004");
    Close();
    // Empty captures clear the street but not the completion date; legal fields are not read.
    ExpectFields(Record("PROPERTY.DBF", "FILE_NUM", c.file),
                 {"FILE_NUM=" + c.file, "CLI_NUM=" + c.kept_client, "INV_NUM=" + c.inv_num,
                  "PR_STREET=", "PR_CITY=Atlanta", "PR_DFINISH=" + before.at("PR_DFINISH"),
                  "PR_LOT=" + before.at("PR_LOT"), "PR_FHA_NUM=" + before.at("PR_FHA_NUM")});
    EXPECT_EQ(Counts(), counts);
    ExpectConsistent();
  }
}

// Early ends, and a No to the question, leave every table byte as it was.
TEST_F(ReadE2eTest, EarlyEndsAndNoWriteNothing) {
  ini_.Set(kXfrIni, "PREFERENCES", "AUTOEXIT", "1");
  window_.yes_no_default = Answer::kNo;
  struct Case {
    std::string file, box;
    bool ends;
  } cases[] = {
      {"new-01", "NEW-01 was not found.  Add?", true},
      {"24-00102", "24-00102 was found.  Update?", true},
      {"   ", "", false},
      {"abcd-1234",
       "The file number ABCD-1234 must not be greater than eight (8) characters in length.", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Fields job = NewJob();
    job["offscrn|3|3"] = c.file;
    const auto before = TableBytes();
    EXPECT_EQ(Read(job), c.ends);
    EXPECT_EQ(window_.boxes.empty() ? "" : window_.boxes[0].text, c.box);
    Close();
    EXPECT_EQ(TableBytes(), before);
  }
}

// The ZNA form: no client, and no per-form field of another form.
TEST_F(ReadE2eTest, ZnaFormAddsWithoutClient) {
  Fields job = NewJob();
  job["znaprof|3|1"] = "zna-77";
  job["ZNA|25|2"] = "never asked";
  const auto before = Counts();
  Read(job, "ZNA");
  Close();
  ExpectFields(Record("PROPERTY.DBF", "FILE_NUM", "ZNA-77"),
               {"CLI_NUM=", "PR_CENSUS=", "PR_STREET=1650 Briarcliff Road Northeast, Building"});
  ExpectFields(Record("INVOICE.DBF", "INV_NUM", "ZNA-77"), {"INV_NUM=ZNA-77"});
  EXPECT_EQ(Counts(), (std::array<std::size_t, 3>{before[0] + 1, before[1], before[2] + 1}));
  ExpectConsistent();
}

}  // namespace
}  // namespace xfr
