// A field value as the table layer hands it to the program: Null, text, number, date or logical.
// Character values come back without trailing blanks; a blank number or date, and a new
// record's untouched field, are Null.
#pragma once

#include <string>
#include <variant>

namespace xfr {

struct Date {
  int year = 0;
  int month = 0;
  int day = 0;
  friend bool operator==(const Date&, const Date&) = default;
};

using Value = std::variant<std::monostate, std::string, double, Date, bool>;

inline bool IsNull(const Value& v) { return std::holds_alternative<std::monostate>(v); }

// The value as text, the way a text box shows it: Null is "", numbers without a trailing ".0",
// dates as month/day/four-digit year, logicals as "True"/"False".
std::string ValueText(const Value& v);

}  // namespace xfr
