#include "base/dates.h"

#include <gtest/gtest.h>

#include <chrono>

#include "fakes/harness.h"
#include "platform/runtime_error.h"

namespace xfr {
namespace {

std::string Two(int yy) { return (yy < 10 ? "0" : "") + std::to_string(yy); }

// Every two-digit year in each of the program's windows: the century rule of SepDate and
// MakeY2KDate (00 to 20 in the 2000s), the platform's reading of month-first dates (00 to 29),
// and the captured dates' window around the clock's year (79 years back, 20 ahead; the year 2000
// without a clock, or with one that cannot tell the year).
TEST(Dates, TwoDigitYearsInEveryWindow) {
  testing::Harness h;
  for (int yy = 0; yy <= 99; ++yy) {
    SCOPED_TRACE(yy);
    const int century_rule = yy <= 20 ? 2000 + yy : 1900 + yy;
    std::int16_t y = 0, m = 0, d = 0;
    SepDate(h.app, "7-4-" + Two(yy), &y, &m, &d);
    EXPECT_EQ(std::vector<int>({y, m, d}), std::vector<int>({century_rule, 7, 4}));
    EXPECT_EQ(MakeY2KDate(h.app, "12/31/" + std::to_string(yy)), "12/31/" + std::to_string(century_rule));
    EXPECT_EQ(ReadMonthFirstDate(" 2/3/" + Two(yy)).year, yy < 30 ? 2000 + yy : 1900 + yy);
    for (const int this_year : {2000, 2025, 2079, 2100, 179}) {
      const int first = this_year - 79, year = first + ((yy - first) % 100 + 100) % 100;
      const Date want{year, 2, 3};
      EXPECT_EQ(ParseDateValue("2/3/" + std::to_string(yy), this_year), want) << this_year;
      EXPECT_EQ(ParseDateValue("Feb 3, " + Two(yy), this_year), want) << this_year;
    }
    for (const int clock_year : {2025, 0, 99, 10000}) {
      h.clock.today = Date{clock_year, 1, 1};
      const int first = clock_year == 2025 ? 1946 : 1921;
      const int year = first + ((yy - first) % 100 + 100) % 100;
      EXPECT_EQ(CDateText(h.app, "2/3/" + Two(yy)), "2/3/" + std::to_string(year)) << clock_year;
    }
  }
  EXPECT_TRUE(h.window.boxes.empty());
  App without_clock(Services{}, "");
  EXPECT_EQ(CDateText(without_clock, "3/7/20"), "3/7/2020");
  EXPECT_EQ(CDateText(without_clock, "3/7/21"), "3/7/1921");
}

TEST(Dates, FormsSeparatorsAndBadDates) {
  testing::Harness h;
  struct Case {
    std::string in, want;
  } cases[] = {
      {"03/15/1998", "3/15/1998"}, {"7-4-01", "7/4/2001"}, {"  ", ""}, {"", ""},
      {"2/29/00", "2/29/2000"},    {"6/30/0999", "6/30/0999"},
  };
  for (const auto& c : cases) EXPECT_EQ(MakeY2KDate(h.app, c.in), c.want) << c.in;
  EXPECT_TRUE(h.window.boxes.empty());
  // After the report (answered Ignore) the parts not read stay 0.
  for (const auto& [bad, shown] : {std::pair{"7/4/xx", "0/0/2000"}, {"13/1/01", "0/0/2001"},
                                  {"hello", "0/0/2000"}, {"2/30/2001", "0/0/2001"},
                                  {"1/0/2001", "0/0/2001"}, {"7/4/99999", "0/0/2000"}}) {
    testing::Harness bad_h;
    EXPECT_EQ(MakeY2KDate(bad_h.app, bad), shown);
    ASSERT_FALSE(bad_h.window.boxes.empty()) << bad;
    EXPECT_EQ(bad_h.window.boxes[0].title, "Error");
    EXPECT_NE(bad_h.window.boxes[0].text.find("in module SepDate."), std::string::npos);
  }
  // Days that are not in the calendar: the loop below.
  for (std::string bad : {"1/1/1.5", "1/1/", "1//2000", "a/1/2000", "pending", "1/1", "1/1/1/1",
                          "Ma 1, 2020", "1/1/12345", "$1/1/2020", "March April 2020", "1 2 March",
                          "Foo 1, 2020", "0000000001/2/2000"}) {  // a part of ten digits
    EXPECT_THROW(ReadMonthFirstDate(bad), RuntimeError) << bad;
    EXPECT_THROW(ParseDateValue(bad, 2025), RuntimeError) << bad;
  }
  for (const auto& [text, want] : {std::pair{"7.4.1776", Date{1776, 7, 4}}, {"2024-06-03", {2024, 6, 3}},
                                  {"Sept 9, 2019", {2019, 9, 9}}, {"9 september 19", {2019, 9, 9}},
                                  {" 1/1/100\t", {100, 1, 1}}, {"7-Mar-25", {2025, 3, 7}},
                                  {"100-1-2", {100, 1, 2}}})
    EXPECT_EQ(ParseDateValue(text, 2025), want) << text;
  for (int m = 1; m <= 12; ++m) {  // each month by its name and by its first three letters
    const std::string name = std::vector<std::string>{"January", "February", "March", "April",
        "May", "June", "July", "August", "September", "October", "November", "December"}[m - 1];
    EXPECT_EQ(ParseDateValue(name + " 2, 2020", 2025), (Date{2020, m, 2})) << name;
    EXPECT_EQ(ParseDateValue("2 " + name.substr(0, 3) + " 2020", 2025), (Date{2020, m, 2})) << name;
  }
  std::int16_t y = 0, m = 0, d = 0;
  SepDate(h.app, "1/2-3-05", &y, &m, &d);  // a "-" wins over a "/"
  EXPECT_EQ(y, 2005);
  for (int y : {1900, 2000, 2023, 2024, 2100}) {  // every day and non-day against the calendar
    for (int m = 0; m <= 13; ++m) {
      for (int d = 0; d <= 32; ++d) {
        const std::string text = std::to_string(m) + "/" + std::to_string(d) + "/" + std::to_string(y);
        const bool ok = std::chrono::year_month_day(std::chrono::year(y), std::chrono::month(m),
                                                    std::chrono::day(d)).ok();
        const Date want{y, m, d};
        if (ok) EXPECT_EQ(ReadMonthFirstDate(text), want) << text;
        if (ok) EXPECT_EQ(ParseDateValue(text, 2025), want) << text;
        if (!ok) EXPECT_THROW(ReadMonthFirstDate(text), RuntimeError) << text;
        if (!ok) EXPECT_THROW(ParseDateValue(text, 2025), RuntimeError) << text;
      }
    }
  }
  EXPECT_EQ(ReadMonthFirstDate("12-31-9999"), (Date{9999, 12, 31}));
  EXPECT_EQ(ReadMonthFirstDate("000000001/2/100"), (Date{100, 1, 2}));  // nine digits, year 100
  EXPECT_THROW(ReadMonthFirstDate("1/2/099"), RuntimeError);
}

}  // namespace
}  // namespace xfr
