// apx-sim serving a report on the session bus for the whole run of a benchmark program. apx-sim
// is looked for beside the benchmark (../tools/apx-sim/apx-sim) or at $APX_SIM.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/apx_sim.h"
#include "support/temp_dir.h"

namespace bench_office {

inline std::string ApxSimPath() {
  if (const char* path = std::getenv("APX_SIM")) return path;
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "apx-sim";
  std::string dir(self, static_cast<size_t>(n));
  return dir.erase(dir.rfind('/')) + "/../tools/apx-sim/apx-sim";
}

// apx-sim serving `report_json` (written to a temporary file) until destroyed.
class ApxSim {
 public:
  explicit ApxSim(const std::string& report_json)
      : report_(Written(dir_ / "report.json", report_json)), sim_(ApxSimPath(), report_) {}
  bool ready() const { return sim_.ready(); }

 private:
  static std::string Written(const std::string& path, const std::string& text) {
    xfr::testing::WriteFile(path, text);
    return path;
  }

  xfr::testing::TempDir dir_{"xfr-bench-"};
  std::string report_;
  xfr::testing::ApxSim sim_;
};

}  // namespace bench_office
