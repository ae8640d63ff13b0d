// Run-time errors: what a failing platform operation raises, carrying the platform's error
// number and a plain description. The core matches these numbers against each procedure's
// expected list and hands the rest to the error report.
#pragma once

#include <stdexcept>
#include <string>

namespace xfr {

// Error numbers the program knows by name.
enum ErrorNumber : int {
  kErrFileNotFound = 53,
  kErrInputPastEnd = 62,
  kErrNoDdeServer = 282,
  kErrDdeRefused = 285,
  kErrDdeTimeout = 286,
  kErrInvalidProperty = 380,
  kErrInvalidPicture = 481,
  kErrTableNotFound = 3011,
  kErrNoCurrentIndex = 3019,
  kErrUpdateWithoutEdit = 3020,
  kErrNoCurrentRecord = 3021,
  kErrDuplicateKey = 3022,
  kErrNotAnIndex = 3015,
  kErrDatabaseDamaged = 3218,
  kErrRecordLocked = 3260,
  kErrItemNotFound = 3265,
  kErrTableReadOnly = 3027,
  kErrDataTypeMismatch = 13,
};

// Our own plain-words description of an error number ("No current record.", ...).
// Unknown numbers get "Application-defined or object-defined error.".
std::string DescribeError(int number);

class RuntimeError : public std::runtime_error {
 public:
  // With no description, DescribeError(number) is used.
  explicit RuntimeError(int number, std::string description = {});

  int number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  int number_;
  std::string description_;
};

}  // namespace xfr
