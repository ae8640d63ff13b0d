// The INI writer's promise, checked by the INI table test and the INI fuzz target.
#pragma once

#include <cstddef>
#include <string>

namespace xfr::testing {

// True when `after` is `before` with lines inserted in one place, or with part of one line
// replaced: the stretch of `before` that changed is empty or holds no line end.
inline bool ChangesOneLineOnly(const std::string& before, const std::string& after) {
  std::size_t prefix = 0;
  while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) {
    ++prefix;
  }
  std::size_t suffix = 0;
  while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  const std::string removed = before.substr(prefix, before.size() - prefix - suffix);
  const std::string added = after.substr(prefix, after.size() - prefix - suffix);
  return removed.empty() || (removed.find_first_of("\r\n") == std::string::npos &&
                             added.find_first_of("\r\n") == std::string::npos);
}

}  // namespace xfr::testing
