#include "transfer/send_driver.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "store/lookup.h"
#include "transfer/send_office.h"
#include "util/text.h"

namespace xfr {
namespace {

using testing::SendOffice;
using Strings = std::vector<std::string>;

// The sixteen pokes of the first fake property on a form with no XFR.INI lines.
const Strings kUrarPokes = {
    "Offscrn|3|3=24-00101",
    "Offscrn|7|1=1 Main St",
    "Offscrn|8|1=Decatur",
    "Offscrn|8|3=GA",
    "Offscrn|8|4=30030",
    "Offscrn|8|2=DeKalb",
    "Offscrn|6|1=Bob Borrower",
    "Offscrn|13|1=10004",
    "Offscrn|14|1=First Bank of Decatur",
    "Offscrn|15|1=100 Bank Pl",
    "Offscrn|16|1=Suite 2",
    "Offscrn|17|1=Decatur GA 30030",
    "Offscrn|20|3=Jo Smith",
    "Offscrn|24|1=Oak Hills",
    "Offscrn|2|3=REF-9",
    "OFFSCRN|10|1=Lot 12 , Blk B , PlatPg 7",
};

TEST(CmdSend, OtherFormWithoutIniLinesSendsSixteenRowsThenTheMacro) {
  SendOffice o;
  FrmMain& f = o.Start();
  o.dde.clear_calls();
  cmdSend_Click(f);

  EXPECT_EQ(o.Pokes(), kUrarPokes);
  for (const auto& c : o.dde.CallsOf("poke")) EXPECT_EQ(c.topic, "RPT1");
  // The only requests are the report and form lists; the macro comes last, on System.
  const auto requests = o.dde.CallsOf("request");
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].topic + "/" + requests[0].item, "Query/ActiveReports");
  EXPECT_EQ(requests[1].topic + "/" + requests[1].item, "RPT1/ListForms");
  const auto executes = o.dde.CallsOf("execute");
  ASSERT_EQ(executes.size(), 1u);
  EXPECT_EQ(executes[0].topic, "System");
  EXPECT_EQ(executes[0].data, "[RunMacro(CloseScn.bas)]\r");
  EXPECT_EQ(o.dde.calls().back().op, "terminate");
  EXPECT_EQ(o.dde.open_conversations(), 0);

  // The labels keep what was sent; the legal line keeps its trailing blank on screen.
  EXPECT_EQ(f.lblLegal.caption, "Lot 12 , Blk B , PlatPg 7 ");
  EXPECT_EQ(f.lblCli_LName.caption, "FIRSTBANK");  // filled, not sent
  EXPECT_EQ(f.lblPr_Census.caption, "0204.01");    // filled, sent only by an XFR.INI line
  EXPECT_EQ(f.txtCli_Num.text, "10004");

  EXPECT_EQ(o.window.statuses, (Strings{std::string(kSendingStatus), std::string(kSentStatus)}));
  EXPECT_TRUE(f.LblMsg.visible);
  EXPECT_EQ(o.window.pointers, (std::vector<Pointer>{Pointer::kHourglass, Pointer::kDefault}));
  EXPECT_FALSE(f.aniCopy.visible);
  EXPECT_FALSE(f.imgApxIco.visible);
  EXPECT_FALSE(f.imgTrkIco.visible);
  EXPECT_TRUE(o.window.boxes.empty());
  EXPECT_FALSE(f.unloaded);  // "Exit After Transfer" is clear
  EXPECT_EQ(o.property->writes + o.client->writes, 0);
}

TEST(CmdSend, XfrIniLinesAddTheirRowsInPlace) {
  const std::string legal = "Lot 12 , Blk B , PlatPg 7";
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> lines;  // section, value for key URAR
    Strings extra_before_legal;                              // rows 16, 17
    Strings extra_after_legal;                               // rows 19, 20
  } cases[] = {
      {"census", {{"CENSUS", "5|2"}}, {"URAR|5|2=0204.01"}, {}},
      {"map reference", {{"MAPREF", "4|1"}}, {"URAR|4|1=MR-7"}, {}},
      {"legal", {{"Legal", "11|1"}}, {}, {"URAR|11|1=" + legal}},
      {"owner", {{"OWNER", "9|1"}}, {}, {"URAR|9|1=Ann Owner"}},
      {"blank lines send nothing", {{"CENSUS", ""}, {"OWNER", ""}, {"Legal", ""}}, {}, {}},
      {"all four",
       {{"OWNER", "9|1"}, {"Legal", "11|1"}, {"MAPREF", "4|1"}, {"CENSUS", "5|2"}},
       {"URAR|5|2=0204.01", "URAR|4|1=MR-7"},
       {"URAR|11|1=" + legal, "URAR|9|1=Ann Owner"}},
  };
  for (const Case& c : cases) {
    SendOffice o;
    for (const auto& [section, value] : c.lines) o.ini.Set(o.kXfrIni, section, "URAR", value);
    o.ini.Set(o.kXfrIni, "OWNER", "OFFSCRN", "1|1");  // another form's line: never used
    FrmMain& f = o.Start();
    f.txtPR_Census.text = "  0204.01 ";  // rows 16, 17, 20 send the boxes trimmed
    cmdSend_Click(f);
    Strings expected(kUrarPokes.begin(), kUrarPokes.end() - 1);
    expected.insert(expected.end(), c.extra_before_legal.begin(), c.extra_before_legal.end());
    expected.push_back(kUrarPokes.back());
    expected.insert(expected.end(), c.extra_after_legal.begin(), c.extra_after_legal.end());
    EXPECT_EQ(o.Pokes(), expected) << c.name;
    EXPECT_EQ(o.dde.CallsOf("execute").size(), 1u) << c.name;
  }
}

TEST(CmdSend, ZnaFormSendsItsNineRowsAndLeavesTheClientAlone) {
  const Strings zna = {
      "ZNAPROF|3|1=24-00101",     "Offscrn|7|1=1 Main St", "Offscrn|8|1=Decatur",
      "Offscrn|8|3=GA",           "Offscrn|8|4=30030",     "Offscrn|8|2=DeKalb",
      "ZNAPROF|6|1=Bob Borrower", "ZNAPROF|2|1=REF-9",
  };
  struct Case {
    std::string form;
    bool owner_line;
  } cases[] = {{"ZNA", false}, {"zna", true}, {" Zna ", false}, {"  ZNA", true}};
  for (const Case& c : cases) {
    SendOffice o;
    o.dde.SetAnswer("RPT1", "ListForms", c.form + ",URAR,");
    if (c.owner_line) o.ini.Set(o.kXfrIni, "OWNER", c.form, "4|2");
    o.ini.Set(o.kXfrIni, "CENSUS", c.form, "5|2");  // other forms only
    o.ini.Set(o.kXfrIni, "Legal", c.form, "11|1");  // other forms only
    FrmMain& f = o.Start();
    f.lblCli_Num.caption = "old client";
    f.lblPlain_Name.caption = "old name";
    f.txtCli_Num.text = "10004 ";
    cmdSend_Click(f);
    Strings expected = zna;
    // The item is trimmed before the poke, like every item.
    if (c.owner_line) expected.push_back(VbTrim(c.form) + "|4|2=Ann Owner");
    EXPECT_EQ(o.Pokes(), expected) << "[" << c.form << "]";
    EXPECT_EQ(f.lblCli_Num.caption, "old client");
    EXPECT_EQ(f.lblPlain_Name.caption, "old name");
    EXPECT_EQ(f.txtCli_Num.text, "10004 ");
    EXPECT_EQ(f.lblLegal.caption, "Lot 12 , Blk B , PlatPg 7 ");  // shown, not sent
    EXPECT_EQ(o.window.statuses.back(), kSentStatus);
  }
}

TEST(CmdSend, NoReportShowsTheMessageSendsNothingAndFinishes) {
  struct Case {
    const char* name;
    const char* answer;  // nullptr: nobody answers
    const char* stale;   // the control's text before the send
    int auto_exit;
  } cases[] = {
      {"NONE", "NONE,", "txtdde", 0},
      {"lower case with blanks", " none ,", "txtdde", 0},
      {"mixed case, exit after transfer", "NoNe,RPT1,", "txtdde", 1},
      {"no comma names no report", "RPT1", "txtdde", 0},
      {"empty answer", "", "txtdde", 0},
      {"leading comma", ",RPT1,", "txtdde", 0},
      {"nobody answers", nullptr, "txtdde", 0},
      {"nobody answers after an earlier exchange", nullptr, "RPT9,RPT1,", 0},
      {"nobody answers, exit after transfer", nullptr, "URAR,offscrn,", 2},
  };
  for (const Case& c : cases) {
    SendOffice o;
    if (c.answer) {
      o.dde.SetAnswer("Query", "ActiveReports", c.answer);
    } else {
      o.dde.set_running(false);
    }
    FrmMain& f = o.Start();
    f.ckbAutoExit.value = c.auto_exit;
    f.txtdde.SetText(c.stale);
    f.lblLegal.caption = "untouched";
    if (c.auto_exit) {
      EXPECT_THROW(cmdSend_Click(f), EndProgram) << c.name;
      EXPECT_TRUE(f.unloaded) << c.name;
    } else {
      cmdSend_Click(f);
      EXPECT_FALSE(f.unloaded) << c.name;
    }
    ASSERT_EQ(o.window.boxes.size(), 1u) << c.name;
    EXPECT_EQ(o.window.boxes[0].text, kNoReportMessage);
    EXPECT_EQ(o.window.boxes[0].title, kAppTitle);
    EXPECT_EQ(o.window.boxes[0].buttons, Buttons::kOk);
    EXPECT_TRUE(o.dde.CallsOf("poke").empty()) << c.name;
    EXPECT_TRUE(o.dde.CallsOf("execute").empty()) << c.name;
    EXPECT_EQ(o.dde.CallsOf("request").size(), c.answer ? 1u : 0u) << c.name;
    EXPECT_EQ(f.lblLegal.caption, "untouched") << c.name;
    EXPECT_EQ(o.window.statuses.back(), kSendingStatus) << c.name;
    EXPECT_EQ(o.window.pointers.front(), Pointer::kHourglass);
    EXPECT_EQ(o.window.pointers.back(), Pointer::kDefault);
    EXPECT_FALSE(f.aniCopy.visible);
    EXPECT_FALSE(f.imgApxIco.visible);
  }
}

TEST(CmdSend, SeveralReportsSendToTheFirst) {
  SendOffice o;
  o.dde.SetAnswer("Query", "ActiveReports", "RPT2,RPT1,");
  o.dde.SetAnswer("RPT2", "ListForms", "ZNA,");
  FrmMain& f = o.Start();
  cmdSend_Click(f);
  const auto pokes = o.dde.CallsOf("poke");
  ASSERT_EQ(pokes.size(), 8u);
  for (const auto& p : pokes) EXPECT_EQ(p.topic, "RPT2");
  EXPECT_EQ(o.dde.CallsOf("request")[1].topic, "RPT2");
}

TEST(CmdSend, FileNumberComesFromTheKeyCutToTheBoxLength) {
  struct Case {
    std::string key;
    int max_length;
    std::string sent;
  } cases[] = {
      {"24-00101XYZ", 8, "24-00101"},
      {"AB", 8, "AB"},
      {"24-00101XYZ", 0, "24-00101XYZ"},  // never sized: the whole key, never a blank one
  };
  for (const Case& c : cases) {
    SendOffice o;
    FrmMain& f = o.Start();
    f.txtKey.text = c.key;
    f.txtFile_Num.max_length = c.max_length;
    f.txtFile_Num.text = "edited";
    cmdSend_Click(f);
    EXPECT_EQ(f.txtFile_Num.text, c.sent);
    EXPECT_EQ(f.lblFile_Num.caption, c.sent);
    EXPECT_EQ(o.Pokes().front(), "Offscrn|3|3=" + c.sent);
  }
}

TEST(CmdSend, LegalLineEdgeCases) {
  struct Case {
    const char* name;
    std::string lot, plat_page;
    std::string caption, sent;
  } cases[] = {
      {"all parts empty", "", "", "", ""},
      {"a value ending in its own comma", "", "7,", "PlatPg 7, ", "PlatPg 7,"},
      {"blanks kept inside", " 1 2 ", "", "Lot  1 2  ", "Lot  1 2"},
  };
  for (const Case& c : cases) {
    SendOffice o;
    o.ini.Set(o.kXfrIni, "Legal", "URAR", "11|1");
    FrmMain& f = o.Start();
    f.lblLegal.caption = "earlier";
    f.txtPr_Lot.text = c.lot;
    f.txtPr_Block.text = "";
    f.txtPr_PlatPg.text = c.plat_page;
    cmdSend_Click(f);
    EXPECT_EQ(f.lblLegal.caption, c.caption) << c.name;
    EXPECT_EQ(o.dde.Value("RPT1", "OFFSCRN|10|1"), c.sent) << c.name;
    EXPECT_EQ(o.dde.Value("RPT1", "URAR|11|1"), c.sent) << c.name;
    const Strings items = o.PokedItems();
    EXPECT_EQ(std::count(items.begin(), items.end(), "OFFSCRN|10|1"), 1) << c.name;
  }
}

TEST(CmdSend, ValuesAreSentTrimmedLabelsKeepThemAsTyped) {
  SendOffice o;
  FrmMain& f = o.Start();
  f.txtPR_Street.text = "  1 Main St  ";
  f.txtPR_City.text = "   ";
  cmdSend_Click(f);
  EXPECT_EQ(f.lblPr_Street.caption, "  1 Main St  ");
  EXPECT_EQ(o.Pokes()[1], "Offscrn|7|1=1 Main St");
  EXPECT_EQ(o.Pokes()[2], "Offscrn|8|1=");  // empty values are poked, not skipped
}

TEST(CmdSend, PropertyWithoutClientSendsNoClientRows) {
  // The second property has no client; datclient still stands on the first one's client.
  for (bool zna : {false, true}) {
    SendOffice o;
    if (zna) o.dde.SetAnswer("RPT1", "ListForms", "ZNA,");
    FrmMain& f = o.Start();
    FindTheRecord(f, "24-00102");
    ASSERT_EQ(f.txtPR_Street.text, "2 Elm St");
    ASSERT_FALSE(f.txtCli_LName.visible);
    ASSERT_EQ(f.txtCliKey.text, "10004");
    f.lblCli_Num.caption = "before";
    cmdSend_Click(f);
    EXPECT_EQ(f.txtCli_Num.text, "");
    EXPECT_EQ(f.lblCli_Num.caption, "before");
    EXPECT_EQ(f.lblPlain_Name.caption, "");
    const Strings items = o.PokedItems();
    const Strings expected =
        zna ? Strings{"ZNAPROF|3|1", "Offscrn|7|1", "Offscrn|8|1", "Offscrn|8|3",
                      "Offscrn|8|4", "Offscrn|8|2", "ZNAPROF|6|1", "ZNAPROF|2|1"}
            : Strings{"Offscrn|3|3", "Offscrn|7|1", "Offscrn|8|1",  "Offscrn|8|3", "Offscrn|8|4",
                      "Offscrn|8|2", "Offscrn|6|1", "Offscrn|24|1", "Offscrn|2|3", "OFFSCRN|10|1"};
    EXPECT_EQ(items, expected) << (zna ? "ZNA" : "URAR");
    // Nothing of the other client reaches the report or the property record.
    for (const std::string& p : o.Pokes()) EXPECT_EQ(p.find("10004"), std::string::npos) << p;
    Form_Unload(f);
    EXPECT_EQ(o.property->Text(1, "CLI_NUM"), "");
  }
}

TEST(CmdSend, SendWritesNoTableAndAnUnloadWritesNothingForAPlainRecord) {
  SendOffice o;
  FrmMain& f = o.Start();
  const auto before = o.property->records;
  cmdSend_Click(f);
  EXPECT_EQ(o.property->writes + o.client->writes, 0);
  Form_Unload(f);
  EXPECT_EQ(o.property->writes + o.client->writes, 0);
  EXPECT_EQ(o.property->records, before);
}

TEST(CmdSend, ClientNumberIsLinkedUpperCased) {
  SendOffice o;
  FrmMain& f = o.Start();
  FindTheRecord(f, "24-00103");
  ASSERT_TRUE(f.txtCli_LName.visible);
  cmdSend_Click(f);
  EXPECT_EQ(f.txtCli_Num.text, "AMC01");
  EXPECT_EQ(o.dde.Value("RPT1", "Offscrn|13|1"), "AMC01");
  EXPECT_EQ(o.dde.Value("RPT1", "Offscrn|14|1"), "Appraisal Mgmt Co");
}

TEST(CmdSend, ErrorPassedOnLeavesNoHourglassBehind) {
  SendOffice o;
  o.dde.Refuse("RPT1", "Offscrn|8|1");
  FrmMain& f = o.Start();
  // The error report's answer OK stands for "pass the error on".
  o.window.answers = {Answer::kOk};
  EXPECT_THROW(cmdSend_Click(f), RuntimeError);
  EXPECT_EQ(o.window.pointers.back(), Pointer::kDefault);
  EXPECT_FALSE(f.aniCopy.visible);
  EXPECT_TRUE(o.dde.CallsOf("execute").empty());
}

TEST(CmdSend, RefusedPokeIgnoredGoesOnWithTheNextRow) {
  SendOffice o;
  o.dde.Refuse("RPT1", "Offscrn|8|1");
  FrmMain& f = o.Start();
  o.window.error_default = Answer::kIgnore;
  cmdSend_Click(f);
  EXPECT_EQ(o.PokedItems().size(), 16u);
  EXPECT_EQ(o.window.boxes.size(), 1u);
  EXPECT_EQ(o.dde.CallsOf("execute").size(), 1u);
  EXPECT_EQ(o.window.statuses.back(), kSentStatus);
}

}  // namespace
}  // namespace xfr
