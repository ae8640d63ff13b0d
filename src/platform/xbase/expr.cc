#include "platform/xbase/expr.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/xbase/coding.h"

namespace xbase {

// ---------------------------------------------------------------- nodes

class ExprNode {
 public:
  virtual ~ExprNode() = default;
  ExprType type = ExprType::kChar;
  int width = -1;  // kChar: static width or -1
  virtual Status Eval(const Record& rec, std::uint32_t recno, ExprValue* out) const = 0;
};

namespace {

using NodePtr = std::unique_ptr<ExprNode>;

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

class Literal final : public ExprNode {
 public:
  explicit Literal(ExprValue v) : value_(std::move(v)) {
    type = value_.type;
    if (type == ExprType::kChar) width = static_cast<int>(value_.text.size());
  }
  Status Eval(const Record&, std::uint32_t, ExprValue* out) const override {
    *out = value_;
    return Status::OK();
  }
  const ExprValue& value() const { return value_; }

 private:
  ExprValue value_;
};

class FieldRef final : public ExprNode {
 public:
  FieldRef(int field, const DbfField& f) : field_(field), ftype_(f.type) {
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
  Status Eval(const Record& rec, std::uint32_t, ExprValue* out) const override {
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

 private:
  int field_;
  char ftype_;
};

class Binary final : public ExprNode {
 public:
  Binary(std::string op, NodePtr a, NodePtr b)
      : op_(std::move(op)), a_(std::move(a)), b_(std::move(b)) {}
  std::string op_;
  NodePtr a_, b_;

  Status Eval(const Record& rec, std::uint32_t recno, ExprValue* out) const override {
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
};

class Not final : public ExprNode {
 public:
  explicit Not(NodePtr a) : a_(std::move(a)) { type = ExprType::kLogical; }
  Status Eval(const Record& rec, std::uint32_t recno, ExprValue* out) const override {
    Status s = a_->Eval(rec, recno, out);
    out->logical = !out->logical;
    return s;
  }

 private:
  NodePtr a_;
};

class Negate final : public ExprNode {
 public:
  explicit Negate(NodePtr a) : a_(std::move(a)) { type = ExprType::kNumber; }
  Status Eval(const Record& rec, std::uint32_t recno, ExprValue* out) const override {
    Status s = a_->Eval(rec, recno, out);
    out->number = -out->number;
    return s;
  }

 private:
  NodePtr a_;
};

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

class Call final : public ExprNode {
 public:
  Call(std::string name, std::vector<NodePtr> args)
      : name_(std::move(name)), args_(std::move(args)) {}
  std::string name_;
  std::vector<NodePtr> args_;

  Status Eval(const Record& rec, std::uint32_t recno, ExprValue* out) const override {
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
};

// ---------------------------------------------------------------- parser

struct Token {
  enum Kind { kEnd, kName, kNumber, kString, kOp } kind = kEnd;
  std::string text;  // names upper-cased; operators as written, dotted ones upper-cased
};

class Parser {
 public:
  Parser(std::string_view text, const DbfLayout& layout) : text_(text), layout_(layout) {}

  Status Parse(NodePtr* out) {
    Status s = Next();
    if (!s.ok()) return s;
    s = ParseOr(out);
    if (!s.ok()) return s;
    if (tok_.kind != Token::kEnd) return Unsupported("unexpected \"" + tok_.text + "\"");
    return Status::OK();
  }

 private:
  Status Unsupported(const std::string& what) {
    return Status::NotSupported("expression \"" + std::string(text_) + "\": " + what);
  }

  Status Next() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    tok_ = Token();
    if (pos_ >= text_.size()) return Status::OK();
    char c = text_[pos_];
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      std::size_t b = pos_;
      while (pos_ < text_.size() &&
             (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_')) {
        ++pos_;
      }
      tok_.kind = Token::kName;
      tok_.text = Upper(std::string(text_.substr(b, pos_ - b)));
      // alias.field or alias->field: the alias is this table.
      if (pos_ + 1 < text_.size() && text_[pos_] == '-' && text_[pos_ + 1] == '>') {
        pos_ += 2;
        return Next();
      }
      if (pos_ + 1 < text_.size() && text_[pos_] == '.' &&
          (std::isalpha(static_cast<unsigned char>(text_[pos_ + 1])) || text_[pos_ + 1] == '_') &&
          layout_.FindField(tok_.text) < 0) {
        // A dotted operator (.AND.) cannot follow a name directly; this is an alias.
        std::size_t save = pos_;
        ++pos_;
        Token alias = tok_;
        Status s = Next();
        if (s.ok() && tok_.kind == Token::kName && layout_.FindField(tok_.text) >= 0) return s;
        pos_ = save;
        tok_ = alias;
      }
      return Status::OK();
    }
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '.' && pos_ + 1 < text_.size() &&
         std::isdigit(static_cast<unsigned char>(text_[pos_ + 1])))) {
      std::size_t b = pos_;
      while (pos_ < text_.size() &&
             (std::isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.')) {
        ++pos_;
      }
      tok_.kind = Token::kNumber;
      tok_.text = std::string(text_.substr(b, pos_ - b));
      return Status::OK();
    }
    if (c == '\'' || c == '"' || c == '[') {
      char close = c == '[' ? ']' : c;
      std::size_t e = text_.find(close, pos_ + 1);
      if (e == std::string_view::npos) return Unsupported("unterminated string");
      tok_.kind = Token::kString;
      tok_.text = std::string(text_.substr(pos_ + 1, e - pos_ - 1));
      pos_ = e + 1;
      return Status::OK();
    }
    if (c == '.') {
      std::size_t e = text_.find('.', pos_ + 1);
      if (e == std::string_view::npos || e - pos_ > 4) return Unsupported("stray \".\"");
      tok_.kind = Token::kOp;
      tok_.text = Upper(std::string(text_.substr(pos_, e - pos_ + 1)));
      pos_ = e + 1;
      if (tok_.text == ".T." || tok_.text == ".F." || tok_.text == ".Y." || tok_.text == ".N.") {
        tok_.kind = Token::kName;  // logical literal, handled in Primary
      } else if (tok_.text != ".AND." && tok_.text != ".OR." && tok_.text != ".NOT.") {
        return Unsupported("operator " + tok_.text);
      }
      return Status::OK();
    }
    static const char* kTwo[] = {"==", "<>", "!=", "<=", ">=", "->"};
    for (const char* op : kTwo) {
      if (text_.substr(pos_, 2) == op) {
        tok_.kind = Token::kOp;
        tok_.text = op;
        pos_ += 2;
        return Status::OK();
      }
    }
    if (std::strchr("+-*/()=#<>!,$", c) != nullptr) {
      tok_.kind = Token::kOp;
      tok_.text = std::string(1, c);
      ++pos_;
      return Status::OK();
    }
    return Unsupported(std::string("character '") + c + "'");
  }

  bool IsOp(const char* op) const { return tok_.kind == Token::kOp && tok_.text == op; }
  bool IsWord(const char* w) const { return tok_.kind == Token::kName && tok_.text == w; }

  Status ParseOr(NodePtr* out) {
    Status s = ParseAnd(out);
    while (s.ok() && (IsOp(".OR.") || IsWord("OR"))) {
      NodePtr rhs;
      if (!(s = Next()).ok() || !(s = ParseAnd(&rhs)).ok()) return s;
      s = MakeLogical(".OR.", out, std::move(rhs));
    }
    return s;
  }

  Status ParseAnd(NodePtr* out) {
    Status s = ParseNot(out);
    while (s.ok() && (IsOp(".AND.") || IsWord("AND"))) {
      NodePtr rhs;
      if (!(s = Next()).ok() || !(s = ParseNot(&rhs)).ok()) return s;
      s = MakeLogical(".AND.", out, std::move(rhs));
    }
    return s;
  }

  Status MakeLogical(const char* op, NodePtr* lhs, NodePtr rhs) {
    if ((*lhs)->type != ExprType::kLogical || rhs->type != ExprType::kLogical) {
      return Unsupported(std::string(op) + " of non-logical values");
    }
    auto n = std::make_unique<Binary>(op, std::move(*lhs), std::move(rhs));
    n->type = ExprType::kLogical;
    *lhs = std::move(n);
    return Status::OK();
  }

  Status ParseNot(NodePtr* out) {
    if (IsOp(".NOT.") || IsOp("!") || IsWord("NOT")) {
      Status s = Next();
      if (!s.ok()) return s;
      NodePtr a;
      s = ParseNot(&a);
      if (!s.ok()) return s;
      if (a->type != ExprType::kLogical) return Unsupported("NOT of a non-logical value");
      *out = std::make_unique<Not>(std::move(a));
      return Status::OK();
    }
    return ParseCompare(out);
  }

  Status ParseCompare(NodePtr* out) {
    Status s = ParseAdd(out);
    if (!s.ok()) return s;
    static const char* kOps[] = {"=", "==", "<>", "#", "!=", "<", ">", "<=", ">=", "$"};
    for (const char* op : kOps) {
      if (IsOp(op)) {
        NodePtr rhs;
        if (!(s = Next()).ok() || !(s = ParseAdd(&rhs)).ok()) return s;
        if ((*out)->type != rhs->type)
          return Unsupported(std::string("comparison ") + op + " of different types");
        if (std::string(op) == "$" && rhs->type != ExprType::kChar)
          return Unsupported("$ of non-character values");
        auto n = std::make_unique<Binary>(op, std::move(*out), std::move(rhs));
        n->type = ExprType::kLogical;
        *out = std::move(n);
        return Status::OK();
      }
    }
    return Status::OK();
  }

  Status ParseAdd(NodePtr* out) {
    Status s = ParseMul(out);
    while (s.ok() && (IsOp("+") || IsOp("-"))) {
      std::string op = tok_.text;
      NodePtr rhs;
      if (!(s = Next()).ok() || !(s = ParseMul(&rhs)).ok()) return s;
      ExprType a = (*out)->type, b = rhs->type;
      ExprType result;
      int width = -1;
      if (a == ExprType::kChar && b == ExprType::kChar) {
        result = ExprType::kChar;
        if ((*out)->width >= 0 && rhs->width >= 0) width = (*out)->width + rhs->width;
      } else if (a == ExprType::kNumber && b == ExprType::kNumber) {
        result = ExprType::kNumber;
      } else if (a == ExprType::kDate && b == ExprType::kNumber) {
        result = ExprType::kDate;
      } else if (a == ExprType::kDate && b == ExprType::kDate && op == "-") {
        result = ExprType::kNumber;
      } else {
        return Unsupported("\"" + op + "\" of mismatched types");
      }
      auto n = std::make_unique<Binary>(op, std::move(*out), std::move(rhs));
      n->type = result;
      n->width = width;
      *out = std::move(n);
    }
    return s;
  }

  Status ParseMul(NodePtr* out) {
    Status s = ParseUnary(out);
    while (s.ok() && (IsOp("*") || IsOp("/"))) {
      std::string op = tok_.text;
      NodePtr rhs;
      if (!(s = Next()).ok() || !(s = ParseUnary(&rhs)).ok()) return s;
      if ((*out)->type != ExprType::kNumber || rhs->type != ExprType::kNumber) {
        return Unsupported("\"" + op + "\" of non-numeric values");
      }
      auto n = std::make_unique<Binary>(op, std::move(*out), std::move(rhs));
      n->type = ExprType::kNumber;
      *out = std::move(n);
    }
    return s;
  }

  Status ParseUnary(NodePtr* out) {
    if (IsOp("-") || IsOp("+")) {
      bool neg = IsOp("-");
      Status s = Next();
      if (!s.ok()) return s;
      s = ParseUnary(out);
      if (!s.ok()) return s;
      if ((*out)->type != ExprType::kNumber) return Unsupported("sign of a non-numeric value");
      if (neg) *out = std::make_unique<Negate>(std::move(*out));
      return Status::OK();
    }
    return ParsePrimary(out);
  }

  // FoxPro accepts a function by its first four letters or more.
  static std::string FunctionName(const std::string& word) {
    static const char* kNames[] = {"UPPER", "LOWER",   "ALLTRIM", "TRIM",  "RTRIM", "LTRIM", "LEFT",
                                   "RIGHT", "SUBSTR",  "PADL",    "PADR",  "SPACE", "STR",   "VAL",
                                   "DTOS",  "DELETED", "RECNO",   "EMPTY", "IIF"};
    for (const char* n : kNames) {
      std::string name = n;
      if (word == name) return name;
      if (word.size() >= 4 && word.size() < name.size() &&
          name.compare(0, word.size(), word) == 0) {
        return name;
      }
    }
    return "";
  }

  Status ParsePrimary(NodePtr* out) {
    Status s;
    if (IsOp("(")) {
      if (!(s = Next()).ok() || !(s = ParseOr(out)).ok()) return s;
      if (!IsOp(")")) return Unsupported("missing \")\"");
      return Next();
    }
    if (tok_.kind == Token::kNumber) {
      ExprValue v;
      v.type = ExprType::kNumber;
      if (!ParseDecimal(tok_.text, &v.number)) return Unsupported("number " + tok_.text);
      *out = std::make_unique<Literal>(v);
      return Next();
    }
    if (tok_.kind == Token::kString) {
      ExprValue v;
      v.text = tok_.text;
      *out = std::make_unique<Literal>(v);
      return Next();
    }
    if (tok_.kind != Token::kName) {
      return Unsupported(tok_.kind == Token::kEnd ? "ends too soon"
                                                  : "unexpected \"" + tok_.text + "\"");
    }
    std::string word = tok_.text;
    if (word == ".T." || word == ".F." || word == ".Y." || word == ".N.") {
      ExprValue v;
      v.type = ExprType::kLogical;
      v.logical = word == ".T." || word == ".Y.";
      *out = std::make_unique<Literal>(v);
      return Next();
    }
    if (!(s = Next()).ok()) return s;
    if (!IsOp("(")) {
      int f = layout_.FindField(word);
      if (f < 0) return Unsupported("no field " + word);
      const DbfField& field = layout_.fields()[f];
      if (field.type != 'C' && field.type != 'N' && field.type != 'F' && field.type != 'D' &&
          field.type != 'L') {
        return Unsupported("field " + word + " of type " + std::string(1, field.type));
      }
      *out = std::make_unique<FieldRef>(f, field);
      return Status::OK();
    }
    std::string name = FunctionName(word);
    if (name.empty()) return Unsupported("function " + word + "()");
    std::vector<NodePtr> args;
    if (!(s = Next()).ok()) return s;
    if (!IsOp(")")) {
      for (;;) {
        NodePtr a;
        if (!(s = ParseOr(&a)).ok()) return s;
        args.push_back(std::move(a));
        if (IsOp(",")) {
          if (!(s = Next()).ok()) return s;
          continue;
        }
        break;
      }
      if (!IsOp(")")) return Unsupported("missing \")\" after " + name + "(");
    }
    if (!(s = Next()).ok()) return s;
    return MakeCall(name, std::move(args), out);
  }

  Status MakeCall(const std::string& name, std::vector<NodePtr> args, NodePtr* out) {
    using T = ExprType;
    auto want = [&](std::size_t min, std::size_t max, std::vector<T> types) -> Status {
      if (args.size() < min || args.size() > max) {
        return Unsupported(name + "() with " + std::to_string(args.size()) + " arguments");
      }
      for (std::size_t i = 0; i < args.size() && i < types.size(); ++i) {
        if (args[i]->type != types[i])
          return Unsupported(name + "() argument " + std::to_string(i + 1) + " of the wrong type");
      }
      return Status::OK();
    };
    // A numeric argument that is a literal gives a static width.
    auto literal = [&](std::size_t i, int* v) {
      auto* lit = dynamic_cast<Literal*>(args[i].get());
      if (!lit) return false;
      const ExprValue& x = lit->value();
      *v = static_cast<int>(std::max(0.0, std::min(x.number, 65535.0)));
      return true;
    };
    Status s;
    T type = T::kChar;
    int width = -1;
    int n = 0, m = 0;
    if (name == "UPPER" || name == "LOWER") {
      s = want(1, 1, {T::kChar});
      width = s.ok() ? args[0]->width : -1;
    } else if (name == "ALLTRIM" || name == "TRIM" || name == "RTRIM" || name == "LTRIM") {
      s = want(1, 1, {T::kChar});
    } else if (name == "LEFT" || name == "RIGHT") {
      s = want(2, 2, {T::kChar, T::kNumber});
      if (s.ok() && args[0]->width >= 0 && literal(1, &n)) width = std::min(n, args[0]->width);
    } else if (name == "SUBSTR") {
      s = want(2, 3, {T::kChar, T::kNumber, T::kNumber});
      if (s.ok() && args[0]->width >= 0 && literal(1, &n)) {
        int rest = n >= 1 && n <= args[0]->width ? args[0]->width - n + 1 : 0;
        if (args.size() == 2)
          width = rest;
        else if (literal(2, &m))
          width = std::min(m, rest);
      }
    } else if (name == "PADL" || name == "PADR") {
      s = want(2, 3, {T::kChar, T::kNumber, T::kChar});
      if (s.ok() && literal(1, &n)) width = n;
    } else if (name == "SPACE") {
      s = want(1, 1, {T::kNumber});
      if (s.ok() && literal(0, &n)) width = n;
    } else if (name == "STR") {
      s = want(1, 3, {T::kNumber, T::kNumber, T::kNumber});
      if (s.ok()) {
        if (args.size() == 1)
          width = 10;
        else if (literal(1, &n))
          width = std::max(1, std::min(n, 255));
      }
    } else if (name == "VAL") {
      s = want(1, 1, {T::kChar});
      type = T::kNumber;
    } else if (name == "DTOS") {
      s = want(1, 1, {T::kDate});
      width = 8;
    } else if (name == "DELETED") {
      s = want(0, 0, {});
      type = T::kLogical;
    } else if (name == "RECNO") {
      s = want(0, 0, {});
      type = T::kNumber;
    } else if (name == "EMPTY") {
      s = want(1, 1, {});
      type = T::kLogical;
    } else if (name == "IIF") {
      s = want(3, 3, {T::kLogical});
      if (s.ok()) {
        if (args[1]->type != args[2]->type) return Unsupported("IIF() branches of different types");
        type = args[1]->type;
        if (type == T::kChar && args[1]->width >= 0 && args[1]->width == args[2]->width) {
          width = args[1]->width;
        }
      }
    }
    if (!s.ok()) return s;
    auto call = std::make_unique<Call>(name, std::move(args));
    call->type = type;
    call->width = type == T::kChar ? width : -1;
    *out = std::move(call);
    return Status::OK();
  }

  std::string_view text_;
  const DbfLayout& layout_;
  std::size_t pos_ = 0;
  Token tok_;
};

}  // namespace

// ---------------------------------------------------------------- Expr

Expr::Expr(std::unique_ptr<ExprNode> root) : root_(std::move(root)) {}
Expr::~Expr() = default;

Status Expr::Compile(std::string_view text, const DbfLayout& layout, std::unique_ptr<Expr>* out) {
  NodePtr root;
  Parser p(text, layout);
  Status s = p.Parse(&root);
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
