#!/usr/bin/env bash
# Compares two builds of a benchmark program in alternating runs on the same generated tables:
# run 1 of A, run 1 of B, run 2 of A, ... and prints, for every benchmark, the median over the
# runs of each build's wall and CPU time and the ratio B / A of the wall medians. The tables are
# built once into a kept directory (XFR_BENCH_TABLES) and copied for every run.
# Usage: bash scripts/bench-compare.sh A_PROGRAM B_PROGRAM [ROUNDS] [FILTER]
#   e.g. bash scripts/bench-compare.sh /work/base/build/release/bench/xbase_bench \
#          build/release/bench/xbase_bench 5 'BM_Table'
# XFR_BENCH_DIR chooses where the tables of each run go (say /dev/shm for a tmpfs).
set -euo pipefail
a=${1:?usage: bench-compare.sh A_PROGRAM B_PROGRAM [ROUNDS] [FILTER]}
b=${2:?usage: bench-compare.sh A_PROGRAM B_PROGRAM [ROUNDS] [FILTER]}
rounds=${3:-5}
filter=${4:-.}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export XFR_BENCH_TABLES=${XFR_BENCH_TABLES:-$out/tables}
mkdir -p "$XFR_BENCH_TABLES"
for ((r = 1; r <= rounds; r++)); do
  for side in a b; do
    program=$a
    [ "$side" = b ] && program=$b
    echo "== round $r of $rounds: $side ($program)" >&2
    "$program" --benchmark_filter="$filter" --benchmark_out="$out/$side.$r.json" \
      --benchmark_out_format=json >/dev/null 2>"$out/$side.$r.log" || { cat "$out/$side.$r.log" >&2; exit 1; }
  done
done
/usr/bin/python3 - "$out" "$rounds" <<'PY'
import json, statistics, sys
out, rounds = sys.argv[1], int(sys.argv[2])
times = {}  # name -> side -> [(wall, cpu)]
order = []
for side in "ab":
    for r in range(1, rounds + 1):
        with open("%s/%s.%d.json" % (out, side, r)) as f:
            for b in json.load(f)["benchmarks"]:
                if b.get("error_occurred"):
                    continue
                unit = {"ns": 1e-3, "us": 1.0, "ms": 1e3}[b.get("time_unit", "ns")]
                name = b["name"]
                if name not in times:
                    order.append(name)
                times.setdefault(name, {}).setdefault(side, []).append(
                    (b["real_time"] * unit, b["cpu_time"] * unit))
print("| benchmark | A wall / CPU µs | B wall / CPU µs | B/A wall | B/A CPU |")
print("|---|---:|---:|---:|---:|")
for name in order:
    t = times[name]
    if "a" not in t or "b" not in t:
        continue
    med = lambda side, i: statistics.median(x[i] for x in t[side])
    fmt = lambda v: "%.1f" % v if v < 100 else "%.0f" % v
    print("| %s | %s / %s | %s / %s | %.2f | %.2f |" % (
        name, fmt(med("a", 0)), fmt(med("a", 1)), fmt(med("b", 0)), fmt(med("b", 1)),
        med("b", 0) / med("a", 0), med("b", 1) / med("a", 1)))
PY
