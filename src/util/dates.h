// Date routines with the program's century rule. Dates travel as month-first texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "shell/app.h"

namespace xfr {

// Splits a date text ("7/4/01", "7-4-2001") into year, month and day. A two-digit year 0 to 20
// becomes 2000 to 2020, 21 to 99 becomes 1921 to 1999; other years stay. Errors (a year part
// that is not a number, a text that is not a date) go to the error report; after Ignore or
// Abort the outputs keep what they had.
void SepDate(App& app, std::string_view date, std::int16_t* year, std::int16_t* month,
             std::int16_t* day);

// The date with a four-digit year ("7/4/2001"), month and day not padded; "" for a blank value.
std::string MakeY2KDate(App& app, std::string_view value);

// Month, day and year of a month-first date text, as the platform's date reading gives them.
// Raises RuntimeError 13 when the text is not a date.
struct MonthDayYear {
  int month = 0;
  int day = 0;
  int year = 0;
};
MonthDayYear ReadMonthFirstDate(std::string_view text);

}  // namespace xfr
