// The send's smoke test end to end: the send command over the session bus to apx-sim (checked
// against its log of what it received), with copies of the fixture tables read through the FoxPro
// engine and compared byte for byte before and after. The send's branches (XFR.INI rows, the ZNA
// form, no report, a property without its client, long keys) are tested on fakes in
// tests/transfer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/dbus/apx_sim_process.h"
#include "transfer/send_driver.h"

namespace xfr {
namespace {

using SendE2eTest = testing::TablesE2eTest;

std::string Poke(const std::string& item, const std::string& data) {
  return R"({"op":"poke","topic":"RPT2","item":")" + item + R"(","data":")" + data + "\"}";
}

TEST_F(SendE2eTest, SendsTheRowsThenTheMacroAndWritesNoTable) {
  // Two reports, the first listed not the first in the file: the send goes to the first listed.
  ServeJson(R"({"activeReports": "RPT2,RPT1,",
      "reports": {"RPT1": {"forms": ["zna"]}, "RPT2": {"forms": ["URAR", "offscrn"]}}})");
  const std::vector<std::string> before = TableBytes();
  FrmMain& f = Start("24-00102");  // with its client 10002, on a form with no XFR.INI lines
  cmdSend_Click(f);
  EXPECT_EQ(
      LogLines(),
      (std::vector<std::string>{
          R"({"op":"request","topic":"Query","item":"ActiveReports"})",
          R"({"op":"request","topic":"RPT2","item":"ListForms"})", Poke("Offscrn|3|3", "24-00102"),
          Poke("Offscrn|7|1", "77 Peachtree Cir NE"), Poke("Offscrn|8|1", "Atlanta"),
          Poke("Offscrn|8|3", "GA"), Poke("Offscrn|8|4", "30309"), Poke("Offscrn|8|2", "Fulton"),
          Poke("Offscrn|6|1", "Margaret A. Holloway"), Poke("Offscrn|13|1", "10002"),
          Poke("Offscrn|14|1", "Ansley Private Bank"), Poke("Offscrn|15|1", "1201 Peachtree St NE"),
          Poke("Offscrn|16|1", "Suite 400"), Poke("Offscrn|17|1", "Atlanta, GA 30361"),
          Poke("Offscrn|20|3", "Claire Whitman"), Poke("Offscrn|24|1", "Ansley Park"),
          Poke("Offscrn|2|3", "RF-20240102"),
          Poke("OFFSCRN|10|1", "Lot 3 , Blk 12 , LandLot 105 , Dist 17 , DdBk 55120 , DdPg 77"),
          R"({"op":"execute","topic":"System","data":"[RunMacro(CloseScn.bas)]\r"})"}));
  EXPECT_EQ(f.LblMsg.caption, kSentStatus);
  EXPECT_TRUE(window_.boxes.empty());
  Form_Unload(f);
  EXPECT_EQ(TableBytes(), before);
}

}  // namespace
}  // namespace xfr
