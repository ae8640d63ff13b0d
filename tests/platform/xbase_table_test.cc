// The program's table connection over the FoxPro engine: seeks, bookmarks, field values, writes
// and the run-time errors the program expects (a locked or damaged table: the campaign tests, which
// read through this connection).
#include "platform/tables/xbase_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "base/text.h"
#include "platform/runtime_error.h"
#include "platform/xbase/table_test_util.h"
#include "support/error_of.h"

namespace xfr {
namespace {

using testing::ErrorOf;
using xbase::table_testing::TempDir;

class XbaseTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    xbase::table_testing::CopyFixtures("foxpro", dir_.path());
    service_ = std::make_unique<XbaseTableService>(
        [this](std::string_view directory, std::string_view file) -> std::string {
          seen_dir_ = std::string(directory);
          for (const auto& e : std::filesystem::directory_iterator(dir_.path())) {
            if (EqualsIgnoreCase(e.path().filename().string(), file)) return e.path().string();
          }
          return "";
        });
  }

  std::unique_ptr<Recordset> Open(const char* name) {
    return service_->Open("FoxPro 2.6;", "C:\\TRK\\DATA", name, 0);
  }

  TempDir dir_;
  std::string seen_dir_;
  std::unique_ptr<XbaseTableService> service_;
};

TEST_F(XbaseTableTest, SeeksReadsAndReturnsToBookmarks) {
  auto rs = Open("PROPERTY");
  EXPECT_EQ(seen_dir_, "C:\\TRK\\DATA");
  ASSERT_TRUE(rs->HasCurrent());
  EXPECT_EQ(std::get<std::string>(rs->GetField("file_num")), "24-00101");
  rs->SetIndex("File_Num");
  EXPECT_EQ(rs->Index(), "FILE_NUM");
  rs->Seek("=", "24-00120");
  ASSERT_FALSE(rs->NoMatch());
  EXPECT_EQ(std::get<std::string>(rs->GetField("PR_STREET")), "902 Muñoz Ct");
  EXPECT_EQ(std::get<double>(rs->GetField("PR_APPRVAL")), 402000);
  EXPECT_EQ(std::get<Date>(rs->GetField("Pr_dFinish")), (Date{2024, 3, 15}));
  EXPECT_TRUE(IsNull(rs->GetField("PR_NOTES")));
  EXPECT_EQ(rs->FieldSize("PR_STREET"), 40);
  std::string mark = rs->Bookmark();
  rs->Seek("=", "NOPE");
  EXPECT_TRUE(rs->NoMatch());
  EXPECT_FALSE(rs->HasCurrent());
  EXPECT_EQ(ErrorOf([&] { rs->Bookmark(); }), kErrNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->GetField("FILE_NUM"); }), kErrNoCurrentRecord);
  rs->SetBookmark(mark);
  EXPECT_EQ(std::get<std::string>(rs->GetField("FILE_NUM")), "24-00120");
  rs->Seek("=", "24-00116");  // a blank completion date is Null
  EXPECT_TRUE(IsNull(rs->GetField("PR_DFINISH")));
  rs->Seek("=", "24-00119");  // deleted
  EXPECT_TRUE(rs->NoMatch());
}

TEST_F(XbaseTableTest, AddsAndEditsRecordsWithEveryTag) {
  auto rs = Open("PROPERTY.DBF");
  rs->AddNew();
  EXPECT_TRUE(IsNull(rs->GetField("PR_CITY")));
  rs->SetField("File_Num", std::string("NEW001"));
  rs->SetField("Cli_Num", std::string("10004"));
  rs->SetField("PR_DFINISH", std::string("6/3/2024"));
  rs->SetField("PR_APPRVAL", 450000.0);
  rs->SetField("inv_num", std::string("NEW001-and-more"));
  rs->Update();
  EXPECT_EQ(rs->GetEditMode(), EditMode::kNone);
  EXPECT_EQ(std::get<std::string>(rs->GetField("INV_NUM")), "NEW001-a");
  EXPECT_EQ(rs->Bookmark(), "41");
  rs->SetIndex("CLI_NUM");
  rs->Seek("=", "10005");
  ASSERT_FALSE(rs->NoMatch());
  rs->Edit();
  rs->SetField("CLI_NUM", std::string("10099"));
  rs->SetField("PR_DFINISH", Value{});
  rs->Update();
  rs->Seek("=", "10099");
  EXPECT_FALSE(rs->NoMatch());
  EXPECT_TRUE(IsNull(rs->GetField("PR_DFINISH")));
  rs->SetIndex("FILE_NUM");
  rs->Seek("=", "NEW001");
  EXPECT_FALSE(rs->NoMatch());
  EXPECT_EQ(std::get<Date>(rs->GetField("PR_DFINISH")), (Date{2024, 6, 3}));
}

TEST_F(XbaseTableTest, RaisesTheErrorsTheProgramExpects) {
  auto rs = Open("INVOICE");
  struct Case {
    const char* what;
    std::function<void()> run;
    int error;
  } cases[] = {
      {"missing table", [&] { Open("NOSUCH.DBF"); }, kErrTableNotFound},
      {"no such tag", [&] { rs->SetIndex("FILE_NUM"); }, kErrNotAnIndex},
      {"seek without index", [&] { rs->Seek("=", "X"); }, kErrNoCurrentIndex},
      {"set without edit", [&] { rs->SetField("INV_NUM", std::string("X")); },
       kErrUpdateWithoutEdit},
      {"update without edit", [&] { rs->Update(); }, kErrUpdateWithoutEdit},
      {"no such field", [&] { rs->GetField("NOPE"); }, kErrItemNotFound},
      {"size of no field", [&] { rs->FieldSize("NOPE"); }, kErrItemNotFound},
      {"bad number",
       [&] {
         rs->AddNew();
         rs->SetField("INV_AMT", std::string("abc"));
       },
       kErrDataTypeMismatch},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorOf(c.run), c.error) << c.what;
  }
}

}  // namespace
}  // namespace xfr
