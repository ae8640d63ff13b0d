#include "transfer/legal.h"

#include "base/ini_access.h"
#include "base/text.h"

namespace xfr {

std::string AddLegalPart(std::string_view legal, const TextBox& box, std::string_view prefix) {
  std::string out(legal);
  // Only the test for emptiness trims: the value goes in as typed.
  if (VbTrim(box.text).empty()) return out;
  out += prefix;
  out += box.text;
  out += kLegalSeparator;
  return out;
}

std::string StripTrailingComma(std::string_view text) {
  std::string t = VbTrim(text);
  if (t.empty()) return std::string(text);
  if (t.back() == ',') t.pop_back();
  return t;
}

std::string MakeLegalDescription(FrmMain& form) {
  const struct {
    const TextBox& box;
    std::string_view prefix;
  } parts[] = {
      {form.txtPr_Lot, "Lot "},         {form.txtPr_Block, "Blk "},
      {form.txtPr_LandLot, "LandLot "}, {form.txtPr_Landist, "Dist "},
      {form.txtPr_Section, "Sect "},    {form.txtPr_DeedBk, "DdBk "},
      {form.txtPr_DeedPg, "DdPg "},     {form.txtPr_PlatBk, "PlatBk "},
      {form.txtPr_PlatPg, "PlatPg "},
  };
  std::string legal;
  for (const auto& part : parts) legal = AddLegalPart(legal, part.box, part.prefix);
  return StripTrailingComma(legal);
}

std::string ReturnLegal(App& app, std::string_view form_name) {
  const std::string value = ReadIniString(app, app.config.XfrIni, "Legal", form_name, "");
  if (value.empty()) return "";
  return std::string(form_name) + "|" + value;
}

}  // namespace xfr
