// The program's table connection over the FoxPro engine: the run-time errors the program expects.
// Its seeks, bookmarks, field values and writes, and a locked or damaged table: the campaign
// tests, which read through this connection (tests/campaign).
#include "platform/tables/xbase_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/runtime_error.h"
#include "platform/xbase/table_test_util.h"
#include "support/error_of.h"

namespace xfr {
namespace {

using testing::ErrorOf;

TEST(XbaseTableTest, RaisesTheErrorsTheProgramExpects) {
  xbase::table_testing::TempDir dir;
  xbase::table_testing::CopyFixtures("foxpro", dir.path());
  XbaseTableService service([&](std::string_view, std::string_view file) {
    const std::string path = dir / std::string(file);
    return std::filesystem::exists(path) ? path : std::string();
  });
  auto open = [&](const char* name) { return service.Open("FoxPro 2.6;", "C:\\TRK", name, 0); };
  auto rs = open("INVOICE.DBF");
  struct Case {
    const char* what;
    std::function<void()> run;
    int error;
  } cases[] = {
      {"missing table", [&] { open("NOSUCH.DBF"); }, kErrTableNotFound},
      {"no such tag", [&] { rs->SetIndex("FILE_NUM"); }, kErrNotAnIndex},
      {"seek without index", [&] { rs->Seek("=", "X"); }, kErrNoCurrentIndex},
      {"set without edit", [&] { rs->SetField("INV_NUM", std::string("X")); },
       kErrUpdateWithoutEdit},
      {"update without edit", [&] { rs->Update(); }, kErrUpdateWithoutEdit},
      {"the same outside add mode", [&] { rs->UpdateUnlessFound("INV_NUM"); },
       kErrUpdateWithoutEdit},
      {"no such field", [&] { rs->GetField("NOPE"); }, kErrItemNotFound},
      {"size of no field", [&] { rs->FieldSize("NOPE"); }, kErrItemNotFound},
      {"no record after a failed seek",
       [&] {
         rs->SetIndex("inv_num");
         rs->Seek("=", "NOPE");
         rs->Bookmark();
       },
       kErrNoCurrentRecord},
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
  rs->SetField("INV_AMT", true);  // a logical value in a number field: -1, as Basic has it
  EXPECT_EQ(ValueText(rs->GetField("INV_AMT")), "-1");
}

}  // namespace
}  // namespace xfr
