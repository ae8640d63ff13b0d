// The send end to end: the send command over the session bus to apx-sim (checked against its log
// of what it received), with copies of the fixture tables read through the FoxPro engine, and
// the tables compared byte for byte before and after.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/dbus/apx_sim_process.h"
#include "transfer/send_driver.h"

namespace xfr {
namespace {

using Strings = std::vector<std::string>;
using SendE2eTest = testing::TablesE2eTest;

constexpr const char* kXfrIni = "C:\\WINDOWS\\XFR.INI";

// apx-sim's log line of a request, poke or execute on RPT2 (System for an execute).
std::string Logged(const std::string& op, const std::string& item, const std::string& data = "") {
  const std::string topic = op == "execute" ? "System" : "RPT2";
  return R"({"op":")" + op + R"(","topic":")" + topic + "\"" +
         (op == "execute" ? "" : R"(,"item":")" + item + "\"") +
         (op == "request" ? "" : R"(,"data":")" + data + "\"") + "}";
}
std::string Poke(const std::string& item, const std::string& data) {
  return Logged("poke", item, data);
}

// Two reports, the first listed not the first in the file: the send goes to the first listed.
const char kReport[] = R"({"activeReports": "RPT2,RPT1,",
    "reports": {"RPT1": {"forms": ["zna"]}, "RPT2": {"forms": ["URAR", "offscrn"]}}})";

// 24-00102 with its client 10002, on a form with no XFR.INI lines.
const Strings kPlainSend = {
    R"({"op":"request","topic":"Query","item":"ActiveReports"})",
    Logged("request", "ListForms"),
    Poke("Offscrn|3|3", "24-00102"),
    Poke("Offscrn|7|1", "77 Peachtree Cir NE"),
    Poke("Offscrn|8|1", "Atlanta"),
    Poke("Offscrn|8|3", "GA"),
    Poke("Offscrn|8|4", "30309"),
    Poke("Offscrn|8|2", "Fulton"),
    Poke("Offscrn|6|1", "Margaret A. Holloway"),
    Poke("Offscrn|13|1", "10002"),
    Poke("Offscrn|14|1", "Ansley Private Bank"),
    Poke("Offscrn|15|1", "1201 Peachtree St NE"),
    Poke("Offscrn|16|1", "Suite 400"),
    Poke("Offscrn|17|1", "Atlanta, GA 30361"),
    Poke("Offscrn|20|3", "Claire Whitman"),
    Poke("Offscrn|24|1", "Ansley Park"),
    Poke("Offscrn|2|3", "RF-20240102"),
    Poke("OFFSCRN|10|1", "Lot 3 , Blk 12 , LandLot 105 , Dist 17 , DdBk 55120 , DdPg 77"),
    Logged("execute", "", "[RunMacro(CloseScn.bas)]\\r"),
};

// The send's other branches (the ZNA form, no report, a property without its client) are
// tested on fakes in tests/transfer. Plain, then with the four XFR.INI lines adding their rows in
// place, a key longer than the file number box, and a legal box ending in its own comma (kept, not
// taken for the separator).
TEST_F(SendE2eTest, SendsTheRowsThenTheMacroAndWritesNoTable) {
  for (bool edited : {false, true}) {
    SCOPED_TRACE(edited ? "edited" : "plain");
    Strings expected = kPlainSend;
    if (edited) {
      ini_.Set(kXfrIni, "CENSUS", "URAR", "5|2");
      ini_.Set(kXfrIni, "MAPREF", "URAR", "4|1");
      ini_.Set(kXfrIni, "Legal", "URAR", "11|1");
      ini_.Set(kXfrIni, "OWNER", "URAR", "9|1");
      const std::string legal =
          "Lot 3 , Blk 12 , LandLot 105 , Dist 17 , DdBk 55120 , DdPg 77 , PlatPg 7,";
      expected[17] = Poke("OFFSCRN|10|1", legal);
      expected.insert(expected.begin() + 17,
                      {Poke("URAR|5|2", "0002.00"), Poke("URAR|4|1", "17-0105-0003")});
      expected.insert(expected.end() - 1,
                      {Poke("URAR|11|1", legal), Poke("URAR|9|1", "Margaret A. Holloway")});
      StopServing();
    }
    ServeJson(kReport);
    const Strings before = TableBytes();
    FrmMain& f = Start("24-00102");
    if (edited) {
      f.txtKey.text = "24-00102-EXTRA";
      f.txtPr_PlatPg.text = "7,";
    }
    cmdSend_Click(f);
    EXPECT_EQ(LogLines(), expected);
    EXPECT_EQ(f.txtFile_Num.text, "24-00102");
    EXPECT_EQ(f.LblMsg.caption, kSentStatus);
    EXPECT_TRUE(window_.boxes.empty());
    if (!edited) {
      Form_Unload(f);
      EXPECT_EQ(TableBytes(), before);
    }
  }
}

}  // namespace
}  // namespace xfr
