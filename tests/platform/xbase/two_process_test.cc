// Two processes appending under FoxPro's locks while a third reads (fork: Linux only; the
// Windows build shows its locks holding back another process in tests/platform/win32).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/xbase/check.h"
#include "platform/xbase/table.h"
#include "platform/xbase/table_test_util.h"

namespace xbase {
namespace {

using table_testing::OpenOrDie;

// Two processes append 5,000 records each to one table while a third reads it; FoxPro's locks
// keep them apart.
TEST(WriteSafety, TwoProcessesAppendingUnderTheLocks) {
  table_testing::TempDir dir;
  table_testing::CopyFixtures("foxpro", dir.path());
  const std::string path = dir / "INVOICE.DBF";
  constexpr int kEach = 5000;
  auto key = [](int c, int i) {
    char text[16];
    std::snprintf(text, sizeof text, "%c%07d", 'P' + c, i);
    return std::string(text);
  };
  // A child's table, or its exit with the reason.
  auto open = [&](bool read_only) {
    TableOptions options{.read_only = read_only};
    options.lock_retry_micros = 200;
    options.lock_timeout_micros = 20'000'000;
    std::unique_ptr<Table> table;
    Status s = Table::Open(Env::Default(), path, options, &table);
    if (!s.ok()) {
      std::fprintf(stderr, "open in child: %s\n", s.ToString().c_str());
      _exit(3);
    }
    return table;
  };
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      auto table = open(false);
      Record rec = table->NewRecord();
      for (int i = 0; i < kEach; ++i) {
        rec.SetText(0, key(c, i));
        std::uint32_t recno;
        Status s = table->Append(rec, &recno);
        if (!s.ok()) {
          std::fprintf(stderr, "child %d append %d: %s\n", c, i, s.ToString().c_str());
          _exit(4);
        }
      }
      _exit(0);
    }
  }
  // A reader opens the table again and again while they write, and must find every invoice
  // that was there before: a half-seen index change would hide one.
  std::vector<std::string> before;
  {
    auto table = OpenOrDie(Env::Default(), path, TableOptions{.read_only = true});
    Record rec = table->NewRecord();
    for (std::uint32_t r = 1; r <= 30; ++r) {
      ASSERT_TRUE(table->Read(r, &rec).ok());
      if (!rec.deleted()) before.push_back(rec.Text(0));
    }
  }
  pid_t reader = fork();
  ASSERT_GE(reader, 0);
  if (reader == 0) {
    for (int round = 0; round < 200; ++round) {
      auto table = open(true);
      for (const std::string& invoice : before) {
        bool found = false;
        std::uint32_t recno = 0;
        Status s = table->Seek(table->FindTag("INV_NUM"), invoice, &found, &recno);
        if (!s.ok() || !found) {
          std::fprintf(stderr, "reader seek %s: %s\n", invoice.c_str(), s.ToString().c_str());
          _exit(6);
        }
      }
    }
    _exit(0);
  }
  for (pid_t pid : {children[0], children[1], reader}) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  auto table = OpenOrDie(Env::Default(), path, TableOptions{.read_only = true});
  std::uint32_t count = 0;
  ASSERT_TRUE(table->RecordCount(&count).ok());
  EXPECT_EQ(count, 30u + 2 * kEach);
  int tag = table->FindTag("INV_NUM");
  Record rec = table->NewRecord();
  for (int n = 0; n < 2 * kEach; ++n) {
    const std::string k = key(n % 2, n / 2);
    bool found = false;
    std::uint32_t recno = 0;
    ASSERT_TRUE(table->Seek(tag, k, &found, &recno).ok());
    ASSERT_TRUE(found) << k;
    ASSERT_TRUE(table->Read(recno, &rec).ok());
    ASSERT_EQ(rec.Text(0), k);
  }
  std::vector<std::string> report;
  Status s = CheckTable(Env::Default(), path, &report);
  EXPECT_TRUE(s.ok()) << s.ToString();
  if (table_testing::HaveChecker()) {
    std::string out;
    EXPECT_EQ(table_testing::RunChecker(dir.path(), &out), 0) << out;
  }
}

}  // namespace
}  // namespace xbase
