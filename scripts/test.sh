#!/usr/bin/env bash
# Runs every test: installs what is missing, builds with AddressSanitizer and UBSan, runs CTest,
# then gives each fuzz target a short run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"
bash scripts/fuzz.sh 15
