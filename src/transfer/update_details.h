// The account of an update given with the "... was found.  Update?" question: field by field,
// what the update of the job would write, and which client the job would then name.
//
// Worked out from the same list of writes the update makes (PropertyWritesFromLabels) and the
// same client decision (PlanClientLink), so the account and the write cannot disagree. Reads
// the record and the captured labels; writes nothing.
#pragma once

#include <string>
#include <string_view>

#include "form/main_window.h"

namespace xfr {

// One line a field: `NAME: "old" -> "new"` for a value that changes, `NAME: "old" -> cleared`
// for one the update empties, `NAME: cannot be written (why)` for one the update would stop at;
// "No field of the job would change." when none does. Then a line on the client (left out for
// a form that captures no client, `zna`).
// REQUIRES: datproperty stands on the job of `file_num`.
std::string UpdateDetails(FrmMain& form, std::string_view file_num, bool zna);

}  // namespace xfr
