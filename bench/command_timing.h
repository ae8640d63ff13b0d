// Timing of one whole command (a read or a send) per iteration: wall and own CPU time, reported
// as median and p99 counters, since a single mean hides the slow runs an appraiser notices.
#pragma once

#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace bench_timing {

inline double CpuMicros() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

class CommandTimes {
 public:
  template <typename Fn>
  void Time(Fn&& command) {
    const double cpu_start = CpuMicros();
    const auto start = std::chrono::steady_clock::now();
    command();
    wall_.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
    cpu_.push_back(CpuMicros() - cpu_start);
  }

  void Report(benchmark::State& state) const {
    if (wall_.empty()) return;
    state.counters["p50_us"] = At(wall_, 50);
    state.counters["p99_us"] = At(wall_, 99);
    state.counters["cpu_p50_us"] = At(cpu_, 50);
    state.counters["cpu_p99_us"] = At(cpu_, 99);
  }

 private:
  static double At(std::vector<double> v, std::size_t percent) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, v.size() * percent / 100)];
  }
  std::vector<double> wall_;
  std::vector<double> cpu_;
};

}  // namespace bench_timing
