// Reading one JSON string literal, shared by every JSON reader in the program (the transfer
// journal's and the stand-in appraisal program's report files).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace xfr {

// Reads the string literal that starts at text[*pos] (the opening quote) and appends its text,
// escapes decoded and \u escapes written as UTF-8, to *out. On success *pos is just past the
// closing quote and the result is nullptr; otherwise the result says what is wrong and *pos is
// where. Surrogates must come in pairs.
const char* ReadJsonString(std::string_view text, std::size_t* pos, std::string* out);

}  // namespace xfr
