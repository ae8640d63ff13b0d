// A table open in one connection sees what another connection (another program) wrote since:
// records appended after every record it knew of was deleted, and keys under a root that moved.
#include <gtest/gtest.h>

#include "platform/xbase/table_test_util.h"

namespace xbase::table_testing {
namespace {

TEST(OtherWriter, ReadsWhatAnotherProgramWroteSince) {
  MemEnv env;
  PutFixture(&env, "PROPERTY");
  auto mine = OpenOrDie(&env, "PROPERTY.DBF"), other = OpenOrDie(&env, "PROPERTY.DBF");
  const int tag = mine->FindTag("FILE_NUM");
  Record r = mine->NewRecord();
  std::uint32_t count = 0, recno = 0;
  ASSERT_TRUE(mine->RecordCount(&count).ok());
  for (std::uint32_t i = 1; i <= count; ++i) ASSERT_TRUE(Write(mine.get(), i, {{"*", "*"}}).ok());
  bool found = true;
  ASSERT_TRUE(mine->First(&found, &recno).ok());
  EXPECT_FALSE(found);
  EXPECT_TRUE(mine->Read(count + 1, &r).IsNotFound());
  // Enough appends to split the tag's root leaf: the root moves to a new page.
  std::string cdx;
  env.GetFile("PROPERTY.CDX", &cdx);
  const std::size_t size = cdx.size();
  for (int i = 0; cdx.size() == size; env.GetFile("PROPERTY.CDX", &cdx), ++i)
    ASSERT_TRUE(Write(other.get(), 0, {{"FILE_NUM", "W" + std::to_string(1000 + i)}}, &recno).ok());
  std::uint32_t at = 0;
  EXPECT_TRUE(mine->Read(recno, &r).ok());  // past the count this connection knew
  ASSERT_TRUE(mine->First(&found, &at).ok());
  EXPECT_TRUE(found && at == count + 1) << at;
  for (const std::string& key : {std::string("W1000"), "W" + std::to_string(999 + recno - count)}) {
    EXPECT_TRUE(mine->Seek(tag, key, &found, &at).ok() && found) << key;
  }
  EXPECT_EQ(at, recno);
}

}  // namespace
}  // namespace xbase::table_testing
