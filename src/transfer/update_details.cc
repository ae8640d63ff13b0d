#include "transfer/update_details.h"

#include "base/text.h"
#include "platform/runtime_error.h"
#include "store/client_records.h"
#include "store/property_records.h"
#include "transfer/read_driver.h"

namespace xfr {

namespace {

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// The value as a box shows it, without the blanks the table pads it with.
std::string Shown(const Value& v) { return VbRTrim(ValueText(v)); }

// " (the report has ...)" when the field will hold `stored` rather than what was captured.
std::string Difference(const DataControl& dc, const FieldWrite& w, const std::string& stored) {
  if (w.captured.empty() || VbRTrim(stored) == w.captured) return "";
  std::string why;
  if (dc.InCodePage(w.captured) != w.captured) {
    why += "; \"?\" stands for a character the table cannot hold";
  }
  if (Utf8Length(w.captured) > Utf8Length(stored)) {
    why += "; cut to " + std::to_string(Utf8Length(stored)) + " characters";
  }
  return " (the report has " + Quoted(w.captured) + why + ")";
}

// The line for one write: for an update "" when the field keeps its value, for an add "" when
// the new record's field stays empty.
std::string FieldLine(const DataControl& dc, const FieldWrite& w, bool adding) {
  std::string name = w.field;
  try {
    name = dc.Info(w.field).name;
    const Value stored = StoredValue(dc, w);
    const std::string after = Shown(stored);
    const std::string difference = Difference(dc, w, ValueText(stored));
    if (adding) return after.empty() ? "" : name + ": " + Quoted(after) + difference;
    const std::string before = Shown(dc.AsStored(w.field, dc.Field(w.field)));
    if (before == after) return "";
    return name + ": " + Quoted(before) + " -> " + (after.empty() ? "cleared" : Quoted(after)) +
           difference;
  } catch (const RuntimeError& error) {
    return name + ": cannot be written (" + std::string(error.what()) + ")";
  }
}

std::string ClientLines(FrmMain& form, const ClientLink& link) {
  switch (link.kind) {
    case ClientLink::kNoProperty: break;
    case ClientLink::kKeeps:
      return "Client: stays " + link.cli_num + (link.exists ? "" : " (not in the client list)");
    case ClientLink::kInvalidId:
      return "Client: none linked; the report's client ID \"" + link.cli_num +
             "\" is not 1 to 5 characters";
    case ClientLink::kLinks: return "Client: none -> " + link.cli_num;
    case ClientLink::kAddsAndLinks: {
      std::string out =
          "Client: none -> " + link.cli_num + " (a new client, added from the report)";
      for (const FieldWrite& w : ClientWritesFromLabels(form)) {
        const std::string line = FieldLine(form.datclient, w, true);
        if (!line.empty()) out += "\n  " + line;
      }
      return out;
    }
  }
  return "";
}

}  // namespace

std::string ReadDetails(FrmMain& form, std::string_view file_num, bool zna, bool adding) {
  std::string out;
  for (const FieldWrite& w : PropertyWritesFromLabels(form, adding)) {
    const std::string line = FieldLine(form.datproperty, w, adding);
    if (!line.empty()) out += line + "\n";
  }
  if (out.empty()) out = "No field of the job would change.\n";
  if (!zna) {
    out += ClientLines(form, adding ? PlanCapturedClient(form) : PlanClientLink(form, file_num));
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

}  // namespace xfr
