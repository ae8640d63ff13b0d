// An App wired to the fakes, for core tests.
#pragma once

#include <memory>
#include <string>

#include "base/app.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_dde.h"
#include "fakes/fake_files.h"
#include "fakes/fake_ini.h"
#include "fakes/fake_table.h"
#include "fakes/fake_window.h"
#include "platform/instance.h"

namespace xfr::testing {

struct FakeInstance : InstanceLock {
  bool AnotherInstanceRunning() override { return another; }
  bool another = false;
};

struct Harness {
  explicit Harness(std::string command_line = "")
      : app(Services{&ini, &files, &clock, &window, &tables, &dde, &instance},
            std::move(command_line)) {
    clock.today = Date{2025, 6, 15};
  }
  FakeIni ini;
  FakeFiles files;
  FakeWindow window;
  FakeTables tables;
  FakeInstance instance;
  FakeClock clock;
  FakeDdeTransport dde;  // serves "APX"; every item answers CR LF until scripted
  App app;
};

}  // namespace xfr::testing
