#include "util/dates.h"

#include <vector>

#include "platform/runtime_error.h"
#include "shell/error_report.h"
#include "util/text.h"

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

}  // namespace

MonthDayYear ReadMonthFirstDate(std::string_view text) {
  std::string t = VbTrim(text);
  std::vector<std::string> parts = Split(t, DateSeparator(t));
  if (parts.size() != 3) throw RuntimeError(kErrDataTypeMismatch);
  MonthDayYear d;
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
    MonthDayYear d = ReadMonthFirstDate(text);
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
