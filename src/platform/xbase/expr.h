// Expr: FoxPro index expressions (a tag's key and FOR expressions) compiled against a table's
// fields and evaluated on a record into the bytes FoxPro stores in the index.
//
// Understood: field names (optionally "alias." or "alias->" qualified), character, numeric and
// logical literals, + and - (concatenation, arithmetic, date plus days), * /, comparisons
// (= == <> # != < > <= >= $), .AND. .OR. .NOT. ! NOT AND OR, and the functions UPPER LOWER
// ALLTRIM TRIM RTRIM LTRIM LEFT RIGHT SUBSTR PADL PADR SPACE STR VAL DTOS DELETED RECNO EMPTY IIF
// (each also by its first four letters, as FoxPro accepts). Anything else is NotSupported, and
// the table refuses to write rather than store a key it cannot compute.
//
// Key bytes: character keys blank-padded or cut to the tag's key length; numeric keys and date
// keys (the Julian day number; a blank date is 0) as 8-byte IEEE doubles in big-endian order with
// the sign bit flipped for positive values and every bit flipped for negative ones, so that byte
// order is number order; logical keys "T" or "F".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/xbase/dbf.h"
#include "platform/xbase/status.h"

namespace xbase {

enum class ExprType { kChar, kNumber, kDate, kLogical };

struct ExprValue {
  ExprType type = ExprType::kChar;
  std::string text;         // kChar: bytes in the table's code page
  double number = 0;        // kNumber
  std::int64_t julian = 0;  // kDate: Julian day number, 0 for a blank date
  bool logical = false;     // kLogical
};

class ExprNode;

class Expr {
 public:
  ~Expr();
  // Compiles `text` for records of `layout`. NotSupported names what could not be understood.
  static Status Compile(std::string_view text, const DbfLayout& layout, std::unique_ptr<Expr>* out);

  ExprType type() const;
  // Width of a character result when it does not depend on the record (fields, LEFT, ...); -1
  // when it does (ALLTRIM, TRIM, ...).
  int width() const;
  // `recno` is the record's number (for RECNO()). Fails only for values it cannot compute.
  Status Evaluate(const Record& record, std::uint32_t recno, ExprValue* out) const;
  // The key of a record for an index of key_length bytes.
  Status EvaluateKey(const Record& record, std::uint32_t recno, int key_length,
                     std::string* key) const;

 private:
  explicit Expr(std::unique_ptr<ExprNode> root);
  std::unique_ptr<ExprNode> root_;
};

// The 8 ordered bytes FoxPro keys numbers and dates by.
std::string EncodeNumberKey(double v);
double DecodeNumberKey(std::string_view key8);
// A value as key bytes of key_length (see above).
std::string EncodeKey(const ExprValue& v, int key_length);

}  // namespace xbase
