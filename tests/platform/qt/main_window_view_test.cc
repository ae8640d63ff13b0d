#include "platform/qt/main_window_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "fakes/office.h"
#include "platform/qt/qt_window_services.h"
#include "shell/lifecycle.h"
#include "shell/startup.h"
#include "shell/wiring.h"

namespace xfr {
namespace {

// One QApplication for the whole program, made on first use and never exec()'d nor destroyed.
QApplication& QtApp() {
  static int argc = 1;
  static char name[] = "qt_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// The office with the real window services and view over it; boxes are answered by the hook.
struct Window {
  explicit Window(testing::Office& office) : office(office), services(&office.files) {
    QtApp();
    app = std::make_unique<App>(Services{&office.ini, &office.files, nullptr, &services,
                                         &office.tables, nullptr, &office.instance},
                                "");
    form = std::make_unique<MainWindow>(*app);
    view = std::make_unique<MainWindowView>(*form, commands);
    services.SetBeforeBox([this] { view->Sync(); });
    Initialize(*app);
    frmMainForm_Load(*form);
    view->Sync();
    view->show();
  }
  testing::Office& office;
  QtWindowServices services;
  MainWindowView::Commands commands;
  std::unique_ptr<App> app;
  std::unique_ptr<FrmMain> form;
  std::unique_ptr<MainWindowView> view;
};

// The record shown, typing cut at the box's width, the hand-off file moving the window on the
// next repaint to a job without a client, the exit preference written at the close; then the
// idle window and a transfer's status; unattended answers and a missing picture.
TEST(MainWindowView, RecordTypingHandOffExitIdleAndTransferStatus) {
  testing::Office office;
  auto w = std::make_unique<Window>(office);
  EXPECT_EQ(w->view->Box("txtFile_Num")->text().toStdString(), "24-00101");
  EXPECT_TRUE(w->view->Box("txtFile_Num")->isReadOnly());
  EXPECT_TRUE(w->view->Box("txtCli_Cont")->isVisible());
  EXPECT_EQ(w->view->windowTitle().toStdString(), "Transfer Info  Version 5.1.2 (Y2K)");
  QLineEdit* name = w->view->Box("txtPlain_Name");
  EXPECT_EQ(name->text().toStdString(), "First Bank of Decatur");
  name->selectAll();
  QTest::keyClicks(name, QString(50, 'n'));
  EXPECT_EQ(name->text().size(), 40);
  EXPECT_EQ(w->form->txtPlain_Name.text, std::string(40, 'n'));

  office.files.Put("C:\\WINDOWS\\xfr.dat", "ac24-104\r\n");
  w->view->update();
  for (int i = 0; i < 20 && office.files.Has("C:\\WINDOWS\\xfr.dat"); ++i) QTest::qWait(20);
  EXPECT_FALSE(office.files.Has("C:\\WINDOWS\\xfr.dat"));
  EXPECT_EQ(w->view->Box("txtPR_Street")->text().toStdString(), "4 Oak Ave");
  for (const char* box : {"txtCli_Num", "txtCli_LName", "txtPlain_Name", "txtCli_Street",
                          "txtCli_Addr2", "txtCli_Addr3", "txtCli_Cont"}) {
    EXPECT_FALSE(w->view->Box(box)->isVisible()) << box;
  }
  // "Exit After Transfer" cleared, then Exit: the preference and the client's edit are written.
  EXPECT_EQ(w->view->AutoExitBox()->checkState(), Qt::Checked);
  QTest::mouseClick(w->view->AutoExitBox(), Qt::LeftButton);
  EXPECT_EQ(w->form->ckbAutoExit.value, 0);
  QTest::mouseClick(w->view->ExitButton(), Qt::LeftButton);
  EXPECT_TRUE(w->view->ended());
  w.reset();
  EXPECT_EQ(office.client->Text(0, "PLAIN_NAME"), std::string(40, 'n'));
  EXPECT_EQ(office.ini.Get("C:\\WINDOWS\\XFR.INI", "PREFERENCES", "AUTOEXIT"), "0");
  Window again(office);
  EXPECT_EQ(again.view->AutoExitBox()->checkState(), Qt::Unchecked);

  // Each repaint looks for the hand-off file and brings the widgets up to date; that must not
  // itself cause a repaint, or the idle window spins a processor.
  QTest::qWait(200);
  struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++paints;
      return false;
    }
  } counter;
  QtApp().installEventFilter(&counter);
  QTest::qWait(300);
  QtApp().removeEventFilter(&counter);
  EXPECT_LT(counter.paints, 5);

  // The animation and the status line show only while a transfer runs.
  bool shown_during = false;
  again.commands.read = [&] {
    StartReadAnimation(*again.form);
    ShowStatus(*again.form, "Transferring data to Tracking");
    shown_during = again.view->StatusLine()->isVisible() &&
                   again.view->StatusLine()->text() == "Transferring data to Tracking";
    StopCopyAnimation(*again.form);
    ShowStatus(*again.form, "");
  };
  again.view = std::make_unique<MainWindowView>(*again.form, again.commands);
  again.view->show();
  QTest::mouseClick(again.view->ReadButton(), Qt::LeftButton);
  EXPECT_TRUE(shown_during);
  EXPECT_FALSE(again.view->StatusLine()->isVisible());
  EXPECT_FALSE(again.form->aniCopy.visible);

  QtWindowServices services(nullptr);
  EXPECT_THROW(services.LoadPicture("/no/such/Trk.bmp"), RuntimeError);

  // Unattended (--answer yes --on-error ignore): every kind of box answered without showing.
  services.SetUnattended(Answer::kYes, Answer::kIgnore);
  EXPECT_EQ(services.MessageBox("Add?", "Record Found", Buttons::kYesNo), Answer::kYes);
  EXPECT_EQ(services.MessageBox("x", "Error", Buttons::kAbortRetryIgnore), Answer::kIgnore);
  EXPECT_EQ(services.MessageBox("Done", "Transfer Info", Buttons::kOk), Answer::kOk);
}

}  // namespace
}  // namespace xfr
