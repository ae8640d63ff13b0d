#include "platform/value.h"

#include <cmath>
#include <cstdio>

namespace xfr {

std::string ValueText(const Value& v) {
  struct Visitor {
    std::string operator()(std::monostate) const { return ""; }
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(double d) const {
      char buf[64];
      if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15) {
        std::snprintf(buf, sizeof buf, "%.0f", d);
      } else {
        std::snprintf(buf, sizeof buf, "%.15g", d);
      }
      return buf;
    }
    std::string operator()(const Date& d) const {
      return std::to_string(d.month) + "/" + std::to_string(d.day) + "/" + std::to_string(d.year);
    }
    std::string operator()(bool b) const { return b ? "True" : "False"; }
  };
  return std::visit(Visitor{}, v);
}

}  // namespace xfr
