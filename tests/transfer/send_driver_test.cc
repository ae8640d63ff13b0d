#include "transfer/send_driver.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "fakes/office.h"
#include "store/lookup.h"

namespace xfr {
namespace {

using Strings = std::vector<std::string>;

// The office with its first job in full and its bank's address lines, an appraisal program
// serving report RPT1 (first form URAR), and no exit after a send.
struct SendOffice : testing::Office {
  static constexpr const char* kXfrIni = "C:\\WINDOWS\\XFR.INI";

  SendOffice() {
    ini.Set(kXfrIni, "PREFERENCES", "AUTOEXIT", "0");
    // FILE_NUM ASS_TYPE STREET CITY STATE ZIP COUNTY SUBDIV MAP_REF CENSUS REF_NUM OWNER BORROWR
    // LOT BLOCK LANDLOT LANDIST SECTION DEEDBK DEEDPG PLATBK PLATPG
    const Strings job = {"24-00101", "REFI", "1 Main St", "Decatur", "GA", "30030", "DeKalb",
                         "Oak Hills", "MR-7", "0204.01", "REF-9", "Ann Owner", "Bob Borrower",
                         "12", "B", "", "", "", "", "", "", "7"};
    for (std::size_t i = 0; i < job.size(); ++i) property->records[0][i] = job[i];
    client->records[0][4] = std::string("Suite 2");
    client->records[0][5] = std::string("Decatur GA 30030");
    dde.SetAnswer("Query", "ActiveReports", "RPT1,");
    dde.SetAnswer("RPT1", "ListForms", "URAR,offscrn,");
  }

  // The pokes received, as "item=data".
  std::vector<std::string> Pokes() const {
    std::vector<std::string> out;
    for (const auto& c : dde.CallsOf("poke")) out.push_back(c.item + "=" + c.data);
    return out;
  }
};

// The sixteen pokes of the first fake property on a form with no XFR.INI lines.
const Strings kUrarPokes = {
    "Offscrn|3|3=24-00101",  "Offscrn|7|1=1 Main St",    "Offscrn|8|1=Decatur",
    "Offscrn|8|3=GA",        "Offscrn|8|4=30030",        "Offscrn|8|2=DeKalb",
    "Offscrn|6|1=Bob Borrower", "Offscrn|13|1=10004",    "Offscrn|14|1=First Bank of Decatur",
    "Offscrn|15|1=100 Bank Pl", "Offscrn|16|1=Suite 2",  "Offscrn|17|1=Decatur GA 30030",
    "Offscrn|20|3=Jo Smith", "Offscrn|24|1=Oak Hills",   "Offscrn|2|3=REF-9",
    "OFFSCRN|10|1=Lot 12 , Blk B , PlatPg 7",
};

// The sixteen rows, an XFR.INI line's row in its place, then the macro.
TEST(CmdSend, OtherFormSendsItsRowsThenTheMacro) {
  const std::string legal = "Lot 12 , Blk B , PlatPg 7";
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> lines;  // section, value for key URAR
    Strings before_legal, after_legal;
  } cases[] = {
      {"no lines", {}, {}, {}},
      {"blank lines send nothing", {{"CENSUS", ""}, {"OWNER", ""}, {"Legal", ""}}, {}, {}},
      {"all four",
       {{"OWNER", "9|1"}, {"Legal", "11|1"}, {"MAPREF", "4|1"}, {"CENSUS", "5|2"}},
       {"URAR|5|2=0204.01", "URAR|4|1=MR-7"},
       {"URAR|11|1=" + legal, "URAR|9|1=Ann Owner"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SendOffice o;
    for (const auto& [section, value] : c.lines) o.ini.Set(o.kXfrIni, section, "URAR", value);
    o.ini.Set(o.kXfrIni, "OWNER", "OFFSCRN", "1|1");  // another form's line: never used
    FrmMain& f = o.Load();
    f.txtPR_Census.text = "  0204.01 ";  // the INI rows send the boxes trimmed
    f.txtPr_Apprval.text = "250,000";      // not sent, shown
    o.dde.clear_calls();
    cmdSend_Click(f);
    Strings expected(kUrarPokes.begin(), kUrarPokes.end() - 1);
    expected.insert(expected.end(), c.before_legal.begin(), c.before_legal.end());
    expected.push_back(kUrarPokes.back());
    expected.insert(expected.end(), c.after_legal.begin(), c.after_legal.end());
    EXPECT_EQ(o.Pokes(), expected);
    for (const auto& call : o.dde.CallsOf("poke")) EXPECT_EQ(call.topic, "RPT1");
    ASSERT_EQ(o.dde.CallsOf("execute").size(), 1u);
    EXPECT_EQ(o.dde.CallsOf("execute")[0].data, "[RunMacro(CloseScn.bas)]\r");
    EXPECT_EQ(o.dde.open_conversations(), 0);
    // The labels keep what was sent; the legal line keeps its trailing blank on screen.
    EXPECT_EQ(f.lblLegal.caption, legal + " ");
    EXPECT_EQ(f.lblCli_LName.caption, "FIRSTBANK");  // filled, not sent
    EXPECT_EQ(f.lblPr_Census.caption + "|" + f.lblPr_Owner.caption + "|" +
                  f.lblPr_Map_Ref.caption + "|" + f.lblPr_ApprVal.caption,
              "  0204.01 |Ann Owner|MR-7|250,000");
    EXPECT_FALSE(f.unloaded);  // the window's state after a send: transfer_ends_test.cc
  }
}

TEST(CmdSend, ZnaFormSendsItsRowsAndLeavesTheClientAlone) {
  for (std::string form : {"zna", "  ZNA"}) {
    SendOffice o;
    o.dde.SetAnswer("RPT1", "ListForms", form + ",URAR,");
    o.ini.Set(o.kXfrIni, "OWNER", form, "4|2");
    o.ini.Set(o.kXfrIni, "CENSUS", form, "5|2");  // other forms only
    o.ini.Set(o.kXfrIni, "Legal", form, "11|1");  // other forms only
    FrmMain& f = o.Load();
    f.lblCli_Num.caption = "old client";
    f.txtCli_Num.text = "10004 ";
    cmdSend_Click(f);
    EXPECT_EQ(o.Pokes(), (Strings{"ZNAPROF|3|1=24-00101", "Offscrn|7|1=1 Main St",
                                  "Offscrn|8|1=Decatur", "Offscrn|8|3=GA", "Offscrn|8|4=30030",
                                  "Offscrn|8|2=DeKalb", "ZNAPROF|6|1=Bob Borrower",
                                  "ZNAPROF|2|1=REF-9", VbTrim(form) + "|4|2=Ann Owner"}))
        << "[" << form << "]";
    EXPECT_EQ(f.lblCli_Num.caption, "old client");
    EXPECT_EQ(f.txtCli_Num.text, "10004 ");
    EXPECT_EQ(f.lblLegal.caption, "Lot 12 , Blk B , PlatPg 7 ");  // shown, not sent
    EXPECT_EQ(o.window.statuses.back(), kSentStatus);
  }
}

// A box never sized (0) takes the whole key as the file number: never a blank one. The client's
// rows only for a shown client, its number upper-cased: the second job has none, and datclient
// still stands on the first one's client.
TEST(CmdSend, ValuesAndLegalLineAreSentTrimmedLabelsKeepThemAsTyped) {
  SendOffice o;
  o.ini.Set(o.kXfrIni, "Legal", "URAR", "11|1");
  FrmMain& f = o.Load();
  for (const std::string file : {"24-00105", "ac24-104"}) {  // CLI_NUM "amc01", none
    const bool client = file == "24-00105";
    FindTheRecord(f, file);
    ASSERT_EQ(f.txtCli_LName.visible, client);
    o.dde.clear_calls();
    f.lblCli_Num.caption = "before";
    f.txtKey.text = file + "XYZ";
    f.txtFile_Num.max_length = client ? 8 : 0;
    f.txtPR_Street.text = "  1 Main St  ";
    f.txtPR_City.text = "   ";
    f.txtPr_Lot.text = " 1 2 ";
    f.txtPr_Block.text = "";
    f.txtPr_PlatPg.text = "";
    cmdSend_Click(f);
    const std::string sent = client ? file : file + "XYZ";
    EXPECT_EQ(f.txtFile_Num.text, sent);
    EXPECT_EQ(f.lblPr_Street.caption, "  1 Main St  ");
    EXPECT_EQ(f.lblLegal.caption, "Lot  1 2  ");
    EXPECT_EQ(f.txtCli_Num.text, client ? "AMC01" : "");
    const Strings pokes = o.Pokes();
    ASSERT_EQ(pokes.size(), client ? 17u : 11u);
    EXPECT_EQ(pokes[0], "Offscrn|3|3=" + sent);
    EXPECT_EQ(pokes[1], "Offscrn|7|1=1 Main St");
    EXPECT_EQ(pokes[2], "Offscrn|8|1=");  // empty values are poked, not skipped
    EXPECT_EQ(pokes[pokes.size() - 2], "OFFSCRN|10|1=Lot  1 2");
    EXPECT_EQ(pokes.back(), "URAR|11|1=Lot  1 2");
    if (client) {
      EXPECT_EQ(pokes[7] + " " + pokes[8], "Offscrn|13|1=AMC01 Offscrn|14|1=Appraisal Mgmt Co");
    } else {
      EXPECT_EQ(f.lblCli_Num.caption, "before");
      for (const std::string& p : pokes) EXPECT_EQ(p.find("AMC01"), std::string::npos) << p;
    }
  }
  Form_Unload(f);
  EXPECT_EQ(o.property->Text(1, "CLI_NUM"), "");
}

}  // namespace
}  // namespace xfr
