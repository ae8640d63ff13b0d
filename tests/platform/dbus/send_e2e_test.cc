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

constexpr const char* kXfrIni = "C:\\WINDOWS\\XFR.INI";

// One value of apx-sim's log line (a flat JSON object of texts); "" when absent.
std::string LogValue(const std::string& line, const std::string& key) {
  const std::string start = "\"" + key + "\":\"";
  std::size_t i = line.find(start);
  if (i == std::string::npos) return "";
  std::string out;
  for (i += start.size(); i < line.size() && line[i] != '"'; ++i) {
    if (line[i] != '\\' || i + 1 >= line.size()) {
      out += line[i];
      continue;
    }
    const char e = line[++i];
    out += e == 'r' ? '\r' : e == 'n' ? '\n' : e == 't' ? '\t' : e;
  }
  return out;
}

class SendE2eTest : public testing::TablesE2eTest {
 protected:
  // The log as "op topic item=data" lines ("op topic data" for executes).
  Strings Log() const {
    Strings out;
    for (const std::string& line : LogLines()) {
      const std::string op = LogValue(line, "op");
      std::string entry = op + " " + LogValue(line, "topic") + " ";
      if (op == "execute") {
        entry += LogValue(line, "data");
      } else if (op == "poke") {
        entry += LogValue(line, "item") + "=" + LogValue(line, "data");
      } else {
        entry += LogValue(line, "item");
      }
      out.push_back(entry);
    }
    return out;
  }
};

// Two reports, the first listed not the first in the file: the send goes to the first listed.
const char kReport[] = R"({"activeReports": "RPT2,RPT1,",
    "reports": {"RPT1": {"forms": ["zna"]}, "RPT2": {"forms": ["URAR", "offscrn"]}}})";

// 24-00102 with its client 10002, on a form with no XFR.INI lines.
const Strings kPlainSend = {
    "request Query ActiveReports",
    "request RPT2 ListForms",
    "poke RPT2 Offscrn|3|3=24-00102",
    "poke RPT2 Offscrn|7|1=77 Peachtree Cir NE",
    "poke RPT2 Offscrn|8|1=Atlanta",
    "poke RPT2 Offscrn|8|3=GA",
    "poke RPT2 Offscrn|8|4=30309",
    "poke RPT2 Offscrn|8|2=Fulton",
    "poke RPT2 Offscrn|6|1=Margaret A. Holloway",
    "poke RPT2 Offscrn|13|1=10002",
    "poke RPT2 Offscrn|14|1=Ansley Private Bank",
    "poke RPT2 Offscrn|15|1=1201 Peachtree St NE",
    "poke RPT2 Offscrn|16|1=Suite 400",
    "poke RPT2 Offscrn|17|1=Atlanta, GA 30361",
    "poke RPT2 Offscrn|20|3=Claire Whitman",
    "poke RPT2 Offscrn|24|1=Ansley Park",
    "poke RPT2 Offscrn|2|3=RF-20240102",
    "poke RPT2 OFFSCRN|10|1=Lot 3 , Blk 12 , LandLot 105 , Dist 17 , DdBk 55120 , DdPg 77",
    "execute System [RunMacro(CloseScn.bas)]\r",
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
      expected[17] = "poke RPT2 OFFSCRN|10|1=" + legal;
      expected.insert(expected.begin() + 17,
                      {"poke RPT2 URAR|5|2=0002.00", "poke RPT2 URAR|4|1=17-0105-0003"});
      expected.insert(expected.end() - 1,
                      {"poke RPT2 URAR|11|1=" + legal, "poke RPT2 URAR|9|1=Margaret A. Holloway"});
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
    EXPECT_EQ(Log(), expected);
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
