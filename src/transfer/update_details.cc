#include "transfer/update_details.h"

#include "base/text.h"
#include "platform/runtime_error.h"
#include "store/property_records.h"
#include "transfer/read_driver.h"

namespace xfr {

namespace {

std::string Quoted(const Value& v) { return "\"" + ValueText(v) + "\""; }

// The line for one write, "" when the field keeps its value.
std::string FieldLine(DataControl& dc, const PropertyWrite& w) {
  std::string name = w.field;
  try {
    if (w.error) throw *w.error;
    const FieldInfo& info = dc.Info(w.field);
    name = info.name;
    const Value after = AsStored(
        info, w.how == PropertyWrite::kText ? TextToFieldValue(info, ValueText(w.value)) : w.value);
    const Value before = AsStored(info, dc.Field(w.field));
    if (ValueText(before) == ValueText(after)) return "";
    return name + ": " + Quoted(before) + " -> " +
           (ValueText(after).empty() ? "cleared" : Quoted(after));
  } catch (const RuntimeError& error) {
    return name + ": cannot be written (" + std::string(error.what()) + ")";
  }
}

std::string ClientLine(const ClientLink& link) {
  switch (link.kind) {
    case ClientLink::kNoProperty: break;
    case ClientLink::kKeeps:
      return "Client: stays " + link.cli_num + (link.exists ? "" : " (not in the client list)");
    case ClientLink::kInvalidId:
      return "Client: none linked; the report's client ID \"" + link.cli_num +
             "\" is not 1 to 5 characters";
    case ClientLink::kLinks: return "Client: none -> " + link.cli_num;
    case ClientLink::kAddsAndLinks:
      return "Client: none -> " + link.cli_num + " (a new client, added from the report)";
  }
  return "";
}

}  // namespace

std::string UpdateDetails(FrmMain& form, std::string_view file_num, bool zna) {
  std::string out;
  for (const PropertyWrite& w : PropertyWritesFromLabels(form)) {
    const std::string line = FieldLine(form.datproperty, w);
    if (!line.empty()) out += line + "\n";
  }
  if (out.empty()) out = "No field of the job would change.\n";
  if (!zna) out += ClientLine(PlanClientLink(form, file_num)) + "\n";
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

}  // namespace xfr
