#include "util/records.h"

#include <gtest/gtest.h>

#include "fakes/harness.h"

namespace xfr {
namespace {

class FindRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table = h.tables.Add("PROPERTY.DBF", {{"FILE_NUM", 'C', 8, 0}, {"PR_STREET", 'C', 30, 0}},
                         {{"FILE_NUM", "FILE_NUM", true}});
    table->Append({"24-00101", "1 Main St"});
    table->Append({"24-00102", "2 Main St"});
    table->Append({"ac24-104", "4 Oak Ave"});
    dc.RecordSource = "PROPERTY.DBF";
    dc.Refresh();
  }
  testing::Harness h;
  std::shared_ptr<testing::FakeTableData> table;
  DataControl dc{h.app, "datproperty"};
};

TEST_F(FindRecordTest, HitMovesMissAndBlankKeepCurrentRecord) {
  struct Case {
    std::string key;
    bool found;
    std::string street_after;
  } cases[] = {
      {"24-00102", true, "2 Main St"}, {"  24-00102  ", true, "2 Main St"},
      {"AC24-104", true, "4 Oak Ave"}, {"99-99999", false, "1 Main St"},
      {"   ", false, "1 Main St"},     {"", false, "1 Main St"},
  };
  for (const auto& c : cases) {
    dc.MoveFirst();
    EXPECT_EQ(FindRecord(h.app, dc, c.key, "File_Num"), c.found) << c.key;
    EXPECT_EQ(ValueText(dc.Field("PR_STREET")), c.street_after) << c.key;
  }
  EXPECT_TRUE(h.window.boxes.empty());
}

TEST_F(FindRecordTest, ErrorsFollowTheConvention) {
  // 3019 is retried a bounded number of times, then answers not found.
  table->fail_next["Seek"] = {3019, 3019};
  EXPECT_TRUE(FindRecord(h.app, dc, "24-00102", "FILE_NUM"));
  table->fail_next["Seek"] = std::vector<int>(10, 3019);
  EXPECT_FALSE(FindRecord(h.app, dc, "24-00102", "FILE_NUM"));
  // 3021 answers false quietly.
  table->fail_next["Seek"] = {3021};
  EXPECT_FALSE(FindRecord(h.app, dc, "24-00102", "FILE_NUM"));
  EXPECT_TRUE(h.window.boxes.empty());
  // A tag the table does not have goes to the report; after Ignore the answer is false.
  table->fail_next.clear();
  h.window.answers = {Answer::kIgnore, Answer::kIgnore};
  EXPECT_FALSE(FindRecord(h.app, dc, "24-00102", "NO_TAG"));
  ASSERT_FALSE(h.window.boxes.empty());
  EXPECT_NE(h.window.boxes[0].text.find("in module FindRecord."), std::string::npos);

  // Trim2Size pads and cuts to the field's width; a field the table lacks goes to the report.
  h.window.boxes.clear();
  EXPECT_EQ(Trim2Size(h.app, dc, "  abc  ", "FILE_NUM"), "abc     ");
  EXPECT_EQ(Trim2Size(h.app, dc, "abcdefghijk", "file_num"), "abcdefgh");
  h.window.answers = {Answer::kIgnore};
  EXPECT_EQ(Trim2Size(h.app, dc, "abc", "NOFIELD"), "");
  EXPECT_EQ(h.window.boxes.size(), 1u);
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
  dc.Update();  // a write is announced too
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{16, -1}}));
  dc.AddNew();  // an append unless the key is there: the box shows what was added
  dc.SetField("NOTE", std::string("added"));
  EXPECT_TRUE(dc.UpdateUnlessFound("NOTE") && box.text == "added");

  const FieldInfo flag{"OK", 'L', 1, 0};
  for (const char* yes : {"TRUE", "t", " y ", "Yes", "-1"})
    EXPECT_EQ(TextToFieldValue(flag, yes), Value(true)) << yes;
  for (const char* no : {"FALSE", "f", "n", "No", "0"})
    EXPECT_EQ(TextToFieldValue(flag, no), Value(false)) << no;
  EXPECT_THROW(TextToFieldValue(flag, "maybe"), RuntimeError);
  const FieldInfo day{"DT", 'D', 8, 0};  // a typed two-digit year: 2000s below 30, else 1900s
  EXPECT_EQ(TextToFieldValue(day, "6/3/29"), TextToFieldValue(day, "6/3/2029"));
  EXPECT_EQ(TextToFieldValue(day, "6/3/30"), TextToFieldValue(day, "6/3/1930"));
}

}  // namespace
}  // namespace xfr
