// The link check of the console's "link-test" command: asks the appraisal software what the read
// transfer would ask first (is a report open, which report and form, which file number) without
// touching the tracking tables.
#pragma once

#include <string>
#include <vector>

#include "base/app.h"
#include "controls/dde_control.h"

namespace xfr {

struct LinkCheck {
  bool report_open = false;      // ApxReportIsOpen's answer
  std::string report;            // the first active report, "" when there is none
  std::string form;              // that report's first form
  std::string file_number_item;  // "znaprof|3|1" for the ZNA form, "offscrn|3|3" for the others
  std::string file_number;       // that field, trimmed and upper-cased as the read keeps it
  // The sections of XFR.INI among FORM, CENSUS, MAPREF and OWNER without an entry for the form:
  // a read leaves the form type, census tract, map reference or owner blank for them.
  std::vector<std::string> missing_entries;
};

// Runs ApxReportIsOpen and, when it answers true, the report and form lookups and the file-number
// read of the read transfer, all through `control`, then looks up the form's entries in XFR.INI.
// Errors take the link's usual course (quiet or the error report).
LinkCheck LinkTest(App& app, DdeClientControl& control);

}  // namespace xfr
