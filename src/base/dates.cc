#include "base/dates.h"

#include <vector>

#include "base/error_report.h"
#include "base/text.h"
#include "platform/runtime_error.h"

namespace xfr {

namespace {

char DateSeparator(std::string_view text) {
  if (text.find('-') != std::string_view::npos) return '-';
  return '/';
}

std::vector<std::string> Split(std::string_view text, char sep) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t pos = text.find(sep, start);
    parts.emplace_back(text.substr(start, pos == std::string_view::npos ? pos : pos - start));
    if (pos == std::string_view::npos) break;
    start = pos + 1;
  }
  return parts;
}

// A whole number written with digits only (blanks around it allowed); 13 otherwise.
long ParseWhole(std::string_view text) {
  std::string t = VbTrim(text);
  if (t.empty() || t.size() > 9) throw RuntimeError(kErrDataTypeMismatch);
  long value = 0;
  for (char c : t) {
    if (c < '0' || c > '9') throw RuntimeError(kErrDataTypeMismatch);
    value = value * 10 + (c - '0');
  }
  return value;
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsDateBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// 1 to 12 for a month name or its abbreviation of at least three letters ("Mar", "Sept"), 0
// for any other word.
int MonthOfName(std::string_view word) {
  static const char* const kMonths[] = {"JANUARY",   "FEBRUARY", "MARCH",    "APRIL",
                                        "MAY",       "JUNE",     "JULY",     "AUGUST",
                                        "SEPTEMBER", "OCTOBER",  "NOVEMBER", "DECEMBER"};
  if (word.size() < 3) return 0;
  std::string upper = UCase(word);
  for (int m = 0; m < 12; ++m) {
    std::string_view name = kMonths[m];
    if (upper.size() <= name.size() && name.substr(0, upper.size()) == upper) return m + 1;
  }
  return 0;
}

// A year as written: one or two digits fall in the window of `this_year`, three or four stay.
int YearOf(const std::string& digits, int this_year) {
  if (digits.size() > 4) throw RuntimeError(kErrDataTypeMismatch);
  int year = static_cast<int>(ParseWhole(digits));
  if (digits.size() > 2) return year;
  const int first = this_year - 79;
  int windowed = first - ((first % 100) + 100) % 100 + year;
  if (windowed < first) windowed += 100;
  return windowed;
}

}  // namespace

Date ParseDateValue(std::string_view text, int this_year) {
  // Words (runs of digits or of letters) and the separators between them.
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (IsDateBlank(c) || c == '/' || c == '-' || c == '.' || c == ',') {
      ++i;
      continue;
    }
    std::size_t start = i;
    if (IsDigit(c)) {
      while (i < text.size() && IsDigit(text[i])) ++i;
    } else if (IsLetter(c)) {
      while (i < text.size() && IsLetter(text[i])) ++i;
    } else {
      throw RuntimeError(kErrDataTypeMismatch);
    }
    words.emplace_back(text.substr(start, i - start));
  }
  if (words.size() != 3) throw RuntimeError(kErrDataTypeMismatch);

  Date d;
  int name_at = -1;
  for (int w = 0; w < 3; ++w) {
    if (!IsLetter(words[static_cast<std::size_t>(w)][0])) continue;
    if (name_at >= 0) throw RuntimeError(kErrDataTypeMismatch);
    name_at = w;
  }
  if (name_at < 0) {
    if (words[0].size() >= 3) {  // year-month-day
      d.year = YearOf(words[0], this_year);
      d.month = static_cast<int>(ParseWhole(words[1]));
      d.day = static_cast<int>(ParseWhole(words[2]));
    } else {  // month/day/year
      d.month = static_cast<int>(ParseWhole(words[0]));
      d.day = static_cast<int>(ParseWhole(words[1]));
      d.year = YearOf(words[2], this_year);
    }
  } else if (name_at == 0 || name_at == 1) {  // "March 7, 2025" or "7 March 2025"
    d.month = MonthOfName(words[static_cast<std::size_t>(name_at)]);
    if (d.month == 0) throw RuntimeError(kErrDataTypeMismatch);
    d.day = static_cast<int>(ParseWhole(words[name_at == 0 ? 1 : 0]));
    d.year = YearOf(words[2], this_year);
  } else {
    throw RuntimeError(kErrDataTypeMismatch);
  }
  if (d.month < 1 || d.month > 12 || d.year < 100 || d.year > 9999 || d.day < 1 ||
      d.day > DaysInMonth(d.year, d.month)) {
    throw RuntimeError(kErrDataTypeMismatch);
  }
  return d;
}

std::string CDateText(App& app, std::string_view text) {
  // Without a clock, the window of the year 2000 is the program's own century rule.
  int this_year = 2000;
  if (Clock* clock = app.services().clock) {
    const int year = clock->Today().year;
    if (year >= 100 && year <= 9999) this_year = year;
  }
  Date d = ParseDateValue(text, this_year);
  return NumText(d.month) + "/" + NumText(d.day) + "/" + NumText(d.year);
}

Date ReadMonthFirstDate(std::string_view text) {
  std::string t = VbTrim(text);
  std::vector<std::string> parts = Split(t, DateSeparator(t));
  if (parts.size() != 3) throw RuntimeError(kErrDataTypeMismatch);
  Date d;
  d.month = static_cast<int>(ParseWhole(parts[0]));
  d.day = static_cast<int>(ParseWhole(parts[1]));
  long year = ParseWhole(parts[2]);
  if (VbTrim(parts[2]).size() <= 2) year += year < 30 ? 2000 : 1900;  // the platform's own window
  d.year = static_cast<int>(year);
  if (d.month < 1 || d.month > 12 || d.year < 100 || d.year > 9999 || d.day < 1 ||
      d.day > DaysInMonth(d.year, d.month)) {
    throw RuntimeError(kErrDataTypeMismatch);
  }
  return d;
}

void SepDate(App& app, std::string_view date, std::int16_t* year, std::int16_t* month,
             std::int16_t* day) {
  StepRunner run(app, "SepDate");
  char sep = '/';
  std::string text(date);
  if (!run.Step([&] { sep = DateSeparator(text); })) return;
  long yy = 0;
  if (!run.Step([&] {
        std::size_t first = text.find(sep);
        std::size_t second =
            first == std::string::npos ? std::string::npos : text.find(sep, first + 1);
        std::string year_text = second == std::string::npos ? "" : text.substr(second + 1);
        yy = ParseWhole(year_text);
        if (yy > 32767) throw RuntimeError(6);  // overflow of the 16-bit year
        *year = static_cast<std::int16_t>(yy);
      })) {
    return;
  }
  if (!run.Step([&] {
        if (yy >= 0 && yy <= 20) {
          *year = static_cast<std::int16_t>(2000 + yy);
        } else if (yy >= 21 && yy <= 99) {
          *year = static_cast<std::int16_t>(1900 + yy);
        }
      })) {
    return;
  }
  run.Step([&] {
    Date d = ReadMonthFirstDate(text);
    *month = static_cast<std::int16_t>(d.month);
    *day = static_cast<std::int16_t>(d.day);
  });
}

std::string MakeY2KDate(App& app, std::string_view value) {
  if (VbTrim(value).empty()) return "";
  std::int16_t year = 0, month = 0, day = 0;
  SepDate(app, value, &year, &month, &day);
  std::string result = NumText(month) + "/" + NumText(day);
  if (year >= 0 && year <= 24) {
    result += "/20" + PadLeft(NumText(year), 2, '0');
  } else if (year >= 25 && year <= 99) {
    result += "/19" + PadLeft(NumText(year), 2, '0');
  } else {
    result += "/" + PadLeft(NumText(year), 4, '0');
  }
  return result;
}

}  // namespace xfr
