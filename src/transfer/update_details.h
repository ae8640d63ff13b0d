// The account of a read given with its question ("... was not found.  Add?" or "... was found.
// Update?"): field by field, what the add or update of the job would write, and which client the
// job would then name.
//
// Worked out from the same lists of writes the add or update makes (PropertyWritesFromLabels,
// ClientWritesFromLabels), each value as its field will hold it (DataControl::AsStored: the
// table's code page, the cut to the field's width), and the same client decision
// (PlanClientLink), so the account and the write cannot disagree. Reads the record and the
// captured labels; writes nothing.
#pragma once

#include <string>
#include <string_view>

#include "form/main_window.h"

namespace xfr {

// Update: one line a field: `NAME: "old" -> "new"` for a value that changes, `NAME: "old" ->
// cleared` for one the update empties, `NAME: cannot be written (why)` for one the update would
// stop at; "No field of the job would change." when none does. Add (`adding`): `NAME: "new"` for
// each field the new record holds a value in. A value the field holds otherwise than the report
// has it (a character the table cannot hold, a text longer than the field) is followed by what
// the report has and why it differs. Then a line on the client (left out for a form that
// captures no client, `zna`), and the fields of a client the read would add, indented.
// REQUIRES: updating, datproperty stands on the job of `file_num`.
std::string ReadDetails(FrmMain& form, std::string_view file_num, bool zna, bool adding);

}  // namespace xfr
