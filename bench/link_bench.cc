// The appraisal link through the whole stack: the link operations, the DDE control, the session
// bus and apx-sim. Run under a session bus of its own:
//   dbus-run-session -- build/<preset>/bench/link_bench
// apx-sim is looked for beside the benchmark (../tools/apx-sim/apx-sim) or at $APX_SIM.
//
// Each benchmark reports the median and the 99th percentile of one operation (p50_us, p99_us).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "link/apx_link.h"
#include "platform/dbus/dbus_dde_transport.h"
#include "platform/dde_control.h"
#include "shell/app.h"

extern char** environ;

namespace {

// The twenty items of a capture of the read direction.
const char* const kCaptureItems[] = {
    "offscrn|3|3",  "offscrn|7|1",  "offscrn|8|1",  "offscrn|8|3",  "offscrn|8|4",
    "offscrn|8|2",  "offscrn|24|1", "URAR|24|1",    "URAR|25|1",    "offscrn|2|3",
    "offscrn|11|1", "offscrn|11|2", "offscrn|6|1",  "URAR|5|1",     "offscrn|13|1",
    "offscrn|14|1", "offscrn|15|1", "offscrn|16|1", "offscrn|17|1", "offscrn|20|3",
};

std::string ApxSimPath() {
  if (const char* path = std::getenv("APX_SIM")) return path;
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "apx-sim";
  std::string dir(self, static_cast<size_t>(n));
  dir.erase(dir.rfind('/'));
  return dir + "/../tools/apx-sim/apx-sim";
}

// apx-sim serving one report with the capture's fields, for the whole program run.
class Server {
 public:
  Server() {
    report_ = "/tmp/xfr-link-bench-" + std::to_string(getpid()) + ".json";
    {
      std::ofstream out(report_);
      out << R"({"reports": {"RPT1": {"forms": ["URAR"], "fields": {)";
      for (size_t i = 0; i < std::size(kCaptureItems); ++i) {
        out << (i ? ", " : "") << '"' << kCaptureItems[i] << R"(": "value )" << i << R"(\r\n")";
      }
      out << "}}}}";
    }
    std::string path = ApxSimPath();
    std::vector<char*> args = {path.data(), report_.data(), nullptr};
    if (posix_spawn(&pid_, path.c_str(), nullptr, nullptr, args.data(), environ) != 0) pid_ = -1;
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    for (int i = 0; i < 500 && bus; ++i) {
      if (bus->isServiceRegistered("dde.APX").value()) {
        ready_ = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~Server() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    std::remove(report_.c_str());
  }
  bool ready() const { return ready_; }

 private:
  std::string report_;
  pid_t pid_ = -1;
  bool ready_ = false;
};

struct Link {
  Link() : app(xfr::Services{}, ""), control(&transport) {}
  xfr::DBusDdeTransport transport;
  xfr::App app;  // no error is expected: the report's box would have no window service
  xfr::DdeClientControl control;
};

Server* server = nullptr;

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
  Server apx;
  server = &apx;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  server = nullptr;
  return 0;
}
