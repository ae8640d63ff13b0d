// Date routines with the program's century rule. Dates travel as month-first texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/app.h"
#include "platform/value.h"

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
Date ReadMonthFirstDate(std::string_view text);

// The platform's date-value conversion of a captured date text, as used by the read transfer.
// Accepts month/day/year with "/", "-" or "." between the parts, year-month-day ("2025-03-07"),
// and dates with the month written out or abbreviated ("March 7, 2025", "7 Mar 2025",
// "7-Mar-25"); blanks, tabs and line ends around the text are ignored. A one- or two-digit year
// is placed in the hundred-year window from 79 years before `this_year` to 20 years after it
// (so with this_year 2025, "26" is 2026 and "46" is 1946); longer years stay as written.
// Raises RuntimeError 13 when the text is not a date.
Date ParseDateValue(std::string_view text, int this_year);

// ParseDateValue with the current year of the App's clock, written as the short date text
// month/day/four-digit year ("3/7/2025"). Without a clock (or one that cannot tell the year) the
// year 2000 is taken as current, which makes the window the program's own century rule (00 to 20
// are 2000 to 2020). Raises RuntimeError 13 when the text is not a date.
std::string CDateText(App& app, std::string_view text);

}  // namespace xfr
