// The read's smoke test end to end: the real widgets over the real link (apx-sim on the session
// bus) and the FoxPro engine writing copies of the fixture tables (the read's branches are tested
// on fakes in tests/transfer, its values read back independently by the concurrency campaign).
// The appraiser clicks "Read Info from Appraisal" and answers Yes; the window shows what was
// captured and what was written.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <filesystem>

#include "fakes/fake_clock.h"
#include "fakes/fake_files.h"
#include "fakes/fake_ini.h"
#include "platform/dbus/apx_sim_process.h"
#include "platform/dbus/dbus_dde_transport.h"
#include "platform/qt/main_window_view.h"
#include "platform/qt/qt_app.h"
#include "platform/qt/qt_window_services.h"
#include "platform/tables/xbase_table.h"
#include "shell/lifecycle.h"
#include "shell/startup.h"
#include "shell/wiring.h"
#include "support/office_tables.h"
#include "transfer/read_driver.h"

namespace xfr {
namespace {

namespace fs = std::filesystem;

TEST(WindowEndToEnd, ReadAnsweredYesShowsTheCaptureAndTheWrittenRecord) {
  testing::QtApp();
  testing::TempDir dir;
  const std::string data = dir / "data";
  testing::CopyTrackingTables(data);
  testing::ApxSim sim(testing::ApxSimPath(), testing::ApxData("demo_report.json"));
  ASSERT_TRUE(sim.ready()) << "apx-sim did not come up";

  testing::FakeIni ini;
  ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "DATADIR", "C:\\TRK\\DATA");
  ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "APPDIR", "C:\\TRK");
  ini.Set("C:\\WINDOWS\\XFR.INI", "PREFERENCES", "AUTOEXIT", "0");
  ini.Set("C:\\WINDOWS\\XFR.INI", "FORM", "URAR", "URAR");
  testing::FakeFiles files;
  testing::FakeClock clock;
  clock.today = Date{2025, 6, 15};
  XbaseTableService tables(testing::TablesIn(data));
  DBusDdeTransport transport(2000);
  QtWindowServices window(&files);
  App app(Services{&ini, &files, &clock, &window, &tables, &transport, nullptr}, "");
  MainWindow form(app);
  MainWindowView::Commands commands;
  commands.read = [&form] { CmdRead_Click(form); };
  MainWindowView view(form, commands);
  window.SetParentWindow(&view);
  window.SetBeforeBox([&view] { view.Sync(); });
  Initialize(app);
  frmMainForm_Load(form);
  view.Sync();
  view.show();

  QtWindowServices::ShownBoxes().clear();
  QtWindowServices::SetNextAnswers({Answer::kYes});
  QTest::mouseClick(view.ReadButton(), Qt::LeftButton);

  ASSERT_EQ(QtWindowServices::ShownBoxes().size(), 1u);
  EXPECT_EQ(QtWindowServices::ShownBoxes()[0].text, "24-00150 was not found.  Add?");
  // The appraisal column shows what was captured, the tracking column the record written.
  const std::pair<const char*, const char*> shown[] = {
      {"lblFile_Num", "24-00150"},         {"lblPr_Street", "1650 Briarcliff Rd NE"},
      {"lblPr_Borrowr", "Chris & Jordan Buyer"}, {"lblPlain_Name", "Druid Hills Mortgage"},
      {"txtFile_Num", "24-00150"},         {"txtPR_Street", "1650 Briarcliff Rd NE"},
      {"txtPr_Borrowr", "Chris & Jordan Buyer"}, {"txtCli_Num", "DM001"},
      {"txtPlain_Name", "Druid Hills Mortgage"}, {"txtCli_Cont", "Robin Lee"},
  };
  for (const auto& [name, text] : shown) {
    const std::string actual = name[0] == 'l'
                                   ? view.LabelWidget(name)->text().toStdString()
                                   : view.Box(name)->text().toStdString();
    EXPECT_EQ(actual, text) << name;
  }
  EXPECT_TRUE(view.Box("txtCli_Cont")->isVisible());
  EXPECT_FALSE(view.StatusLine()->isVisible());
  QTest::mouseClick(view.ExitButton(), Qt::LeftButton);
  ASSERT_TRUE(view.ended());

  // The tables and every tag consistent, by dbftool and by the independent checker.
  int status = -1;
  std::string out = testing::Output(
      std::string(XFR_BINARY_DIR) + "/src/dbftool check '" + data + "' 2>&1", &status);
  EXPECT_EQ(status, 0) << out;
  const std::string checker = std::string(XFR_SHARED_DIR) + "/tools/checktables.py";
  if (fs::exists(checker)) {
    out = testing::Output("python3 '" + checker + "' '" + data + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
  }
}

}  // namespace
}  // namespace xfr
