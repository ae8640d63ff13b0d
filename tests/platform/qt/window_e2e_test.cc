// The read's smoke test end to end: the real widgets over apx-sim on the session bus and the
// FoxPro engine writing copies of the fixture tables (its branches are tested on fakes in
// tests/transfer). The appraiser clicks "Read Info from Appraisal" and answers Yes.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "platform/dbus/apx_sim_process.h"
#include "platform/qt/main_window_view.h"
#include "platform/qt/qt_app.h"
#include "platform/qt/qt_window_services.h"
#include "transfer/read_driver.h"

namespace xfr {
namespace {

// The application object comes first: the link's bus connection is made with the fixture.
struct QtFirst {
  QtFirst() { testing::QtApp(); }
};
class WindowEndToEnd : private QtFirst, public testing::TablesE2eTest {};

TEST_F(WindowEndToEnd, ReadAnsweredYesShowsTheCaptureAndTheWrittenRecord) {
  Serve(testing::ApxData("demo_report.json"));
  ini_.Set("C:\\WINDOWS\\XFR.INI", "FORM", "URAR", "URAR");
  clock_.today = Date{2025, 6, 15};
  QtWindowServices window(&files_);
  App app(Services{&ini_, &files_, &clock_, &window, &tables_, &transport_, nullptr}, "");
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
  const std::pair<const char*, const char*> shown[] = {{"lblFile_Num", "24-00150"},
                                                       {"lblPr_Street", "1650 Briarcliff Rd NE"},
                                                       {"lblPr_Borrowr", "Chris & Jordan Buyer"},
                                                       {"lblPlain_Name", "Druid Hills Mortgage"},
                                                       {"txtFile_Num", "24-00150"},
                                                       {"txtPR_Street", "1650 Briarcliff Rd NE"},
                                                       {"txtPr_Borrowr", "Chris & Jordan Buyer"},
                                                       {"txtCli_Num", "DM001"},
                                                       {"txtPlain_Name", "Druid Hills Mortgage"},
                                                       {"txtCli_Cont", "Robin Lee"}};
  for (const auto& [name, text] : shown) {
    EXPECT_EQ((name[0] == 'l' ? view.LabelWidget(name)->text() : view.Box(name)->text()),
              QString(text))
        << name;
  }
  EXPECT_TRUE(view.Box("txtCli_Cont")->isVisible());
  EXPECT_FALSE(view.StatusLine()->isVisible());
  QTest::mouseClick(view.ExitButton(), Qt::LeftButton);
  ASSERT_TRUE(view.ended());

  EXPECT_EQ(testing::TableFaults(data_), "");
}

}  // namespace
}  // namespace xfr
