// The Windows services under Wine: the DDEML client against apx-sim.exe (error numbers, code page
// 1252), LockFileEx locks holding back another process, and the single-instance mutex.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/win32/ddeml_transport.h"
#include "platform/win32/win32_instance.h"
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
  char exe[MAX_PATH];
  ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(testing::Spawn(
      std::string("\"") + exe + "\" --gtest_filter=Win32Locks.ChildHoldsTheHeaderLock", &child));
  ::SetEnvironmentVariableA("XFR_LOCK_CHILD", nullptr);
  ASSERT_EQ(::WaitForSingleObject(held, 20000), WAIT_OBJECT_0);

  auto table = xbase::table_testing::OpenOrDie(
      xbase::Env::Default(), path, {.lock_timeout_micros = 100'000, .lock_retry_micros = 10'000});
  xbase::Record rec = table->NewRecord();
  ASSERT_TRUE(rec.SetText(0, "LOCKED1").ok());
  std::uint32_t recno = 0;
  EXPECT_TRUE(table->Append(rec, &recno).IsLocked());
  ::SetEvent(release);
  ASSERT_EQ(::WaitForSingleObject(child.hProcess, 20000), WAIT_OBJECT_0);
  DWORD code = 1;
  ::GetExitCodeProcess(child.hProcess, &code);
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(table->Append(rec, &recno).ok());
  for (HANDLE h : {held, release, child.hProcess, child.hThread}) ::CloseHandle(h);
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
