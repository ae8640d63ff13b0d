#include "platform/runtime_error.h"

namespace xfr {

std::string DescribeError(int number) {
  switch (number) {
    case 5: return "Invalid procedure call or argument";
    case 6: return "Overflow";
    case kErrDataTypeMismatch: return "Type mismatch";
    case kErrFileNotFound: return "File not found";
    case kErrInputPastEnd: return "Input past end of file";
    case 70: return "Permission denied";
    case 75: return "Path/File access error";
    case 76: return "Path not found";
    case kErrNoDdeServer: return "No application responded to the conversation";
    case kErrDdeRefused: return "The other application would not perform the request";
    case kErrDdeTimeout: return "The other application did not answer in time";
    case kErrInvalidProperty: return "Invalid property value";
    case kErrInvalidPicture: return "Invalid picture";
    case kErrTableNotFound: return "The table could not be found";
    case kErrNotAnIndex: return "That is not an index of this table";
    case kErrNoCurrentIndex: return "Operation invalid without a current index";
    case kErrUpdateWithoutEdit: return "Update without AddNew or Edit";
    case kErrNoCurrentRecord: return "No current record";
    case kErrDuplicateKey: return "The change would create a duplicate key in a unique index";
    case kErrTableReadOnly: return "The table cannot be updated; it is read-only";
    case kErrDatabaseDamaged: return "The table or its index is damaged";
    case kErrRecordLocked: return "The record is locked by another user";
    case kErrItemNotFound: return "No field of that name in this table";
    default: return "Application-defined or object-defined error";
  }
}

RuntimeError::RuntimeError(int number, std::string description)
    : std::runtime_error(description.empty() ? DescribeError(number) : description),
      number_(number),
      description_(description.empty() ? DescribeError(number) : std::move(description)) {}

}  // namespace xfr
