// The appraisal link through the whole stack: the link operations, the DDE control, the session
// bus and apx-sim. Run under a session bus of its own:
//   dbus-run-session -- build/<preset>/bench/link_bench
//
// Each benchmark reports the median and the 99th percentile of one operation (p50_us, p99_us).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "base/app.h"
#include "bench_office.h"
#include "controls/dde_control.h"
#include "link/apx_link.h"
#include "platform/dbus/dbus_dde_transport.h"

namespace {

// The twenty items of a capture of the read direction.
const char* const kCaptureItems[] = {
    "offscrn|3|3",  "offscrn|7|1",  "offscrn|8|1",  "offscrn|8|3",  "offscrn|8|4",
    "offscrn|8|2",  "offscrn|24|1", "URAR|24|1",    "URAR|25|1",    "offscrn|2|3",
    "offscrn|11|1", "offscrn|11|2", "offscrn|6|1",  "URAR|5|1",     "offscrn|13|1",
    "offscrn|14|1", "offscrn|15|1", "offscrn|16|1", "offscrn|17|1", "offscrn|20|3",
};

// apx-sim serving one report with the capture's fields, for the whole program run.
std::string CaptureReport() {
  std::string json = R"({"reports": {"RPT1": {"forms": ["URAR"], "fields": {)";
  for (size_t i = 0; i < std::size(kCaptureItems); ++i) {
    json += (i ? ", \"" : "\"") + std::string(kCaptureItems[i]) + R"(": "value )" +
            std::to_string(i) + R"(\r\n")";
  }
  return json + "}}}}";
}

struct Link {
  Link() : app(xfr::Services{}, ""), control(&transport) {}
  xfr::DBusDdeTransport transport;
  xfr::App app;  // no error is expected: the report's box would have no window service
  xfr::DdeClientControl control;
};

bench_office::ApxSim* server = nullptr;

// Times `op` once per iteration and reports the median and the 99th percentile.
template <typename Op>
void Timed(benchmark::State& state, Op op) {
  if (!server || !server->ready()) {
    state.SkipWithError("apx-sim is not serving (run under dbus-run-session)");
    return;
  }
  std::vector<double> micros;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    op();
    micros.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(micros.begin(), micros.end());
  state.counters["p50_us"] = micros[micros.size() / 2];
  state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
}

void BM_RequestRoundTrip(benchmark::State& state) {
  Link link;
  Timed(state, [&] {
    benchmark::DoNotOptimize(xfr::ApxGetFieldInfo(link.app, link.control, "RPT1", "offscrn|7|1"));
  });
}
BENCHMARK(BM_RequestRoundTrip)->Iterations(2000);

void BM_PokeRoundTrip(benchmark::State& state) {
  Link link;
  Timed(state,
        [&] { xfr::PokeText(link.app, link.control, "APX|RPT1", "Offscrn|7|1", " 9 Elm "); });
}
BENCHMARK(BM_PokeRoundTrip)->Iterations(2000);

void BM_ReadCaptureOfTwentyItems(benchmark::State& state) {
  Link link;
  Timed(state, [&] {
    for (const char* item : kCaptureItems) {
      benchmark::DoNotOptimize(xfr::ApxGetFieldInfo(link.app, link.control, "RPT1", item));
    }
  });
}
BENCHMARK(BM_ReadCaptureOfTwentyItems)->Iterations(200);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication qt(argc, argv);
  bench_office::ApxSim apx(CaptureReport());
  server = &apx;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  server = nullptr;
  return 0;
}
