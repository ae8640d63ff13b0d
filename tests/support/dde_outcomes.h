// The outcomes a client meets against apx-sim serving two_reports.json as APX, with the error
// number the program sees for each: the same over the session bus and over DDEML.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

#include "platform/dde.h"
#include "platform/runtime_error.h"
#include "support/error_of.h"

namespace xfr::testing {

inline void ExpectApxSimOutcomes(DdeTransport& transport) {
  std::unique_ptr<DdeConversation> report = transport.Initiate("APX", "RPT1");
  std::unique_ptr<DdeConversation> query = transport.Initiate("APX", "Query");
  std::unique_ptr<DdeConversation> system = transport.Initiate("APX", "System");
  const struct {
    const char* what;
    std::function<void()> run;
    int error;
  } cases[] = {{"refused item", [&] { report->Request("Offscrn|99|1"); }, kErrDdeRefused},
               {"refused poke", [&] { report->Poke("offscrn|99|1", "x"); }, kErrDdeRefused},
               {"poke without a form", [&] { report->Poke("|3|1", "x"); }, kErrDdeRefused},
               {"poke of no field", [&] { report->Poke("UserID", "x"); }, kErrDdeRefused},
               {"unknown query item", [&] { query->Request("Nothing"); }, kErrDdeRefused},
               {"bad command", [&] { system->Execute("RunMacro(x)"); }, kErrDdeRefused},
               {"unknown service", [&] { transport.Initiate("NOBODY", "Query"); }, kErrNoDdeServer},
               {"topic not served",
                [&] { transport.Initiate("APX", "RPT9")->Request("ListForms"); }, kErrNoDdeServer},
               {"late answer", [&] { report->Request("offscrn|50|1"); }, kErrDdeTimeout},
               {"the next call", [&] { EXPECT_EQ(report->Request("offscrn|3|3"), "a-1001 "); }, 0}};
  for (const auto& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ErrorOf(c.run), c.error) << c.what;
    // A late answer ends at the transport's time-out, not when apx-sim answers (after 3 s).
    if (c.error == kErrDdeTimeout) {
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
    }
  }
}

}  // namespace xfr::testing
