#include "base/dates.h"

#include <gtest/gtest.h>

#include "fakes/harness.h"

namespace xfr {
namespace {

TEST(MakeY2KDate, CenturyRuleAndSeparators) {
  struct Case {
    std::string in, want;
  } cases[] = {
      {"7/4/01", "7/4/2001"},     {"12/31/20", "12/31/2020"}, {"1/1/21", "1/1/1921"},
      {"03/15/1998", "3/15/1998"}, {"7-4-01", "7/4/2001"},     {"  ", ""},
      {"", ""},                   {"2/29/00", "2/29/2000"},   {"6/30/99", "6/30/1999"},
  };
  for (const auto& c : cases) {
    testing::Harness h;
    EXPECT_EQ(MakeY2KDate(h.app, c.in), c.want) << c.in;
    EXPECT_TRUE(h.window.boxes.empty()) << c.in;
  }
}

TEST(MakeY2KDate, BadDatesGoToTheErrorReport) {
  for (std::string bad : {"7/4/xx", "13/1/01", "hello", "2/30/2001"}) {
    testing::Harness h;
    MakeY2KDate(h.app, bad);
    ASSERT_FALSE(h.window.boxes.empty()) << bad;
    EXPECT_EQ(h.window.boxes[0].title, "Error");
    EXPECT_NE(h.window.boxes[0].text.find("in module SepDate."), std::string::npos);
  }
}

TEST(SepDate, SplitsYearMonthDay) {
  testing::Harness h;
  std::int16_t y = 0, m = 0, d = 0;
  SepDate(h.app, "7-4-1998", &y, &m, &d);
  EXPECT_EQ(std::vector<int>({y, m, d}), std::vector<int>({1998, 7, 4}));
  // Two-digit years: up to 20 in the 2000s, from 21 in the 1900s.
  for (auto [text, want] : {std::pair{"1/2/20", 2020}, std::pair{"1/2/21", 1921}}) {
    SepDate(h.app, text, &y, &m, &d);
    EXPECT_EQ(y, want) << text;
  }
  // A "-" wins over a "/" when both occur.
  SepDate(h.app, "1/2-3-05", &y, &m, &d);
  EXPECT_EQ(y, 2005);
}

}  // namespace
}  // namespace xfr
