// Peak resident memory of one benchmark: the kernel's high-water mark is reset when the
// benchmark starts (Linux: writing 5 to /proc/self/clear_refs), so tables generated earlier in
// the same process do not count, and read back as "peak_rss_MB" when it ends. The figure is the
// whole process's resident set at its highest during the benchmark, libraries included.
#pragma once

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

namespace bench_memory {

inline void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

inline double PeakMB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

// Reports the peak of the benchmark it lives in; create it after the setup to leave that out.
class PeakScope {
 public:
  explicit PeakScope(benchmark::State& state) : state_(state) { ResetPeak(); }
  ~PeakScope() { state_.counters["peak_rss_MB"] = PeakMB(); }

 private:
  benchmark::State& state_;
};

}  // namespace bench_memory
