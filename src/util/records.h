// The index lookup on a tracking table and the fitting of a value to a field's width.
#pragma once

#include <string>
#include <string_view>

#include "base/app.h"
#include "controls/data_control.h"

namespace xfr {

// Seeks `key` (trimmed, in the caller's letter case) on the tag `index` of the control's table.
// True when found: the found record is current. A blank key answers false without touching the
// table; a miss returns to the record that was current before. 3021 answers false; 3019 runs the
// seek again, up to kFindRecordSeekRetries times; other errors go to the error report.
bool FindRecord(App& app, DataControl& control, std::string_view key, std::string_view index);
inline constexpr int kFindRecordSeekRetries = 3;

// The value trimmed, padded with blanks and cut to exactly the width of the field.
std::string Trim2Size(App& app, DataControl& control, std::string_view value,
                      std::string_view field);

}  // namespace xfr
