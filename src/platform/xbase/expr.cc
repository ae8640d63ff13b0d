// Evaluating a compiled index expression on a record, and the key bytes of its value. The parser
// that builds the tree is in expr_parse.cc.
#include "platform/xbase/expr.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/xbase/coding.h"
#include "platform/xbase/expr_node.h"

namespace xbase {
namespace expr_node {

FieldRef::FieldRef(int field, const DbfField& f) : field_(field), ftype_(f.type) {
  switch (f.type) {
    case 'N':
    case 'F':
      type = ExprType::kNumber;
      break;
    case 'D':
      type = ExprType::kDate;
      break;
    case 'L':
      type = ExprType::kLogical;
      break;
    default:
      type = ExprType::kChar;
      width = f.length;
      break;
  }
}

Status FieldRef::Eval(const Record& rec, std::uint32_t, ExprValue* out) const {
  out->type = type;
  switch (type) {
    case ExprType::kNumber: {
      double v = 0;
      if (!rec.Number(field_, &v)) v = 0;
      out->number = v;
      break;
    }
    case ExprType::kDate: {
      DbfDate d;
      out->julian = rec.Date(field_, &d) ? JulianDay(d) : 0;
      break;
    }
    case ExprType::kLogical: {
      bool b = false;
      out->logical = rec.Logical(field_, &b) && b;
      break;
    }
    case ExprType::kChar:
      out->text.assign(rec.Raw(field_));
      break;
  }
  return Status::OK();
}

Status Binary::Eval(const Record& rec, std::uint32_t recno, ExprValue* out) const {
  ExprValue x, y;
  Status s = a_->Eval(rec, recno, &x);
  if (!s.ok()) return s;
  if (op_ == ".AND." && !x.logical) {
    out->type = ExprType::kLogical;
    out->logical = false;
    return Status::OK();
  }
  if (op_ == ".OR." && x.logical) {
    out->type = ExprType::kLogical;
    out->logical = true;
    return Status::OK();
  }
  s = b_->Eval(rec, recno, &y);
  if (!s.ok()) return s;
  out->type = type;
  if (op_ == ".AND." || op_ == ".OR.") {
    out->logical = y.logical;
    return Status::OK();
  }
  if (op_ == "+" || op_ == "-") {
    if (x.type == ExprType::kChar) {
      if (op_ == "+") {
        out->text = x.text + y.text;
      } else {
        // a - b: a's trailing blanks move to the end of the result.
        std::size_t keep = x.text.find_last_not_of(' ');
        keep = keep == std::string::npos ? 0 : keep + 1;
        out->text = x.text.substr(0, keep) + y.text + std::string(x.text.size() - keep, ' ');
      }
    } else if (x.type == ExprType::kDate && y.type == ExprType::kNumber) {
      out->julian = x.julian == 0
                        ? 0
                        : x.julian + static_cast<std::int64_t>(op_ == "+" ? y.number : -y.number);
    } else if (x.type == ExprType::kDate && y.type == ExprType::kDate) {
      out->number = static_cast<double>(x.julian - y.julian);
    } else {
      out->number = op_ == "+" ? x.number + y.number : x.number - y.number;
    }
    return Status::OK();
  }
  if (op_ == "*") {
    out->number = x.number * y.number;
    return Status::OK();
  }
  if (op_ == "/") {
    if (y.number == 0) return Status::NotSupported("division by zero in an index expression");
    out->number = x.number / y.number;
    return Status::OK();
  }
  // Comparisons.
  int c = 0;
  if (x.type == ExprType::kChar) {
    if (op_ == "$") {
      out->logical = y.text.find(x.text) != std::string::npos;
      return Status::OK();
    }
    std::string l = x.text, r = y.text;
    if (op_ == "==") {
      // Exact comparison ignores trailing blanks only.
      while (!l.empty() && l.back() == ' ') l.pop_back();
      while (!r.empty() && r.back() == ' ') r.pop_back();
    } else if (l.size() > r.size()) {
      l.resize(r.size());  // SET EXACT OFF: compared over the right side's length
    } else {
      l.resize(r.size(), ' ');
    }
    c = l.compare(r);
  } else if (x.type == ExprType::kNumber) {
    c = x.number < y.number ? -1 : x.number > y.number ? 1 : 0;
  } else if (x.type == ExprType::kDate) {
    c = x.julian < y.julian ? -1 : x.julian > y.julian ? 1 : 0;
  } else {
    c = static_cast<int>(x.logical) - static_cast<int>(y.logical);
  }
  bool r = false;
  if (op_ == "=" || op_ == "==")
    r = c == 0;
  else if (op_ == "<>" || op_ == "#" || op_ == "!=")
    r = c != 0;
  else if (op_ == "<")
    r = c < 0;
  else if (op_ == ">")
    r = c > 0;
  else if (op_ == "<=")
    r = c <= 0;
  else if (op_ == ">=")
    r = c >= 0;
  out->logical = r;
  return Status::OK();
}

Status Not::Eval(const Record& rec, std::uint32_t recno, ExprValue* out) const {
  Status s = a_->Eval(rec, recno, out);
  out->logical = !out->logical;
  return s;
}

Status Negate::Eval(const Record& rec, std::uint32_t recno, ExprValue* out) const {
  Status s = a_->Eval(rec, recno, out);
  out->number = -out->number;
  return s;
}

namespace {

// FoxPro's STR(): right-aligned in `len`; decimals dropped before the number is cut; stars
// when the whole number does not fit.
std::string FoxStr(double v, int len, int dec) {
  if (len < 1) len = 1;
  if (len > 255) len = 255;
  if (dec < 0) dec = 0;
  for (int d = dec; d >= 0; --d) {
    if (d > 0 && d + 2 > len) continue;
    // Halves round away from zero, as FoxPro rounds.
    double scale = std::pow(10.0, d);
    double r =
        std::abs(v) < 1e15 ? std::copysign(std::floor(std::abs(v) * scale + 0.5) / scale, v) : v;
    std::string text = FormatFixed(r, d, len);
    if (static_cast<int>(text.size()) <= len) return text;
  }
  return std::string(len, '*');
}

std::string DateText(std::int64_t julian) {
  if (julian == 0) return std::string(8, ' ');
  // Julian day number to Gregorian date.
  std::int64_t a = julian + 32044;
  std::int64_t b = (4 * a + 3) / 146097;
  std::int64_t c = a - 146097 * b / 4;
  std::int64_t d = (4 * c + 3) / 1461;
  std::int64_t e = c - 1461 * d / 4;
  std::int64_t m = (5 * e + 2) / 153;
  int day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
  int month = static_cast<int>(m + 3 - 12 * (m / 10));
  int year = static_cast<int>(100 * b + d - 4800 + m / 10);
  if (year < 0 || year > 9999) return std::string(8, ' ');
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", year, month, day);
  return buf;
}

}  // namespace

Status Call::Eval(const Record& rec, std::uint32_t recno, ExprValue* out) const {
  std::vector<ExprValue> v(args_.size());
  if (name_ == "IIF") {
    Status s = args_[0]->Eval(rec, recno, &v[0]);
    if (!s.ok()) return s;
    s = args_[v[0].logical ? 1 : 2]->Eval(rec, recno, out);
    if (out->type == ExprType::kChar && width >= 0) out->text.resize(width, ' ');
    return s;
  }
  for (std::size_t i = 0; i < args_.size(); ++i) {
    Status s = args_[i]->Eval(rec, recno, &v[i]);
    if (!s.ok()) return s;
  }
  out->type = type;
  const std::string& t = v.empty() ? out->text : v[0].text;
  auto num = [&](std::size_t i) {
    double d = v[i].number;
    return d < 0 ? 0 : d > 65535 ? 65535 : static_cast<std::size_t>(d);
  };
  if (name_ == "UPPER") {
    out->text = Upper(t);
  } else if (name_ == "LOWER") {
    out->text = t;
    for (char& c : out->text) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
  } else if (name_ == "ALLTRIM" || name_ == "TRIM" || name_ == "RTRIM" || name_ == "LTRIM") {
    std::size_t b = 0, e = t.size();
    if (name_ != "TRIM" && name_ != "RTRIM") {
      while (b < e && t[b] == ' ') ++b;
    }
    if (name_ != "LTRIM") {
      while (e > b && t[e - 1] == ' ') --e;
    }
    out->text = t.substr(b, e - b);
  } else if (name_ == "LEFT") {
    out->text = t.substr(0, std::min(num(1), t.size()));
  } else if (name_ == "RIGHT") {
    std::size_t n = std::min(num(1), t.size());
    out->text = t.substr(t.size() - n);
  } else if (name_ == "SUBSTR") {
    std::size_t start = num(1);
    if (start < 1 || start > t.size()) {
      out->text.clear();
    } else {
      std::size_t n = v.size() > 2 ? num(2) : t.size();
      out->text = t.substr(start - 1, n);
    }
  } else if (name_ == "PADR" || name_ == "PADL") {
    std::size_t n = num(1);
    char pad = v.size() > 2 && !v[2].text.empty() ? v[2].text[0] : ' ';
    std::string s = t.substr(0, std::min(n, t.size()));
    if (name_ == "PADR") {
      s.resize(n, pad);
    } else {
      s = std::string(n - s.size(), pad) + s;
    }
    out->text = s;
  } else if (name_ == "SPACE") {
    out->text.assign(num(0), ' ');
  } else if (name_ == "STR") {
    int len = v.size() > 1 ? static_cast<int>(num(1)) : 10;
    int dec = v.size() > 2 ? static_cast<int>(num(2)) : 0;
    out->text = FoxStr(v[0].number, len, dec);
  } else if (name_ == "VAL") {
    double d = 0;
    ParseNumber(t, &d);
    out->number = d;
  } else if (name_ == "DTOS") {
    out->text = DateText(v[0].julian);
  } else if (name_ == "DELETED") {
    out->logical = rec.deleted();
  } else if (name_ == "RECNO") {
    out->number = recno;
  } else if (name_ == "EMPTY") {
    const ExprValue& x = v[0];
    switch (x.type) {
      case ExprType::kChar:
        out->logical = x.text.find_first_not_of(' ') == std::string::npos;
        break;
      case ExprType::kNumber:
        out->logical = x.number == 0;
        break;
      case ExprType::kDate:
        out->logical = x.julian == 0;
        break;
      case ExprType::kLogical:
        out->logical = !x.logical;
        break;
    }
  }
  if (type == ExprType::kChar && width >= 0) out->text.resize(width, ' ');
  return Status::OK();
}

}  // namespace expr_node

using expr_node::NodePtr;

// ---------------------------------------------------------------- Expr

Expr::Expr(std::unique_ptr<ExprNode> root) : root_(std::move(root)) {}
Expr::~Expr() = default;

Status Expr::Compile(std::string_view text, const DbfLayout& layout, std::unique_ptr<Expr>* out) {
  NodePtr root;
  Status s = expr_node::Parse(text, layout, &root);
  if (!s.ok()) return s;
  out->reset(new Expr(std::move(root)));
  return Status::OK();
}

ExprType Expr::type() const { return root_->type; }
int Expr::width() const { return root_->type == ExprType::kChar ? root_->width : -1; }

Status Expr::Evaluate(const Record& record, std::uint32_t recno, ExprValue* out) const {
  return root_->Eval(record, recno, out);
}

Status Expr::EvaluateKey(const Record& record, std::uint32_t recno, int key_length,
                         std::string* key) const {
  ExprValue v;
  Status s = root_->Eval(record, recno, &v);
  if (!s.ok()) return s;
  *key = EncodeKey(v, key_length);
  return Status::OK();
}

std::string EncodeNumberKey(double v) {
  if (v == 0) v = 0;  // -0 keys as 0
  auto bits = std::bit_cast<std::uint64_t>(v);
  if (v >= 0) {
    bits ^= 0x8000000000000000ull;
  } else {
    bits = ~bits;
  }
  std::string out(8, '\0');
  EncodeFixed64BE(out.data(), bits);
  return out;
}

double DecodeNumberKey(std::string_view key8) {
  if (key8.size() < 8) return 0;
  std::uint64_t bits = DecodeFixed64BE(key8.data());
  if (bits & 0x8000000000000000ull) {
    bits ^= 0x8000000000000000ull;
  } else {
    bits = ~bits;
  }
  return std::bit_cast<double>(bits);
}

std::string EncodeKey(const ExprValue& v, int key_length) {
  switch (v.type) {
    case ExprType::kNumber:
      return EncodeNumberKey(v.number);
    case ExprType::kDate:
      return EncodeNumberKey(static_cast<double>(v.julian));
    case ExprType::kLogical:
      return v.logical ? "T" : "F";
    case ExprType::kChar:
      break;
  }
  std::string k = v.text;
  k.resize(static_cast<std::size_t>(key_length), ' ');
  return k;
}

}  // namespace xbase
