#include "json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/json_string.h"

namespace apxsim {
namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  bool Parse(Json* out, std::string* error) {
    if (!Value(out, 0) || (SkipSpace(), pos_ != text_.size() && Fail("trailing text"))) {
      *error = error_;
      return false;
    }
    return true;
  }

 private:
  bool Fail(const char* what) {
    if (error_.empty()) error_ = std::string(what) + " at byte " + std::to_string(pos_);
    return false;
  }
  void SkipSpace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }
  bool Literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return Fail("unexpected text");
    pos_ += word.size();
    return true;
  }

  bool Value(Json* out, int depth) {
    if (depth > 64) return Fail("nesting too deep");
    SkipSpace();
    if (pos_ >= text_.size()) return Fail("unexpected end");
    const char c = text_[pos_];
    if (c == '{') return Object(out, depth);
    if (c == '[') return Array(out, depth);
    if (c == '"') {
      std::string s;
      if (!String(&s)) return false;
      out->value = std::move(s);
      return true;
    }
    if (c == 't') return Literal("true") && (out->value = true, true);
    if (c == 'f') return Literal("false") && (out->value = false, true);
    if (c == 'n') return Literal("null") && (out->value = nullptr, true);
    return Number(out);
  }

  bool Number(Json* out) {
    const size_t start = pos_;
    while (pos_ < text_.size() &&
           std::string_view("+-0123456789.eE").find(text_[pos_]) != std::string_view::npos) {
      ++pos_;
    }
    if (start == pos_) return Fail("unexpected character");
    const std::string digits(text_.substr(start, pos_ - start));
    char* end = nullptr;
    const double d = std::strtod(digits.c_str(), &end);
    if (end != digits.c_str() + digits.size() || !std::isfinite(d)) return Fail("bad number");
    out->value = d;
    return true;
  }

  bool String(std::string* out) {
    const char* fault = xfr::ReadJsonString(text_, &pos_, out);
    return fault ? Fail(fault) : true;
  }

  bool Array(Json* out, int depth) {
    ++pos_;
    JsonArray items;
    SkipSpace();
    if (pos_ < text_.size() && text_[pos_] == ']') {
      ++pos_;
      out->value = std::move(items);
      return true;
    }
    while (true) {
      Json item;
      if (!Value(&item, depth + 1)) return false;
      items.push_back(std::move(item));
      SkipSpace();
      if (pos_ >= text_.size()) return Fail("unterminated array");
      const char c = text_[pos_++];
      if (c == ']') break;
      if (c != ',') return Fail("expected , or ]");
    }
    out->value = std::move(items);
    return true;
  }

  bool Object(Json* out, int depth) {
    ++pos_;
    JsonObject members;
    SkipSpace();
    if (pos_ < text_.size() && text_[pos_] == '}') {
      ++pos_;
      out->value = std::move(members);
      return true;
    }
    while (true) {
      SkipSpace();
      if (pos_ >= text_.size() || text_[pos_] != '"') return Fail("expected a member name");
      std::string key;
      if (!String(&key)) return false;
      SkipSpace();
      if (pos_ >= text_.size() || text_[pos_++] != ':') return Fail("expected :");
      Json value;
      if (!Value(&value, depth + 1)) return false;
      members.emplace_back(std::move(key), std::move(value));
      SkipSpace();
      if (pos_ >= text_.size()) return Fail("unterminated object");
      const char c = text_[pos_++];
      if (c == '}') break;
      if (c != ',') return Fail("expected , or }");
    }
    out->value = std::move(members);
    return true;
  }

  std::string_view text_;
  size_t pos_ = 0;
  std::string error_;
};

}  // namespace

const Json* Json::Find(std::string_view key) const {
  if (!is_object()) return nullptr;
  for (const auto& [name, member] : object()) {
    if (name == key) return &member;
  }
  return nullptr;
}

bool ParseJson(std::string_view text, Json* out, std::string* error) {
  return Parser(text).Parse(out, error);
}

std::string WriteJson(const Json& value, int indent) {
  const std::string pad(static_cast<size_t>(indent + 2), ' ');
  const std::string close_pad(static_cast<size_t>(indent), ' ');
  struct Writer {
    const std::string& pad;
    const std::string& close_pad;
    int indent;
    std::string operator()(std::nullptr_t) const { return "null"; }
    std::string operator()(bool b) const { return b ? "true" : "false"; }
    std::string operator()(double d) const {
      char buf[32];
      if (d == std::floor(d) && std::fabs(d) < 1e15) {
        std::snprintf(buf, sizeof buf, "%.0f", d);
      } else {
        std::snprintf(buf, sizeof buf, "%.17g", d);
      }
      return buf;
    }
    std::string operator()(const std::string& s) const { return JsonQuote(s); }
    std::string operator()(const JsonArray& a) const {
      if (a.empty()) return "[]";
      std::string out = "[";
      for (size_t i = 0; i < a.size(); ++i) {
        out += i ? ", " : "";
        out += WriteJson(a[i], indent + 2);
      }
      return out + "]";
    }
    std::string operator()(const JsonObject& o) const {
      if (o.empty()) return "{}";
      std::string out = "{\n";
      for (size_t i = 0; i < o.size(); ++i) {
        out += pad + JsonQuote(o[i].first) + ": " + WriteJson(o[i].second, indent + 2);
        out += i + 1 < o.size() ? ",\n" : "\n";
      }
      return out + close_pad + "}";
    }
  };
  return std::visit(Writer{pad, close_pad, indent}, value.value);
}

}  // namespace apxsim
