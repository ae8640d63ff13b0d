// A fuzz target's broken promise: says which, and aborts (libFuzzer keeps the input that did it).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

inline void Require(bool ok, const std::string& what) {
  if (!ok) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::abort();
  }
}
