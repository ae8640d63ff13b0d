// The send end to end: the core's send over the session bus to apx-sim (checked against its log
// of what it received), with copies of the fixture tables read through the FoxPro engine, and
// the tables compared byte for byte before and after.
#include <gtest/gtest.h>
#include <strings.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_files.h"
#include "fakes/fake_ini.h"
#include "fakes/fake_window.h"
#include "platform/dbus/apx_sim_process.h"
#include "platform/dbus/dbus_dde_transport.h"
#include "platform/xbase_table.h"
#include "shell/lifecycle.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "store/lookup.h"
#include "transfer/send_driver.h"

namespace xfr {
namespace {

namespace fs = std::filesystem;
using testing::ApxSim;
using testing::FakeClock;
using testing::FakeFiles;
using testing::FakeIni;
using testing::FakeWindow;
using testing::ReadFile;
using testing::TempDir;
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

// The log as "op topic item=data" lines ("op topic data" for executes).
Strings ReadLog(const std::string& path) {
  Strings out;
  const std::string text = ReadFile(path);
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.empty()) continue;
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

bool BusNameOwned(const std::string& name) {
  QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
  return bus && bus->isServiceRegistered(QString::fromStdString(name)).value();
}

class SendE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    data_ = dir_.File("data");
    fs::create_directories(data_);
    for (const char* f : {"PROPERTY.DBF", "PROPERTY.CDX", "PROPERTY.FPT", "CLIENT.DBF",
                          "CLIENT.CDX", "INVOICE.DBF", "INVOICE.CDX"}) {
      fs::copy_file(std::string(XFR_TEST_DATA) + "/foxpro/" + f, data_ + "/" + f);
    }
    ini_.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "DATADIR", "C:\\TRK\\DATA");
    ini_.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "APPDIR", "C:\\TRK");
    ini_.Set(kXfrIni, "PREFERENCES", "AUTOEXIT", "0");
  }

  // Starts apx-sim on a report file written from `json`, logging into the temp dir.
  void Serve(const std::string& json) {
    const std::string report = dir_.File("report.json");
    std::FILE* f = std::fopen(report.c_str(), "wb");
    std::fputs(json.c_str(), f);
    std::fclose(f);
    sim_ = std::make_unique<ApxSim>(report, Strings{"--log", dir_.File("log")});
    ASSERT_TRUE(sim_->ready()) << "apx-sim did not come up";
  }
  void StopServing() {
    sim_.reset();
    for (int i = 0; i < 500 && BusNameOwned("dde.APX"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(BusNameOwned("dde.APX"));
  }
  Strings Log() const { return ReadLog(dir_.File("log")); }
  Strings Pokes() const {
    Strings out;
    for (const std::string& e : Log()) {
      if (e.rfind("poke ", 0) == 0) out.push_back(e);
    }
    return out;
  }

  // The window loaded over the table copies, on `file_num` when given.
  FrmMain& Start(const std::string& file_num = "") {
    form_ = std::make_unique<FrmMain>(app_);
    Initialize(app_);
    frmMainForm_Load(*form_);
    if (!file_num.empty()) FindTheRecord(*form_, file_num);
    return *form_;
  }

  // Every table file's bytes.
  Strings TableBytes() const {
    Strings out;
    for (const auto& e : fs::directory_iterator(data_)) out.push_back(ReadFile(e.path()));
    return out;
  }

  TempDir dir_;
  std::string data_;
  std::unique_ptr<ApxSim> sim_;
  FakeIni ini_;
  FakeFiles files_;
  FakeWindow window_;
  FakeClock clock_;
  XbaseTableService tables_{[this](std::string_view, std::string_view file) -> std::string {
    for (const auto& e : fs::directory_iterator(data_)) {
      if (strcasecmp(e.path().filename().c_str(), std::string(file).c_str()) == 0) {
        return e.path().string();
      }
    }
    return "";
  }};
  DBusDdeTransport transport_{2000};
  App app_{Services{&ini_, &files_, &clock_, &window_, &tables_, &transport_, nullptr}, ""};
  std::unique_ptr<FrmMain> form_;
};

const char kOneReport[] = R"({"reports": {"RPT1": {"forms": ["URAR", "offscrn"]}}})";

// 24-00102 with its client 10002, on a form with no XFR.INI lines.
const Strings kPlainSend = {
    "request Query ActiveReports",
    "request RPT1 ListForms",
    "poke RPT1 Offscrn|3|3=24-00102",
    "poke RPT1 Offscrn|7|1=77 Peachtree Cir NE",
    "poke RPT1 Offscrn|8|1=Atlanta",
    "poke RPT1 Offscrn|8|3=GA",
    "poke RPT1 Offscrn|8|4=30309",
    "poke RPT1 Offscrn|8|2=Fulton",
    "poke RPT1 Offscrn|6|1=Margaret A. Holloway",
    "poke RPT1 Offscrn|13|1=10002",
    "poke RPT1 Offscrn|14|1=Ansley Private Bank",
    "poke RPT1 Offscrn|15|1=1201 Peachtree St NE",
    "poke RPT1 Offscrn|16|1=Suite 400",
    "poke RPT1 Offscrn|17|1=Atlanta, GA 30361",
    "poke RPT1 Offscrn|20|3=Claire Whitman",
    "poke RPT1 Offscrn|24|1=Ansley Park",
    "poke RPT1 Offscrn|2|3=RF-20240102",
    "poke RPT1 OFFSCRN|10|1=Lot 3 , Blk 12 , LandLot 105 , Dist 17 , DdBk 55120 , DdPg 77",
    "execute System [RunMacro(CloseScn.bas)]\r",
};

TEST_F(SendE2eTest, OtherFormSendsSixteenRowsThenTheMacroAndWritesNoTable) {
  Serve(kOneReport);
  const Strings before = TableBytes();
  FrmMain& f = Start("24-00102");
  cmdSend_Click(f);
  EXPECT_EQ(Log(), kPlainSend);
  EXPECT_EQ(f.LblMsg.caption, kSentStatus);
  EXPECT_TRUE(window_.boxes.empty());
  EXPECT_EQ(TableBytes(), before);
  Form_Unload(f);
  EXPECT_EQ(TableBytes(), before);
}

TEST_F(SendE2eTest, XfrIniLinesAddTheirRowsInPlace) {
  ini_.Set(kXfrIni, "CENSUS", "URAR", "5|2");
  ini_.Set(kXfrIni, "MAPREF", "URAR", "4|1");
  ini_.Set(kXfrIni, "Legal", "URAR", "11|1");
  ini_.Set(kXfrIni, "OWNER", "URAR", "9|1");
  Serve(kOneReport);
  FrmMain& f = Start("24-00102");
  cmdSend_Click(f);
  Strings expected = kPlainSend;
  expected.insert(expected.begin() + 17,
                  {"poke RPT1 URAR|5|2=0002.00", "poke RPT1 URAR|4|1=17-0105-0003"});
  expected.insert(expected.end() - 1,
                  {"poke RPT1 URAR|11|1=Lot 3 , Blk 12 , LandLot 105 , Dist 17 , DdBk 55120 , "
                   "DdPg 77",
                   "poke RPT1 URAR|9|1=Margaret A. Holloway"});
  EXPECT_EQ(Log(), expected);
}

TEST_F(SendE2eTest, ZnaFormSendsEightOrNineRows) {
  for (bool owner : {false, true}) {
    SCOPED_TRACE(owner ? "with an [OWNER] line" : "without");
    if (owner) ini_.Set(kXfrIni, "OWNER", "ZNA", "4|2");
    Serve(R"({"reports": {"ZRPT": {"forms": ["zna", "URAR"]}}})");
    FrmMain& f = Start("24-00102");
    f.lblCli_Num.caption = "unchanged";
    cmdSend_Click(f);
    Strings expected = {
        "poke ZRPT ZNAPROF|3|1=24-00102",
        "poke ZRPT Offscrn|7|1=77 Peachtree Cir NE",
        "poke ZRPT Offscrn|8|1=Atlanta",
        "poke ZRPT Offscrn|8|3=GA",
        "poke ZRPT Offscrn|8|4=30309",
        "poke ZRPT Offscrn|8|2=Fulton",
        "poke ZRPT ZNAPROF|6|1=Margaret A. Holloway",
        "poke ZRPT ZNAPROF|2|1=RF-20240102",
    };
    if (owner) expected.push_back("poke ZRPT zna|4|2=Margaret A. Holloway");
    EXPECT_EQ(Pokes(), expected);
    EXPECT_EQ(f.lblCli_Num.caption, "unchanged");
    Form_Unload(f);
    StopServing();
    std::remove(dir_.File("log").c_str());
  }
}

TEST_F(SendE2eTest, NoReportShowsTheMessageThenFinishes) {
  struct Case {
    const char* name;
    const char* active_reports;  // nullptr: apx-sim not running
    const char* stale;           // the link control's text before the send
  } cases[] = {
      {"NONE", "NONE,", "txtdde"},
      {"none with blanks", " none ,RPT1,", "txtdde"},
      {"no comma", "RPT1", "txtdde"},
      {"no server", nullptr, "txtdde"},
      {"no server after an earlier exchange", nullptr, "RPT1,URAR,"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    window_.boxes.clear();
    if (c.active_reports) {
      Serve(std::string(R"({"activeReports": ")") + c.active_reports +
            R"(", "reports": {"RPT1": {"forms": ["URAR"]}}})");
    }
    FrmMain& f = Start("24-00102");
    f.ckbAutoExit.value = 1;
    f.txtdde.SetText(c.stale);
    EXPECT_THROW(cmdSend_Click(f), EndProgram);  // "Exit After Transfer" still ends it
    EXPECT_TRUE(f.unloaded);
    ASSERT_EQ(window_.boxes.size(), 1u);
    EXPECT_EQ(window_.boxes[0].text, kNoReportMessage);
    EXPECT_EQ(f.LblMsg.caption, kSendingStatus);
    EXPECT_FALSE(f.aniCopy.visible);
    EXPECT_EQ(window_.pointers.back(), Pointer::kDefault);
    if (c.active_reports) {
      EXPECT_EQ(Log(), Strings{"request Query ActiveReports"});
      StopServing();
      std::remove(dir_.File("log").c_str());
    }
  }
}

TEST_F(SendE2eTest, SeveralReportsSendToTheFirstOne) {
  Serve(R"({"activeReports": "RPT2,RPT1,",
            "reports": {"RPT1": {"forms": ["URAR"]}, "RPT2": {"forms": ["URAR"]}}})");
  FrmMain& f = Start("24-00102");
  cmdSend_Click(f);
  const Strings log = Log();
  ASSERT_EQ(log.size(), kPlainSend.size());
  EXPECT_EQ(log[1], "request RPT2 ListForms");
  for (const std::string& p : Pokes()) EXPECT_EQ(p.rfind("poke RPT2 ", 0), 0u) << p;
}

TEST_F(SendE2eTest, PropertyWithoutItsClientSendsNoClientRowsAndKeepsItsClientNumber) {
  // 24-00101 names client 10004, which CLIENT does not hold; the client connection stays on
  // its first record (10007). 24-00112 names no client at all.
  for (const char* file_num : {"24-00101", "24-00112"}) {
    SCOPED_TRACE(file_num);
    Serve(kOneReport);
    const Strings before = TableBytes();
    FrmMain& f = Start(file_num);
    ASSERT_FALSE(f.txtCli_LName.visible);
    const std::string cli_num = f.txtCli_Num.text;
    cmdSend_Click(f);
    EXPECT_EQ(f.txtCli_Num.text, cli_num);
    EXPECT_EQ(Pokes().size(), 10u);
    for (const std::string& p : Pokes()) {
      EXPECT_EQ(p.find("10007"), std::string::npos) << p;
      EXPECT_EQ(p.find("SouthState"), std::string::npos) << p;
    }
    Form_Unload(f);
    EXPECT_EQ(TableBytes(), before);  // the property keeps its own client number
    StopServing();
    std::remove(dir_.File("log").c_str());
  }
}

TEST_F(SendE2eTest, LegalLineEdgeCases) {
  Serve(kOneReport);
  FrmMain& f = Start("24-00102");
  for (TextBox* b : {&f.txtPr_Lot, &f.txtPr_Block, &f.txtPr_LandLot, &f.txtPr_Landist,
                     &f.txtPr_DeedBk, &f.txtPr_DeedPg}) {
    b->text = "";
  }
  f.lblLegal.caption = "earlier";
  cmdSend_Click(f);
  EXPECT_EQ(Pokes()[15], "poke RPT1 OFFSCRN|10|1=");
  EXPECT_EQ(f.lblLegal.caption, "");
  f.txtPr_PlatPg.text = "7,";
  cmdSend_Click(f);
  EXPECT_EQ(Pokes()[31], "poke RPT1 OFFSCRN|10|1=PlatPg 7,");
  EXPECT_EQ(f.lblLegal.caption, "PlatPg 7, ");
  // The user edited boxes: the record is written when the window closes, as with any edit.
}

TEST_F(SendE2eTest, FileNumberIsCutToTheBoxLength) {
  Serve(kOneReport);
  FrmMain& f = Start("24-00102");
  f.txtKey.text = "24-00102-EXTRA";
  cmdSend_Click(f);
  EXPECT_EQ(Pokes()[0], "poke RPT1 Offscrn|3|3=24-00102");
  EXPECT_EQ(f.txtFile_Num.text, "24-00102");
}

}  // namespace
}  // namespace xfr
