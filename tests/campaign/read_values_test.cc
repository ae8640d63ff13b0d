// What a read writes is what the person was shown, on copies of the fixture tables (code page
// 1252) through the real engine: every value the question's details name is what the record
// then holds; a key the table cannot hold, a table that is missing, a job handed over that the
// tables lack end or change nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>

#include "campaign/real_office.h"
#include "platform/xbase/codepage.h"
#include "shell/lifecycle.h"

namespace xfr::campaign {
namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

// The field and the value a line of the details says it will hold ("" for cleared); false for
// a line about no one field.
bool Says(std::string line, std::string* field, std::string* value) {
  const std::size_t colon = line.find(": ");
  if (colon == std::string::npos || line.starts_with("Client")) return false;
  *field = line.substr(0, colon);
  line.erase(0, line.find(" -> ") == std::string::npos ? colon + 2 : line.find(" -> ") + 4);
  *value = line.starts_with("cleared") ? "" : line.substr(1, line.find('"', 1) - 1);
  return true;
}

// The fields of the live record of `table` in dir whose first field is `key`, trimmed on the
// right ("" for a blank one), by name.
std::map<std::string, std::string> Record(const std::string& dir, const std::string& table,
                                          const std::string& key) {
  std::map<std::string, std::string> record;
  TableDump dump = DumpTables(dir);
  for (const auto& row : dump[table]) {
    if (!row[0].empty() || row[1].substr(row[1].find('=') + 1) != key) continue;
    for (std::size_t f = 1; f < row.size(); ++f) {
      record[row[f].substr(0, row[f].find('='))] = row[f].substr(row[f].find('=') + 1);
    }
  }
  return record;
}

// The bytes `field` of that record holds, without the blanks the table pads it with.
std::string Bytes(const std::string& dir, const std::string& table, const std::string& key,
                  const std::string& field) {
  std::string bytes = xbase::CodePage::ForMark(0x03).FromUtf8(Record(dir, table, key)[field]);
  return bytes.erase(bytes.find_last_not_of(' ') + 1);
}

// True when the files of dir are `before`, but for an empty journal (a read that got as far as
// its lookup opens it, writing no line).
bool Unchanged(const std::string& dir, const std::map<std::string, std::string>& before) {
  auto after = Files(dir);
  if (after.count("TRANSFER.LOG") && after["TRANSFER.LOG"].empty()) after.erase("TRANSFER.LOG");
  return after == before;
}

// The code page mark (DBF byte 29) of table `name` in dir made 437, which has no "€".
std::function<void(const std::string&)> Cp437(const char* name) {
  return [name](const std::string& dir) {
    std::fstream(dir + "/" + name, std::ios::in | std::ios::out | std::ios::binary).seekp(29)
        << '\x01';
  };
}

// Refused: what the person is told when the key cannot be stored exactly.
std::string NotHeld(const std::string& what, const std::string& where, const std::string& as) {
  return "The " + what + " cannot be written to " + where +
         ": the table cannot hold some of its characters and would store \"" + as +
         "\".  Change it in the appraisal report and read again.  Nothing was written.";
}

// Each case reads the new job NEW-01 (client NEW01) of the fake report but for `report`, answers
// the question Yes, and then reads again answering No: every value the first question's details
// name is what the record holds; the second finds nothing left to change. A refused read writes
// no file.
TEST(ReadValues, DetailsShowWhatTheRecordThenHolds) {
  const std::string street(45, 's');
  const std::string cannot = "; \"?\" stands for a character the table cannot hold)";
  struct Case {
    const char* name;
    Fields report;                  // items of RPT1 changed
    std::string box;                // the first box's text
    std::vector<std::string> says;  // lines of its details
    Fields bytes = {};              // "TABLE KEY FIELD" and the bytes it then holds
    std::function<void(const std::string&)> change = nullptr;  // of the tables, before the start
  } cases[] = {
      {"update: a city the table cannot hold, 1252's own characters kept, a street cut",
       {{"offscrn|3|3", "24-00101"}, {"offscrn|8|1", "Łódź"}, {"URAR|5|1", "Zoë Œuvre €5"},
        {"offscrn|7|1", street}},
       "24-00101 was found.  Update?",
       {"PR_CITY: \"Marietta\" -> \"?ód?\" (the report has \"Łódź\"" + cannot,
        "PR_OWNER: \"Harold J. Pruitt\" -> \"Zoë Œuvre €5\"",
        "PR_STREET: \"1418 Willow Bend Dr\" -> \"" + street.substr(0, 40) + "\" (the report has \"" +
            street + "\"; cut to 40 characters)",
        "Client: stays 10004 (not in the client list)"},
       {{"PROPERTY 24-00101 PR_CITY", "?\xF3" "d?"},
        {"PROPERTY 24-00101 PR_OWNER", "Zo\xEB \x8Cuvre \x80" "5"}}},
      {"add: every field the new job and its new client hold, told before Add?",
       {{"offscrn|14|1", "Zoë 北京"}, {"offscrn|7|1", "北京 " + street}},
       "NEW-01 was not found.  Add?",
       {"FILE_NUM: \"NEW-01\"", "INV_NUM: \"NEW-01\"",
        "PR_STREET: \"?? " + street.substr(0, 37) + "\" (the report has \"北京 " + street +
            "\"; \"?\" stands for a character the table cannot hold; cut to 40 characters)",
        "Client: none -> NEW01 (a new client, added from the report)",
        "  PLAIN_NAME: \"Zoë ??\" (the report has \"Zoë 北京\"" + cannot},
       {{"CLIENT NEW01 PLAIN_NAME", "Zo\xEB ??"}}},
      {"an update keeps the job's client: the report's client number is not used",
       {{"offscrn|3|3", "24-00101"}, {"offscrn|13|1", "北京"}},
       "24-00101 was found.  Update?",
       {"Client: stays 10004 (not in the client list)"}},
      {"a file number the table cannot hold", {{"offscrn|3|3", "24-北京"}},
       NotHeld("file number \"24-北京\"", "FILE_NUM of PROPERTY.DBF", "24-??"), {}},
      {"a new job's client number the table cannot hold", {{"offscrn|13|1", "北京"}},
       NotHeld("client number \"北京\"", "CLI_NUM of CLIENT.DBF", "??"), {}},
      {"a file number the invoices' code page cannot hold", {{"offscrn|3|3", "24-€"}},
       NotHeld("file number \"24-€\"", "INV_NUM of INVOICE.DBF", "24-?"), {}, {},
       Cp437("INVOICE.DBF")},
      {"a client number the jobs' code page cannot hold", {{"offscrn|13|1", "€1"}},
       NotHeld("client number \"€1\"", "CLI_NUM of PROPERTY.DBF", "?1"), {}, {},
       Cp437("PROPERTY.DBF")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    CopyTrackingTables(dir.path());
    if (c.change) c.change(dir.path());
    const auto before = Files(dir.path());
    RealOffice office(dir.path());
    office.window.yes_no_default = Answer::kYes;
    for (const auto& [item, value] : c.report) office.dde.SetAnswer("RPT1", item, value);
    ASSERT_EQ(office.Start(), Ended::kNormally);
    ASSERT_EQ(office.Read(), Ended::kNormally);
    ASSERT_FALSE(office.window.boxes.empty());
    const testing::ShownBox first = office.window.boxes[0];
    EXPECT_EQ(first.text, c.box);
    if (first.buttons != Buttons::kYesNo) {
      EXPECT_EQ(office.Boxes(), c.box);
      office.Close();
      EXPECT_TRUE(Unchanged(dir.path(), before));
      continue;
    }
    const std::string file_num = first.text.substr(0, first.text.find(' '));
    std::string line, field, value;
    for (std::istringstream lines(first.details); std::getline(lines, line);) {
      if (!Says(line, &field, &value)) continue;
      const bool client = line.starts_with("  ");
      int m = 0, d = 0, y = 0;  // a date as the table keeps it
      if (std::sscanf(value.c_str(), "%d/%d/%d", &m, &d, &y) == 3) {
        value = std::to_string(y * 10000 + m * 100 + d);
      }
      EXPECT_EQ(Record(dir.path(), client ? "CLIENT" : "PROPERTY",
                       client ? "NEW01" : file_num)[field.substr(client ? 2 : 0)],
                value)
          << line;
    }
    for (const std::string& l : c.says) {
      EXPECT_NE(("\n" + first.details + "\n").find("\n" + l + "\n"), std::string::npos)
          << l << "\n" << first.details;
    }
    for (const auto& [where, bytes] : c.bytes) {
      std::istringstream words(where);
      std::string table, key;
      words >> table >> key >> field;
      EXPECT_EQ(Bytes(dir.path(), table, key, field), bytes) << where;
    }
    office.window.boxes.clear();
    office.window.yes_no_default = Answer::kNo;
    office.Read();
    ASSERT_FALSE(office.window.boxes.empty());
    EXPECT_TRUE(office.window.boxes[0].details.starts_with("No field of the job would change."))
        << office.window.boxes[0].details;
    office.Close();
    xbase::table_testing::ExpectConsistent(dir.path());
  }
}

// A table missing at start-up: the window comes up, and a read answered Yes says which table is
// missing and writes nothing, not even the journal. A job handed over that the tables lack: the
// window keeps its record and says so on the status line, without a box.
TEST(ReadValues, MissingTableAndUnknownHandOffChangeNothing) {
  for (const char* table : {"INVOICE.DBF", "CLIENT.DBF"}) {
    SCOPED_TRACE(table);
    TempDir dir;
    CopyTrackingTables(dir.path());
    fs::remove(dir / table);
    const auto before = Files(dir.path());
    RealOffice office(dir.path());
    office.window.yes_no_default = Answer::kYes;
    ASSERT_EQ(office.Start(), Ended::kNormally);
    EXPECT_EQ(office.Read(), Ended::kNormally);
    office.Close();
    EXPECT_EQ(office.window.boxes.back().text, MissingTableMessage("C:\\TRK\\DATA", table));
    EXPECT_EQ(office.Boxes().find("Add?"), std::string::npos) << office.Boxes();
    EXPECT_TRUE(Unchanged(dir.path(), before));
  }
  TempDir dir;
  CopyTrackingTables(dir.path());
  RealOffice office(dir.path());
  ASSERT_EQ(office.Start(), Ended::kNormally);
  office.files.Put("C:\\WINDOWS\\xfr.dat", "24-99999\r\n");
  Form_Paint(office.form());
  EXPECT_EQ(office.form().LblMsg.visible ? office.form().LblMsg.caption : "",
            "24-99999 was not found.");
  EXPECT_EQ(office.form().txtFile_Num.text, "24-00101");
  EXPECT_EQ(office.Boxes(), "");
  EXPECT_FALSE(office.files.Has("C:\\WINDOWS\\xfr.dat"));
}

}  // namespace
}  // namespace xfr::campaign
