#include "transfer/legal.h"

#include <gtest/gtest.h>

#include "fakes/office.h"

namespace xfr {
namespace {

TEST(MakeLegalDescription, ComposesTheFilledPartsInOrder) {
  struct Case {
    const char* name;
    std::vector<std::pair<TextBox FrmMain::*, std::string>> boxes;
    std::string expected;
  } cases[] = {
      {"blanks only count as empty",
       {{&FrmMain::txtPr_Lot, "   "}, {&FrmMain::txtPr_PlatPg, " "}}, ""},
      {"lot only keeps the blank before the dropped comma", {{&FrmMain::txtPr_Lot, "12"}},
       "Lot 12 "},
      {"values go in untrimmed", {{&FrmMain::txtPr_Block, " B 2  "}}, "Blk  B 2   "},
      {"a value's own comma stays", {{&FrmMain::txtPr_PlatPg, "7,"}}, "PlatPg 7, "},
      {"all nine, prefixes in order",
       {{&FrmMain::txtPr_Lot, "1"}, {&FrmMain::txtPr_Block, "2"}, {&FrmMain::txtPr_LandLot, "3"},
        {&FrmMain::txtPr_Landist, "4"}, {&FrmMain::txtPr_Section, "5"},
        {&FrmMain::txtPr_DeedBk, "6"}, {&FrmMain::txtPr_DeedPg, "7"},
        {&FrmMain::txtPr_PlatBk, "8"}, {&FrmMain::txtPr_PlatPg, "9"}},
       "Lot 1 , Blk 2 , LandLot 3 , Dist 4 , Sect 5 , DdBk 6 , DdPg 7 , PlatBk 8 , PlatPg 9 "},
      {"order is the table's, not the typing's",
       {{&FrmMain::txtPr_PlatBk, "88"}, {&FrmMain::txtPr_Landist, "15"}},
       "Dist 15 , PlatBk 88 "},
  };
  for (const Case& c : cases) {
    testing::Office o;
    FrmMain& f = o.Form();
    for (const auto& [box, text] : c.boxes) (f.*box).text = text;
    EXPECT_EQ(MakeLegalDescription(f), c.expected) << c.name;
  }
}

TEST(StripTrailingComma, DropsOnlyTheFinalCommaOfTheTrimmedText) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"   ", "   "}, {"Lot 1 , ", "Lot 1 "}, {" a,, ", "a,"}, {",", ""}, {"  x , y ", "x , y"},
  };
  for (const Case& c : cases) EXPECT_EQ(StripTrailingComma(c.in), c.out) << "[" << c.in << "]";
}

TEST(ReturnLegal, FormNameAndTheLegalLineOfThatForm) {
  testing::Office o;
  o.app.config.XfrIni = "C:\\WINDOWS\\XFR.INI";
  o.ini.Set("C:\\WINDOWS\\XFR.INI", "Legal", "URAR", "10|2");
  o.ini.Set("C:\\WINDOWS\\XFR.INI", "CENSUS", "OTHER", "5|2");
  EXPECT_EQ(ReturnLegal(o.app, "URAR"), "URAR|10|2");
  EXPECT_EQ(ReturnLegal(o.app, "urar"), "urar|10|2");  // keys match in any case; name as given
  EXPECT_EQ(ReturnLegal(o.app, "OTHER"), "");          // another section's line is not a legal line
  EXPECT_EQ(ReturnLegal(o.app, "NONE"), "");
}

}  // namespace
}  // namespace xfr
