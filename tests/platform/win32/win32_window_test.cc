// The Win32 window under Wine: the dialog over the main-window model with the FoxPro engine and
// apx-sim.exe behind it (a read answered Yes), over the fake office (box limits, the client
// boxes, the hand-off file on a repaint, the exit preference), and the program itself started a
// second time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "fakes/fake_clock.h"
#include "fakes/fake_files.h"
#include "fakes/fake_ini.h"
#include "fakes/office.h"
#include "platform/tables/xbase_table.h"
#include "platform/win32/apx_sim_exe.h"
#include "platform/win32/ddeml_transport.h"
#include "platform/win32/res/resource.h"
#include "platform/win32/win32_instance.h"
#include "platform/win32/window/win32_main_window.h"
#include "platform/win32/window/win32_window_services.h"
#include "platform/xbase/check.h"
#include "platform/xbase/env.h"
#include "platform/xbase/table_test_util.h"
#include "shell/lifecycle.h"
#include "shell/startup.h"
#include "shell/wiring.h"
#include "support/temp_dir.h"
#include "transfer/read_driver.h"

namespace xfr {
namespace {

namespace fs = std::filesystem;

// The window over an App, started as the program starts it.
struct Window {
  Window(const Services& services_in, Win32WindowServices& window) {
    Services s = services_in;
    s.window = &window;
    app = std::make_unique<App>(s, "");
    form = std::make_unique<MainWindow>(*app);
    Win32MainWindow::Commands commands;
    commands.read = [this] { CmdRead_Click(*form); };
    view = std::make_unique<Win32MainWindow>(*form, window, commands);
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
  void Click(int id) { ::SendMessageA(view->Control(id), BM_CLICK, 0, 0); }

  std::unique_ptr<App> app;
  std::unique_ptr<MainWindow> form;
  std::unique_ptr<Win32MainWindow> view;
};

// A 2 x 2 bitmap file, for the copy animation.
void WriteBitmap(const std::string& path) {
  BITMAPINFOHEADER info{sizeof info, 2, 2, 1, 24, BI_RGB, 16, 0, 0, 0, 0};
  BITMAPFILEHEADER file{0x4D42, sizeof file + sizeof info + 16, 0, 0, sizeof file + sizeof info};
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out << std::string(16, '\x7f');
}

TEST(Win32Window, ReadAnsweredYesShowsTheCaptureAndTheWrittenRecord) {
  testing::TempDir dir("xfr-win-");
  const std::string data = dir / "data";
  fs::create_directories(data);
  xbase::table_testing::CopyFixtures("foxpro", data);
  testing::ApxSimExe sim("demo_report.json");
  ASSERT_TRUE(sim.ready());
  testing::FakeIni ini;
  ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "DATADIR", "C:\\TRK\\DATA");
  ini.Set("C:\\WINDOWS\\Trk.Ini", "DIRECTORIES", "APPDIR", dir / "");
  ini.Set("C:\\WINDOWS\\XFR.INI", "PREFERENCES", "AUTOEXIT", "0");
  ini.Set("C:\\WINDOWS\\XFR.INI", "FORM", "URAR", "URAR");
  for (const char* picture : {"Trk.bmp", "Apx.bmp"}) WriteBitmap(dir / picture);
  testing::FakeFiles files;
  testing::FakeClock clock;
  clock.today = Date{2025, 6, 15};
  XbaseTableService tables(
      [&](std::string_view, std::string_view file) { return data + "\\" + std::string(file); });
  DdemlTransport transport(2000);
  Win32WindowServices services(&files);
  testing::FakeInstance instance;
  Window w(Services{&ini, &files, &clock, nullptr, &tables, &transport, &instance}, services);

  // While the question is up, the status line and the animation with both pictures show.
  std::vector<std::string> seen;  // the status line and the animation's parts shown, per update
  services.SetBeforeBox([&] {
    w.view->Sync();
    HWND status = w.view->Control(IDC_LblMsg);
    std::string now = ::IsWindowVisible(status) ? w.view->TextOf(status) : "";
    for (int id : {IDC_aniCopy, IDC_imgTrkIco, IDC_imgApxIco}) {
      now += ::IsWindowVisible(w.view->Control(id)) ? " shown" : "";
    }
    for (int id : {IDC_imgTrkIco, IDC_imgApxIco}) {
      now += ::SendMessageA(w.view->Control(id), STM_GETIMAGE, IMAGE_BITMAP, 0) ? " picture" : "";
    }
    seen.push_back(now);
  });
  Win32WindowServices::ShownBoxes().clear();
  Win32WindowServices::SetNextAnswers({Answer::kYes});
  w.Click(IDC_CmdRead);

  ASSERT_EQ(Win32WindowServices::ShownBoxes().size(), 1u);
  EXPECT_EQ(Win32WindowServices::ShownBoxes()[0].text, "24-00150 was not found.  Add?");
  EXPECT_EQ(Win32WindowServices::ShownBoxes()[0].title, "Record Found");
  EXPECT_NE(std::find(seen.begin(), seen.end(),
                      "Transferring data to Tracking shown shown shown picture picture"),
            seen.end());
  // The appraisal column shows what was captured, the tracking column the record written.
  const std::pair<const char*, const char*> shown[] = {
      {"lblFile_Num", "24-00150"},
      {"lblPr_Street", "1650 Briarcliff Rd NE"},
      {"lblPr_Borrowr", "Chris & Jordan Buyer"},
      {"lblPlain_Name", "Druid Hills Mortgage"},
      {"txtFile_Num", "24-00150"},
      {"txtPR_Street", "1650 Briarcliff Rd NE"},
      {"txtPr_Borrowr", "Chris & Jordan Buyer"},
      {"txtCli_Num", "DM001"},
      {"txtPlain_Name", "Druid Hills Mortgage"},
      {"txtCli_Cont", "Robin Lee"},
  };
  for (const auto& [name, text] : shown) EXPECT_EQ(w.Text(name), text) << name;
  EXPECT_TRUE(w.Visible("txtCli_Cont"));
  EXPECT_FALSE(::IsWindowVisible(w.view->Control(IDC_LblMsg)));
  EXPECT_FALSE(::IsWindowVisible(w.view->Control(IDC_aniCopy)));
  w.Click(IDC_cmdExit);
  ASSERT_TRUE(w.view->ended());

  // The tables check clean.
  for (const char* table : {"PROPERTY.DBF", "CLIENT.DBF", "INVOICE.DBF"}) {
    std::vector<std::string> report;
    EXPECT_TRUE(xbase::CheckTable(xbase::Env::Default(), data + "\\" + table, &report).ok())
        << table;
  }
}

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
    // client boxes hide.
    testing::TempDir watched("xfr-win-");
    w.view->WatchDirectory(watched / "");
    w.view->Pump(100);
    office.files.Put("C:\\WINDOWS\\xfr.dat", "ac24-104\r\n");
    std::ofstream(watched / "xfr.dat") << "ac24-104\r\n";
    w.view->Pump(300);
    EXPECT_FALSE(office.files.Has("C:\\WINDOWS\\xfr.dat"));
    EXPECT_EQ(w.Text("txtPR_Street"), "4 Oak Ave");
    for (const char* box : {"txtCli_Num", "txtCli_LName", "txtPlain_Name", "txtCli_Street",
                            "txtCli_Addr2", "txtCli_Addr3", "txtCli_Cont"}) {
      EXPECT_FALSE(w.Visible(box)) << box;
    }

    // "Exit After Transfer" cleared, then the window closed: the preference is written.
    w.Click(IDC_ckbAutoExit);
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

// transfer-info.exe started while another copy runs: the "already running" box (answered
// unattended, so written to standard error), the program ends, the hand-off file stays.
TEST(Win32Program, SecondStartSaysAlreadyRunningAndLeavesTheHandOffFile) {
  Win32InstanceLock first;
  ASSERT_FALSE(first.AnotherInstanceRunning());
  char windows[MAX_PATH];
  ::GetWindowsDirectoryA(windows, MAX_PATH);
  const std::string hand_off = std::string(windows) + "\\xfr.dat";
  std::ofstream(hand_off, std::ios::binary) << "24-00101\r\n";
  testing::TempDir dir("xfr-win-");
  const std::string err = dir / "stderr.txt";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out = ::CreateFileA(err.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = out;
  std::string line =
      "\"" + std::string(XFR_BINARY_DIR) + "/src/transfer-info.exe\" --answer yes --on-error abort";
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                               &startup, &child));
  ::CloseHandle(out);
  const bool ended = ::WaitForSingleObject(child.hProcess, 30000) == WAIT_OBJECT_0;
  if (!ended) ::TerminateProcess(child.hProcess, 9);
  DWORD code = 9;
  ::GetExitCodeProcess(child.hProcess, &code);
  ::CloseHandle(child.hProcess);
  ::CloseHandle(child.hThread);
  EXPECT_TRUE(ended);
  EXPECT_EQ(code, 0u);
  EXPECT_NE(testing::ReadFile(err).find("[Transfer Info] The Transfer Application is already "
                                        "running."),
            std::string::npos)
      << testing::ReadFile(err);
  EXPECT_TRUE(fs::exists(hand_off));
  fs::remove(hand_off);
}

}  // namespace
}  // namespace xfr
