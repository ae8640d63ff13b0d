#include "platform/xbase/status.h"

namespace xbase {

std::string Status::ToString() const {
  const char* name = "OK";
  switch (code_) {
    case Code::kOk: return "OK";
    case Code::kNotFound: name = "Not found"; break;
    case Code::kCorruption: name = "Corruption"; break;
    case Code::kIOError: name = "IO error"; break;
    case Code::kLocked: name = "Locked"; break;
    case Code::kNotSupported: name = "Not supported"; break;
    case Code::kInvalidArgument: name = "Invalid argument"; break;
    case Code::kDuplicate: name = "Duplicate key"; break;
  }
  return std::string(name) + ": " + message_;
}

}  // namespace xbase
