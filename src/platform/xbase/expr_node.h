// The compiled form of an index expression: a tree of nodes, each evaluated on a record. Shared
// by the parser (expr_parse.cc), which builds and types the tree, and the evaluator (expr.cc).
// Nothing outside the expression code should need it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/xbase/dbf.h"
#include "platform/xbase/expr.h"
#include "platform/xbase/status.h"

namespace xbase {

class ExprNode {
 public:
  virtual ~ExprNode() = default;
  ExprType type = ExprType::kChar;
  int width = -1;  // kChar: static width or -1
  virtual Status Eval(const Record& rec, std::uint32_t recno, ExprValue* out) const = 0;
};

namespace expr_node {

using NodePtr = std::unique_ptr<ExprNode>;

inline std::string Upper(std::string s) {
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
  FieldRef(int field, const DbfField& f);
  Status Eval(const Record& rec, std::uint32_t recno, ExprValue* out) const override;

 private:
  int field_;
  char ftype_;
};

// op: ".AND.", ".OR.", "+", "-", "*", "/" or a comparison; the parser sets type and width.
class Binary final : public ExprNode {
 public:
  Binary(std::string op, NodePtr a, NodePtr b)
      : op_(std::move(op)), a_(std::move(a)), b_(std::move(b)) {}
  Status Eval(const Record& rec, std::uint32_t recno, ExprValue* out) const override;

 private:
  std::string op_;
  NodePtr a_, b_;
};

class Not final : public ExprNode {
 public:
  explicit Not(NodePtr a) : a_(std::move(a)) { type = ExprType::kLogical; }
  Status Eval(const Record& rec, std::uint32_t recno, ExprValue* out) const override;

 private:
  NodePtr a_;
};

class Negate final : public ExprNode {
 public:
  explicit Negate(NodePtr a) : a_(std::move(a)) { type = ExprType::kNumber; }
  Status Eval(const Record& rec, std::uint32_t recno, ExprValue* out) const override;

 private:
  NodePtr a_;
};

// A function by its full name (UPPER, SUBSTR, ...), its arguments checked by the parser.
class Call final : public ExprNode {
 public:
  Call(std::string name, std::vector<NodePtr> args)
      : name_(std::move(name)), args_(std::move(args)) {}
  Status Eval(const Record& rec, std::uint32_t recno, ExprValue* out) const override;

 private:
  std::string name_;
  std::vector<NodePtr> args_;
};

// Parses and types `text` against the fields of `layout`; NotSupported names what it could not
// understand.
Status Parse(std::string_view text, const DbfLayout& layout, NodePtr* out);

}  // namespace expr_node
}  // namespace xbase
