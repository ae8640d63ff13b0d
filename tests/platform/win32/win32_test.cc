// The Windows services under Wine: the DDEML client against apx-sim.exe (error numbers, code page
// 1252), LockFileEx locks holding back another process, the single-instance mutex, and the
// Windows directory and INI files as an office under User Account Control has them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "base/ini_access.h"
#include "platform/console/console_window.h"
#include "platform/win32/ddeml_transport.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_ini.h"
#include "platform/win32/win32_instance.h"
#include "platform/win32/win32_text.h"
#include "platform/xbase/env.h"
#include "platform/xbase/table.h"
#include "platform/xbase/table_test_util.h"
#include "support/apx_sim.h"
#include "support/dde_outcomes.h"

namespace xfr {
namespace {

// The error numbers of DDEML, and code page 1252 on the wire. The link operations over DDEML:
// the console scenarios (send, read, link test), whose apx-sim logs match the Linux build's.
TEST(Win32Dde, ErrorNumbersAndCodePage) {
  testing::ApxSimExe sim("two_reports.json");
  ASSERT_TRUE(sim.ready());
  DdemlTransport transport(1000);
  testing::ExpectApxSimOutcomes(transport);
  auto report = transport.Initiate("apx", "rpt1");
  report->Poke("URAR|24|1", "Caf\xC3\xA9 \xE2\x82\xAC");
  // UTF-8 in, 1252 on the wire (the dump shows what arrived, as UTF-8), UTF-8 back.
  EXPECT_EQ(report->Request("URAR|24|1"), "Caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_NE(testing::ReadFile(sim.dump_path()).find("Caf\xC3\xA9 \xE2\x82\xAC"), std::string::npos);
}

// Our LockFileEx locks hold back another Windows process: a second copy of this program, run
// for the child test below, holds FoxPro's header lock while this one tries to append.
TEST(Win32Locks, AnotherProcessHoldingTheHeaderLockHoldsOurAppendBack) {
  testing::TempDir dir;
  xbase::table_testing::CopyFixtures("foxpro", dir.path());
  const std::string path = dir / "INVOICE.DBF";
  HANDLE held = ::CreateEventA(nullptr, TRUE, FALSE, "xfr-test-lock-held");
  HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, "xfr-test-lock-release");
  ::SetEnvironmentVariableA("XFR_LOCK_CHILD", path.c_str());
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(testing::SpawnSelf("Win32Locks.ChildHoldsTheHeaderLock", &child));
  ::SetEnvironmentVariableA("XFR_LOCK_CHILD", nullptr);
  ASSERT_EQ(::WaitForSingleObject(held, 20000), WAIT_OBJECT_0);

  auto table = xbase::table_testing::OpenOrDie(
      xbase::Env::Default(), path, {.lock_timeout_micros = 100'000, .lock_retry_micros = 10'000});
  xbase::Record rec = table->NewRecord();
  ASSERT_TRUE(rec.SetText(0, "LOCKED1").ok());
  std::uint32_t recno = 0;
  EXPECT_TRUE(table->Append(rec, &recno).IsLocked());
  ::SetEvent(release);
  EXPECT_EQ(testing::ExitCodeOf(&child), 0);
  EXPECT_TRUE(table->Append(rec, &recno).ok());
  for (HANDLE h : {held, release}) ::CloseHandle(h);
}

TEST(Win32Locks, ChildHoldsTheHeaderLock) {
  const char* path = std::getenv("XFR_LOCK_CHILD");
  if (path == nullptr) GTEST_SKIP() << "runs as the other process of the test above";
  std::unique_ptr<xbase::File> file;
  ASSERT_TRUE(xbase::Env::Default()->OpenFile(path, false, &file).ok());
  // INVOICE.DBF has a structural index: FoxPro's header lock sits at the top of the range.
  ASSERT_TRUE(file->TryLock(xbase::kIndexedHeaderLock, 1, true).ok());
  HANDLE held = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, "xfr-test-lock-held");
  HANDLE release = ::OpenEventA(SYNCHRONIZE, FALSE, "xfr-test-lock-release");
  ASSERT_TRUE(held && release);
  ::SetEvent(held);
  ASSERT_EQ(::WaitForSingleObject(release, 20000), WAIT_OBJECT_0);
}

// The profile API refusing writes under `refused`, as UAC does a standard user (CI runs as root).
struct RefusingProfile : AnsiProfileApi {
  bool WritePrivateProfileString(std::string_view s, std::string_view k, std::string_view v,
                                 std::string_view file) override {
    if (!file.starts_with(refused)) return AnsiProfileApi::WritePrivateProfileString(s, k, v, file);
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  std::string refused;
};

TEST(Win32Office, WindowsDirectoryThroughTheVirtualStoreAndIniTextsInUtf8) {
  testing::TempDir dir;
  const std::string windows = dir / "Windows";
  std::filesystem::create_directories(windows);
  const VirtualStore store(windows, dir / "VirtualStore");
  const std::string copies = store.CopyOf(windows + "\\");
  ASSERT_EQ(copies, dir / "VirtualStore" + windows.substr(2) + "\\");
  EXPECT_EQ(store.CopyOf(dir / "RDS\\WINDOWS\\XFR.INI"), "");  // a Remote Desktop user's own

  // A hand-off file the tracking program wrote only to its VirtualStore copy: read, then removed.
  std::filesystem::create_directories(copies);
  testing::WriteFile(copies + "xfr.dat", "24-00150\r\n");
  Win32FileSystem files(store);
  const std::string hand_off = windows + "\\XFR.DAT";
  EXPECT_EQ(files.ListPath(hand_off), std::vector<std::string>{"xfr.dat"});
  EXPECT_EQ(files.ReadFirstLine(hand_off), "24-00150");
  files.DeleteFile(hand_off);
  EXPECT_FALSE(std::filesystem::exists(copies + "xfr.dat"));

  // XFR.INI that this user may not write: written to a copy made from it, which is read back.
  RefusingProfile profile;
  profile.refused = windows;
  Win32IniService ini(store, &profile);
  App app(Services{&ini, &files}, "");
  const std::string real = windows + "\\XFR.INI", long_value(300, 'v');
  testing::WriteFile(real, "[PREFERENCES]\r\nAUTOEXIT=1\r\n[Legal]\r\nURAR=" + long_value +
                               "\r\n[D]\r\nDATADIR=C:\\B\xFCro\r\n");
  EXPECT_TRUE(ini.WritePrivateProfileString("PREFERENCES", "AUTOEXIT", "0", real));
  EXPECT_EQ(ReadIniString(app, real, "PREFERENCES", "AUTOEXIT", "1"), "0");
  // The rest of the file came along; a value over 255 characters whole; ANSI text as UTF-8.
  EXPECT_EQ(ReadIniString(app, real, "Legal", "URAR", ""), long_value);
  EXPECT_EQ(ReadIniString(app, real, "D", "DATADIR", ""), "C:\\B\xC3\xBCro");
  // Neither the real file nor a copy may be written: the error names both and the permission.
  profile.refused = dir.path();
  EXPECT_FALSE(ini.WritePrivateProfileString("PREFERENCES", "AUTOEXIT", "1", windows + "\\T.INI"));
  EXPECT_TRUE(ini.write_error().starts_with(windows + "\\T.INI may not be written by this user "
                                                      "(it needs the Modify permission") &&
              ini.write_error().find(copies + "T.INI") != std::string::npos)
      << ini.write_error();

  // A UTF-8 path reaches the file, and a share's path is shown as it is, not under this folder.
  const std::string buero = dir / "B\xC3\xBCro";
  std::filesystem::create_directory(std::filesystem::path(Utf8ToWide(buero)));
  std::ofstream(std::filesystem::path(Utf8ToWide(buero + "\\xfr.dat")), std::ios::binary)
      << "1\r\n";
  EXPECT_EQ(files.FileLength(buero + "\\xfr.dat"), 3);
  std::FILE* out = std::fopen((dir / "note").c_str(), "wb");
  ConsoleWindow({}, &files, out).FileNote("\\\\nosuchserver\\share\\PROPERTY.dbf", "");
  std::fclose(out);
  EXPECT_EQ(testing::ReadFile(dir / "note"),
            "note: \\\\nosuchserver\\share\\PROPERTY.dbf is "
            "\\\\nosuchserver\\share\\PROPERTY.dbf on this machine. \n");
}

TEST(Win32Instance, SecondCopySeesTheFirstUntilItEnds) {
  auto first = std::make_unique<Win32InstanceLock>("Local\\xfr-test-instance");
  Win32InstanceLock second("Local\\xfr-test-instance");
  EXPECT_FALSE(first->AnotherInstanceRunning());
  EXPECT_TRUE(second.AnotherInstanceRunning());
  first.reset();
  EXPECT_FALSE(second.AnotherInstanceRunning());
}

}  // namespace
}  // namespace xfr
