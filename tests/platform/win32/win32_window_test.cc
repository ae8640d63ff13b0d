// The Win32 window under Wine over the fake office (box limits, the client boxes, the hand-off
// file on a repaint, a transfer's status and animation, the exit preference). The read end to end
// on Windows: the console scenarios.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "fakes/office.h"
#include "form/status.h"
#include "platform/win32/res/resource.h"
#include "platform/win32/window/win32_main_window.h"
#include "platform/win32/window/win32_window_services.h"
#include "shell/lifecycle.h"
#include "shell/startup.h"
#include "shell/wiring.h"
#include "support/apx_sim.h"
#include "support/temp_dir.h"

namespace xfr {
namespace {

// The window over an App, started as the program starts it.
struct Window {
  Window(const Services& services_in, Win32WindowServices& window) {
    Services s = services_in;
    s.window = &window;
    app = std::make_unique<App>(s, "");
    form = std::make_unique<MainWindow>(*app);
    view = std::make_unique<Win32MainWindow>(*form, window, Win32MainWindow::Commands{});
    window.SetOwner(view->hwnd());
    window.SetBeforeBox([this] { view->Sync(); });
    Initialize(*app);
    frmMainForm_Load(*form);
    view->Sync();
    view->Show();
    view->Pump(50);
  }
  std::string Text(const char* name) const { return view->TextOf(view->ControlOf(name)); }
  bool Visible(const char* name) const { return ::IsWindowVisible(view->ControlOf(name)) != 0; }

  std::unique_ptr<App> app;
  std::unique_ptr<MainWindow> form;
  std::unique_ptr<Win32MainWindow> view;
};

// What the person sees and does in the window over the fake office, in the order they meet it.
TEST(Win32Window, LimitsClientsHandOffAndExitPreference) {
  testing::Office office;
  const Services services{&office.ini,    &office.files, nullptr,         nullptr,
                          &office.tables, nullptr,       &office.instance};
  {
    Win32WindowServices window(&office.files);
    Window w(services, window);
    char title[64] = {};
    ::GetWindowTextA(w.view->hwnd(), title, sizeof title);
    EXPECT_STREQ(title, "Transfer Info  Version 5.1.2 (Y2K)");
    EXPECT_EQ(w.Text("txtFile_Num"), "24-00101");
    EXPECT_TRUE(::GetWindowLongA(w.view->ControlOf("txtFile_Num"), GWL_STYLE) & ES_READONLY);
    EXPECT_FALSE(w.Visible("txtPr_dfinish"));
    EXPECT_EQ(static_cast<int>(::IsDlgButtonChecked(w.view->hwnd(), IDC_ckbAutoExit)), BST_CHECKED);

    // A 50-character paste into the 40-wide client name keeps 40.
    HWND name = w.view->ControlOf("txtPlain_Name");
    ::SendMessageA(name, EM_SETSEL, 0, -1);
    ASSERT_TRUE(::OpenClipboard(w.view->hwnd()));
    ::EmptyClipboard();
    HGLOBAL clip = ::GlobalAlloc(GMEM_MOVEABLE, 51);
    std::memcpy(::GlobalLock(clip), std::string(50, 'n').c_str(), 51);
    ::GlobalUnlock(clip);
    ::SetClipboardData(CF_TEXT, clip);
    ::CloseClipboard();
    ::SendMessageA(name, WM_PASTE, 0, 0);
    EXPECT_EQ(w.Text("txtPlain_Name"), std::string(40, 'n'));
    EXPECT_EQ(w.form->txtPlain_Name.text, std::string(40, 'n'));

    // The tracking program hands over a job without a client while the window is idle: the
    // change in the watched directory repaints the window, the repaint shows that job, and the
    // client boxes hide (each box follows its own flag; which ones hide: the Qt view's test).
    testing::TempDir watched("xfr-win-");
    w.view->WatchDirectory(watched / "");
    w.view->Pump(100);
    office.files.Put("C:\\WINDOWS\\xfr.dat", "ac24-104\r\n");
    std::ofstream(watched / "xfr.dat") << "ac24-104\r\n";
    w.view->Pump(300);
    EXPECT_FALSE(office.files.Has("C:\\WINDOWS\\xfr.dat"));
    EXPECT_EQ(w.Text("txtPR_Street"), "4 Oak Ave");
    EXPECT_FALSE(w.Visible("txtCli_Cont"));

    // The first box with details is shown expanded for its picture (a bitmap the animation below
    // shows), then answered as preset.
    // A "&" in a value is shown as it stands, not as an access key's underline.
    window.SetUnattended(Answer::kYes, std::nullopt);
    window.SetBoxPicture(watched / "Trk.bmp");
    static std::string shown_as_is;
    const UINT_PTR look = ::SetTimer(nullptr, 0, 200, [](HWND, UINT, UINT_PTR, DWORD) {
      ::EnumThreadWindows(::GetCurrentThreadId(), [](HWND box, LPARAM) {
        ::EnumChildWindows(box, [](HWND child, LPARAM) {
          char text[64] = {};
          ::GetWindowTextA(child, text, sizeof text);
          if (std::strchr(text, '&') && (::GetWindowLongA(child, GWL_STYLE) & SS_NOPREFIX)) {
            shown_as_is = text;
          }
          return TRUE;
        }, 0);
        return TRUE;
      }, 0);
    });
    EXPECT_EQ(window.MessageBox("Update?", "", Buttons::kYesNo, "PR_BORROWR: \"A & B\""),
              Answer::kYes);
    ::KillTimer(nullptr, look);
    EXPECT_EQ(shown_as_is, "PR_BORROWR: \"A & B\"");
    std::filesystem::copy_file(watched / "Trk.bmp", watched / "Apx.bmp");

    // A transfer running: the status line, the copy animation with both pictures, and what was
    // captured in the appraisal column.
    w.app->config.TrkAppDir = watched / "";
    StartReadAnimation(*w.form);
    ShowStatus(*w.form, "Transferring data to Tracking");
    w.form->lblPr_Street.caption = "1650 Briarcliff Rd NE";
    w.view->Sync();
    EXPECT_EQ(w.Text("lblPr_Street"), "1650 Briarcliff Rd NE");
    EXPECT_EQ(w.view->TextOf(w.view->Control(IDC_LblMsg)), "Transferring data to Tracking");
    for (int id : {IDC_LblMsg, IDC_aniCopy, IDC_imgTrkIco, IDC_imgApxIco}) {
      EXPECT_TRUE(::IsWindowVisible(w.view->Control(id))) << id;
    }
    for (int id : {IDC_imgTrkIco, IDC_imgApxIco}) {
      EXPECT_TRUE(::SendMessageA(w.view->Control(id), STM_GETIMAGE, IMAGE_BITMAP, 0)) << id;
    }
    StopCopyAnimation(*w.form);
    ShowStatus(*w.form, "");
    w.view->Sync();
    for (int id : {IDC_LblMsg, IDC_aniCopy}) EXPECT_FALSE(::IsWindowVisible(w.view->Control(id)));

    // "Exit After Transfer" cleared, then the window closed: the preference is written.
    ::SendMessageA(w.view->Control(IDC_ckbAutoExit), BM_CLICK, 0, 0);
    EXPECT_EQ(w.form->ckbAutoExit.value, 0);
    ::SendMessageA(w.view->hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(w.view->ended());
  }
  EXPECT_EQ(office.client->Text(0, "PLAIN_NAME"), std::string(40, 'n'));
  EXPECT_EQ(office.ini.Get("C:\\WINDOWS\\XFR.INI", "PREFERENCES", "AUTOEXIT"), "0");
  Win32WindowServices window(&office.files);
  Window again(services, window);
  EXPECT_EQ(static_cast<int>(::IsDlgButtonChecked(again.view->hwnd(), IDC_ckbAutoExit)),
            BST_UNCHECKED);
}

// Every control at the screen scales offices run, 100, 125 and 150 % (LogPixels 96, 120 and 144,
// as Wine reads it at a program's start: one run of this program for each), the two rows that
// fold away folded: each box beside its caption, no two controls overlapping.
TEST(Win32Window, EveryBoxBesideItsCaptionAtThreeScales) {
  if (const char* dpi = std::getenv("XFR_DPI_CHILD")) {
    testing::Office office;
    Win32WindowServices window(&office.files);
    Window w(Services{&office.ini, &office.files, nullptr, nullptr, &office.tables, nullptr,
                      &office.instance},
             window);
    ASSERT_EQ(::GetDpiForWindow(w.view->hwnd()), static_cast<UINT>(std::atoi(dpi)));
    std::vector<std::pair<int, RECT>> controls;
    for (HWND c = ::GetWindow(w.view->hwnd(), GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
      RECT r;
      ::GetWindowRect(c, &r);
      if (::IsWindowVisible(c)) controls.emplace_back(::GetDlgCtrlID(c), r);
    }
    for (const auto& [id, r] : controls) {
      RECT both;
      for (const auto& [other, o] : controls) {
        EXPECT_TRUE(other == id || !::IntersectRect(&both, &r, &o)) << id << " and " << other;
        // A caption (its box's identifier + IDC_CAPTION_OFFSET): left of its box, level with it.
        if (other + IDC_CAPTION_OFFSET != id || other > IDC_txtCli_Cont) continue;
        EXPECT_TRUE(r.right <= o.left && o.top <= (r.top + r.bottom) / 2 &&
                    (r.top + r.bottom) / 2 < o.bottom)
            << id << " at " << r.top << ", its box at " << o.top;
      }
    }
    return;
  }
  for (DWORD dpi : {96, 120, 144}) {
    ::RegSetKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "LogPixels", REG_DWORD, &dpi, 4);
    ::SetEnvironmentVariableA("XFR_DPI_CHILD", std::to_string(dpi).c_str());
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(testing::SpawnSelf("Win32Window.EveryBoxBesideItsCaption*", &child));
    EXPECT_EQ(testing::ExitCodeOf(&child), 0) << dpi << " DPI";
  }
  ::SetEnvironmentVariableA("XFR_DPI_CHILD", nullptr);
  ::RegDeleteKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "LogPixels");
}

}  // namespace
}  // namespace xfr
