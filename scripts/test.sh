#!/usr/bin/env bash
# Runs every test: installs what is missing, builds with AddressSanitizer and UBSan, runs CTest,
# then gives each fuzz target a short run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
# The number tests also run under a comma-decimal locale; they skip when it is missing.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd sed -i 's/^# *de_DE.UTF-8/de_DE.UTF-8/' /etc/locale.gen && $sudo_cmd locale-gen ||
    echo "de_DE.UTF-8 could not be generated: the comma-locale tests will skip"
fi
jobs=$(nproc)
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"
bash scripts/fuzz.sh 15
