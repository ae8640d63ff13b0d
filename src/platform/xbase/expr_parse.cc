// The expression parser: FoxPro index expression text to a typed tree of expr_node nodes.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/xbase/coding.h"
#include "platform/xbase/expr_node.h"

namespace xbase {
namespace expr_node {

namespace {

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

Status Parse(std::string_view text, const DbfLayout& layout, NodePtr* out) {
  return Parser(text, layout).Parse(out);
}

}  // namespace expr_node
}  // namespace xbase
