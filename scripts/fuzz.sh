#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (default 15; five targets keep the test run near a minute and a quarter). Longer runs by
# hand: bash scripts/fuzz.sh 300
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
if ! ls tests/fuzz/*_fuzz.cc >/dev/null 2>&1; then
  echo "fuzz: no targets"
  exit 0
fi
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
for target in build/fuzz/tests/fuzz/*_fuzz; do
  name=$(basename "$target")
  corpus="tests/fuzz/corpus/${name%_fuzz}"
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  echo "fuzz: $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -print_final_stats=1 "$work" 2>&1 | tail -n 12
  rm -rf "$work"
done
