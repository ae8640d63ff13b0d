#include "util/paths.h"

#include <gtest/gtest.h>

#include "fakes/harness.h"

namespace xfr {
namespace {

TEST(PathRoutines, CkRSlashAndStripRChar) {
  struct Case {
    std::string in, ck, strip;
  } cases[] = {
      {"C:\\TRK", "C:\\TRK\\", "C:\\TRK"},     {"C:\\TRK\\", "C:\\TRK\\", "C:\\TRK"},
      {"  C:\\TRK  ", "C:\\TRK\\", "C:\\TRK"}, {"", "", ""},
      {"   ", "", ""},                        {"C:\\TRK\\\\", "C:\\TRK\\\\", "C:\\TRK\\"},
  };
  for (const auto& c : cases) {
    testing::Harness h;
    std::string a = c.in, b = c.in;
    EXPECT_EQ(CkRSlash(h.app, a), c.ck) << c.in;
    EXPECT_EQ(StripRChar(h.app, b), c.strip) << c.in;
    EXPECT_EQ(b, c.strip);
  }
}

TEST(PathRoutines, FileExistsAnswersFalseForEveryFailure) {
  testing::Harness h;
  h.files.Put("C:\\WINDOWS\\XFR.INI", "[PREFERENCES]\r\n");
  h.files.Put("C:\\WINDOWS\\EMPTY.TXT", "");
  EXPECT_TRUE(FileExists(h.app, "c:\\windows\\xfr.ini"));
  EXPECT_FALSE(FileExists(h.app, "C:\\WINDOWS\\EMPTY.TXT"));
  EXPECT_FALSE(FileExists(h.app, "C:\\WINDOWS\\NONE.TXT"));
  EXPECT_FALSE(FileExists(h.app, "C:\\WINDOWS\\"));
  EXPECT_TRUE(h.window.boxes.empty());
}

}  // namespace
}  // namespace xfr
