#!/usr/bin/env bash
# The long forms of the proof, one after another (about 45 minutes on a 2-core machine):
#   1. the crash campaign with the independent checker at every crash point;
#   2. the concurrency campaign, 2 x 2,500 and 4 x 2,500 reads into one set of tables, then an
#      office of 3 workstations x 500 steps reading and undoing reads beside a stand-in for the
#      tracking program that edits and deletes records under FoxPro's locks;
#   3. every fuzz target for FUZZ_SECONDS (default 300) seconds;
#   4. the power-loss campaigns, of the engine's synced writes and of a whole read and its undo,
#      40 mixed cut states a point of their logs and the independent checker on every state.
# The test command (scripts/test.sh) runs the short form of each. Benchmarks: scripts/bench.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$(nproc)" --target campaign_tests xbase_tests dbftool

echo "== 1. Crash campaign, every crash point checked by both checkers"
XFR_CAMPAIGN_FULL=1 build/asan/tests/campaign_tests --gtest_filter='Crash*'

echo "== 2. Concurrency campaign"
bash scripts/campaign.sh

echo "== 3. Fuzzing, ${FUZZ_SECONDS:-300} s per target"
bash scripts/fuzz.sh "${FUZZ_SECONDS:-300}"

echo "== 4. Power-loss campaign, every state checked by both checkers"
XFR_POWER_LOSS_FULL=1 build/asan/tests/xbase_tests --gtest_filter='PowerLoss*'
XFR_POWER_LOSS_FULL=1 build/asan/tests/campaign_tests --gtest_filter='PowerLoss*'
