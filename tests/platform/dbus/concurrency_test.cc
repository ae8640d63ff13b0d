// Several programs reading at once into the same tables: read-campaign workers, each under its own
// session bus with its own apx-sim, add new jobs (property, client, invoice) to one set of copies
// of the fixture tables at the same time, under FoxPro's locks. Afterwards every job is there
// exactly once with its report's values (dbfread, tools/read-campaign/verify_campaign.py), nothing
// there before changed, and every index tag is consistent. The long form is scripts/campaign.sh.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/apx_sim.h"
#include "support/office_tables.h"
#include "support/temp_dir.h"

namespace xfr {
namespace {

namespace fs = std::filesystem;
using testing::Child;
using testing::Output;
using testing::ReadFile;

const std::string kBin = XFR_BINARY_DIR;

// The command's exit status, with its output for the failure message.
int StatusOf(const std::string& command, std::string* out) {
  int status = -1;
  *out = Output(command + " 2>&1", &status);
  return status;
}

TEST(ConcurrencyTest, WorkersAddEveryJobOnceWithItsValuesAndIndexesStayConsistent) {
  std::string out;
  if (StatusOf("/usr/bin/python3 -c 'import dbfread'", &out) != 0) {
    GTEST_SKIP() << "python3-dbfread is not installed";
  }
  const std::string worker = kBin + "/tools/read-campaign/read-campaign";
  ASSERT_TRUE(fs::exists(worker)) << worker;
  testing::TempDir dir;
  for (const auto& [workers, reads] : {std::pair{2, 100}, {4, 50}}) {
    SCOPED_TRACE(std::to_string(workers) + " workers");
    const std::string data = dir / ("data-" + std::to_string(workers));
    const std::string run = dir / ("run-" + std::to_string(workers));
    fs::create_directories(run);
    testing::CopyTrackingTables(data);
    std::vector<std::unique_ptr<Child>> children;
    for (int w = 1; w <= workers; ++w) {
      const std::string n = run + "/" + std::to_string(w);
      children.push_back(std::make_unique<Child>(std::vector<std::string>{
          "/bin/sh", "-c",
          "exec dbus-run-session -- '" + worker + "' --data '" + data + "' --worker " +
              std::to_string(w) + " --reads " + std::to_string(reads) + " --ready '" + n +
              ".ready' --go '" + run + "/go' >'" + n + ".out' 2>'" + n + ".err'"}));
    }
    // Every worker has its bus, apx-sim and tables before any of them reads.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int w = 1; w <= workers; ++w) {
      while (!fs::exists(run + "/" + std::to_string(w) + ".ready") &&
             std::chrono::steady_clock::now() < limit && children[w - 1]->WaitExit({}) < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    testing::WriteFile(run + "/go", "");
    for (int w = 1; w <= workers; ++w) {
      const std::string n = run + "/" + std::to_string(w);
      // A worker that never ends holds a lock it never lets go of, or waits for one; one that
      // met an error ends with status 1. Its figures (lock waits, times) go to the log.
      EXPECT_EQ(children[w - 1]->WaitExit(std::chrono::seconds(120)), 0) << ReadFile(n + ".err");
      std::printf("%s", ReadFile(n + ".out").c_str());
    }
    const std::string fixtures = std::string(XFR_TEST_DATA) + "/foxpro";
    EXPECT_EQ(StatusOf("/usr/bin/python3 '" + std::string(XFR_TEST_DATA) +
                           "/../../tools/read-campaign/verify_campaign.py' '" + fixtures + "' '" +
                           data + "' " + std::to_string(workers) + " " + std::to_string(reads),
                       &out),
              0)
        << out;
    // dbftool's check and, when present, the independent checker find every tag consistent.
    EXPECT_EQ(StatusOf(kBin + "/src/dbftool check '" + data + "'", &out), 0) << out;
    const std::string checker = std::string(XFR_SHARED_DIR) + "/tools/checktables.py";
    if (fs::exists(checker)) {
      EXPECT_EQ(StatusOf("/usr/bin/python3 '" + checker + "' '" + data + "'", &out), 0) << out;
    }
  }
}

}  // namespace
}  // namespace xfr
