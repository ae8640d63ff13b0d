#include "platform/value.h"

#include <charconv>
#include <cmath>

namespace xfr {

std::string ValueText(const Value& v) {
  struct Visitor {
    std::string operator()(std::monostate) const { return ""; }
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(double d) const {
      // to_chars, not printf: the text is the same under every C locale.
      char buf[64];
      const bool whole = std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15;
      auto r = whole ? std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed, 0)
                     : std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15);
      return std::string(buf, r.ptr);
    }
    std::string operator()(const Date& d) const {
      return std::to_string(d.month) + "/" + std::to_string(d.day) + "/" + std::to_string(d.year);
    }
    std::string operator()(bool b) const { return b ? "True" : "False"; }
  };
  return std::visit(Visitor{}, v);
}

}  // namespace xfr
