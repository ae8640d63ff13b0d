// The run-time error number a step raises, 0 when it raises none.
#pragma once

#include <functional>

#include "platform/runtime_error.h"

namespace xfr::testing {

inline int ErrorOf(const std::function<void()>& step) {
  try {
    step();
  } catch (const RuntimeError& e) {
    return e.number();
  }
  return 0;
}

}  // namespace xfr::testing
