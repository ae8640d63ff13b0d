// Several programs reading at once into the same tables: read-campaign workers, each under a
// session bus of its own with its own apx-sim, add new jobs (property, client, invoice) to one set
// of copies of the fixture tables at the same time, under FoxPro's locks. Afterwards every job is
// there exactly once with its report's values (by dbfread, tools/read-campaign/verify_campaign.py),
// nothing that was there before changed, and every index tag is consistent (dbftool check, and
// the independent checker when present). The long form is scripts/campaign.sh.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/dbus/apx_sim_process.h"

namespace xfr {
namespace {

namespace fs = std::filesystem;
using testing::Child;
using testing::Output;
using testing::ReadFile;
using testing::TempDir;

constexpr const char* kPython = "/usr/bin/python3";

std::string Fixtures() { return std::string(XFR_TEST_DATA) + "/foxpro"; }
std::string Verifier() {
  return std::string(XFR_TEST_DATA) + "/../../tools/read-campaign/verify_campaign.py";
}
std::string Worker() { return std::string(XFR_BINARY_DIR) + "/tools/read-campaign/read-campaign"; }

// The sum of one figure (key=value) over the workers' lines.
long Sum(const std::vector<std::string>& lines, const std::string& key) {
  long sum = 0;
  for (const std::string& line : lines) {
    const std::size_t at = line.find(" " + key + "=");
    if (at != std::string::npos) sum += std::stol(line.substr(at + key.size() + 2));
  }
  return sum;
}

class ConcurrencyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int status = -1;
    Output(std::string(kPython) + " -c 'import dbfread' 2>/dev/null", &status);
    if (status != 0) GTEST_SKIP() << "python3-dbfread is not installed";
    ASSERT_TRUE(fs::exists(Worker())) << Worker();
  }

  // Runs `workers` workers of `reads` reads each at once over fresh copies of the fixture
  // tables; their output lines. The tables are left in data().
  std::vector<std::string> Campaign(int workers, int reads) {
    data_ = (dir_ / "data-" + std::to_string(workers));
    const std::string run = (dir_ / "run-" + std::to_string(workers));
    fs::create_directories(run);
    testing::CopyTrackingTables(data_);
    std::vector<std::unique_ptr<Child>> children;
    for (int w = 1; w <= workers; ++w) {
      const std::string n = std::to_string(w);
      const std::string command = "exec dbus-run-session -- '" + Worker() + "' --data '" + data_ +
                                  "' --worker " + n + " --reads " + std::to_string(reads) +
                                  " --ready '" + run + "/ready." + n + "' --go '" + run +
                                  "/go' >'" + run + "/out." + n + "' 2>'" + run + "/err." + n + "'";
      children.push_back(
          std::make_unique<Child>(std::vector<std::string>{"/bin/sh", "-c", command}));
    }
    // Every worker has its bus, apx-sim and tables before any of them reads.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int w = 1; w <= workers; ++w) {
      while (!fs::exists(run + "/ready." + std::to_string(w)) &&
             std::chrono::steady_clock::now() < limit && children[w - 1]->WaitExit({}) < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    std::FILE* go = std::fopen((run + "/go").c_str(), "w");
    if (go) std::fclose(go);
    std::vector<std::string> lines;
    for (int w = 1; w <= workers; ++w) {
      const std::string n = std::to_string(w);
      // A worker that never ends holds a lock it never lets go of, or waits for one.
      const int status = children[w - 1]->WaitExit(std::chrono::seconds(120));
      EXPECT_EQ(status, 0) << "worker " << n << ": " << ReadFile(run + "/err." + n);
      lines.push_back(ReadFile(run + "/out." + n));
    }
    return lines;
  }

  void ExpectVerified(int workers, int reads) {
    int status = -1;
    std::string out =
        Output(std::string(kPython) + " '" + Verifier() + "' '" + Fixtures() + "' '" + data_ +
                   "' " + std::to_string(workers) + " " + std::to_string(reads) + " 2>&1",
               &status);
    EXPECT_EQ(status, 0) << out;
    out = Output(std::string(XFR_BINARY_DIR) + "/src/dbftool check '" + data_ + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    const std::string checker = std::string(XFR_SHARED_DIR) + "/tools/checktables.py";
    if (!fs::exists(checker)) return;
    out = Output(std::string(kPython) + " '" + checker + "' '" + data_ + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
  }

  TempDir dir_;
  std::string data_;
};

TEST_F(ConcurrencyTest, WorkersAddEveryJobOnceWithItsValuesAndIndexesStayConsistent) {
  struct Case {
    int workers;
    int reads;
  } cases[] = {{2, 100}, {4, 50}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.workers) + " workers");
    const std::vector<std::string> lines = Campaign(c.workers, c.reads);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(c.workers));
    EXPECT_EQ(Sum(lines, "reads"), c.workers * c.reads);
    EXPECT_EQ(Sum(lines, "errors"), 0);
    for (const std::string& line : lines) std::printf("%s", line.c_str());
    ExpectVerified(c.workers, c.reads);
  }
}

}  // namespace
}  // namespace xfr
