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
  Record r = mine->NewRecord();
  std::uint32_t count = 0, recno = 0;
  ASSERT_TRUE(mine->RecordCount(&count).ok());
  for (std::uint32_t i = 1; i <= count; ++i) ASSERT_TRUE(Write(mine.get(), i, {{"*", "*"}}).ok());
  EXPECT_EQ(FirstRecno(mine.get()), 0u);
  EXPECT_TRUE(mine->Read(count + 1, &r).IsNotFound());
  // Enough appends to split the tag's root leaf: the root moves to a new page.
  std::string cdx;
  env.GetFile("PROPERTY.CDX", &cdx);
  const std::size_t size = cdx.size();
  for (int i = 0; cdx.size() == size; env.GetFile("PROPERTY.CDX", &cdx), ++i)
    ASSERT_TRUE(Write(other.get(), 0, {{"FILE_NUM", "W" + std::to_string(1000 + i)}}, &recno).ok());
  EXPECT_TRUE(mine->Read(recno, &r).ok());  // past the count this connection knew
  EXPECT_EQ(FirstRecno(mine.get()), count + 1);
  EXPECT_EQ(SeekRecno(mine.get(), "FILE_NUM", "W1000"), count + 1);
  EXPECT_EQ(SeekRecno(mine.get(), "FILE_NUM", "W" + std::to_string(999 + recno - count)), recno);
}

}  // namespace
}  // namespace xbase::table_testing
