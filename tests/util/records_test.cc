#include "util/records.h"

#include <gtest/gtest.h>

#include <cmath>

#include "fakes/office.h"

namespace xfr {
namespace {

// Over the office's PROPERTY (its FILE_NUM tag upper-cases): a hit moves, a miss or a blank key
// keeps the current record; 3019 is retried a bounded number of times and 3021 answers not found,
// both quietly; a tag the table lacks goes to the report, after Ignore not found.
TEST(FindRecord, HitsMissesAndTheErrorConvention) {
  testing::Office o;
  DataControl& dc = o.Load().datproperty;
  struct Case {
    std::string key;
    bool found;
    std::string street_after;
  } cases[] = {
      {"24-00103", true, "3 Elm St"},  {"  24-00103  ", true, "3 Elm St"},
      {"AC24-104", true, "4 Oak Ave"}, {"99-99999", false, "1 Main St"},
      {"   ", false, "1 Main St"},     {"", false, "1 Main St"},
  };
  for (const auto& c : cases) {
    dc.MoveFirst();
    EXPECT_EQ(FindRecord(o.app, dc, c.key, "File_Num"), c.found) << c.key;
    EXPECT_EQ(ValueText(dc.Field("PR_STREET")), c.street_after) << c.key;
  }
  o.property->fail_next["Seek"] = {3019, 3019};
  EXPECT_TRUE(FindRecord(o.app, dc, "24-00103", "FILE_NUM"));
  o.property->fail_next["Seek"] = std::vector<int>(10, 3019);
  EXPECT_FALSE(FindRecord(o.app, dc, "24-00103", "FILE_NUM"));
  o.property->fail_next["Seek"] = {3021};
  EXPECT_FALSE(FindRecord(o.app, dc, "24-00103", "FILE_NUM"));
  EXPECT_TRUE(o.window.boxes.empty());
  o.property->fail_next.clear();
  o.window.answers = {Answer::kIgnore, Answer::kIgnore};
  EXPECT_FALSE(FindRecord(o.app, dc, "24-00103", "NO_TAG"));
  ASSERT_FALSE(o.window.boxes.empty());
  EXPECT_NE(o.window.boxes[0].text.find("in module FindRecord."), std::string::npos);

  // Trim2Size pads and cuts to the field's width; a field the table lacks goes to the report.
  o.window.boxes.clear();
  EXPECT_EQ(Trim2Size(o.app, dc, "  abc  ", "FILE_NUM"), "abc     ");
  EXPECT_EQ(Trim2Size(o.app, dc, "abcdefghijk", "file_num"), "abcdefgh");
  o.window.answers = {Answer::kIgnore};
  EXPECT_EQ(Trim2Size(o.app, dc, "abc", "NOFIELD"), "");
  EXPECT_EQ(o.window.boxes.size(), 1u);
}

// A typed box is written before a move; with no record to take it, the close writes nothing.
TEST(DataControl, EditedBoxesAndTypedLogicalValues) {
  testing::Harness h;
  auto table = h.tables.Add("NOTES.DBF", {{"NOTE", 'C', 10, 0}}, {{"NOTE", "NOTE"}});
  DataControl dc{h.app, "datnotes"};
  dc.RecordSource = "NOTES.DBF";
  dc.Refresh();
  TextBox box{"t"};
  dc.Bind(box, "NOTE");
  std::vector<std::pair<int, int>> seen;  // (action, save) of Validate, (error, 0) of Error
  dc.Validate = [&](int& action, int& save) { seen.push_back({action, save}); };
  dc.Error = [&](int error, int&) { seen.push_back({error, 0}); };
  box.Type("no record");
  dc.Close();  // an empty table: nothing to write into
  dc.Refresh();
  dc.AddNew();
  box.Type("typed");
  dc.MoveFirst();
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{10, -1}, {9, 0}, {16, -1}}));
  ASSERT_EQ(table->records.size(), 1u);
  EXPECT_EQ(ValueText(table->records[0][0]), "typed");
  seen.clear();
  dc.Edit();
  box.Type("edited and cut");
  dc.Update();  // a write is announced too, and the box shows what was stored
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{16, -1}}));
  EXPECT_EQ(box.text, "edited and");
  dc.AddNew();  // an append unless the key is there: the box shows what was added
  dc.SetField("NOTE", std::string("added"));
  EXPECT_TRUE(dc.UpdateUnlessFound("NOTE") && box.text == "added");
  table->fail_next["Update"] = {kErrRecordLocked};  // a write that fails stops the move
  box.Type("changed");
  dc.AddNew();
  EXPECT_EQ(box.text + std::to_string(table->records.size()), "changed2");
  DataControl never_opened{h.app, "datnone"};
  EXPECT_THROW(never_opened.MoveFirst(), RuntimeError);
  // Values as the table stores them: text cut to the field, numbers to the field's decimals and
  // never "-0"; anything else as it is.
  h.tables.Add("V.DBF", {{"AMT", 'N', 8, 2}, {"NAME", 'C', 5, 0}, {"DT", 'D', 8, 0}}, {});
  dc.RecordSource = "V.DBF";
  dc.Refresh();
  EXPECT_EQ(dc.AsStored("NAME", Value(std::string("abcdefg"))), Value(std::string("abcde")));
  EXPECT_EQ(dc.AsStored("AMT", Value(1.25625)), Value(1.26));
  EXPECT_FALSE(std::signbit(std::get<double>(dc.AsStored("AMT", Value(-0.001)))));
  EXPECT_EQ(dc.AsStored("AMT", Value(std::string("12.345"))), Value(std::string("12.345")));
  EXPECT_EQ(dc.AsStored("DT", Value(1.25625)), Value(1.25625));

  const FieldInfo flag{"OK", 'L', 1, 0};
  for (const char* yes : {"TRUE", "t", " y ", "Yes", "-1"})
    EXPECT_EQ(TextToFieldValue(flag, yes), Value(true)) << yes;
  for (const char* no : {"FALSE", "f", "n", "No", "0"})
    EXPECT_EQ(TextToFieldValue(flag, no), Value(false)) << no;
  EXPECT_THROW(TextToFieldValue(flag, "maybe"), RuntimeError);
}

}  // namespace
}  // namespace xfr
