#!/usr/bin/env bash
# Runs every benchmark (release build) and writes one table of the figures: start-up to the first
# record, whole reads (add and update) and sends against apx-sim, and the engine's open, seek,
# append and edit, on PROPERTY tables of 10,000, 100,000 and 1,000,000 records, each with its
# peak resident memory. The 1,000,000-record tables take a minute or so to generate per program.
# Usage: bash scripts/bench.sh [OUTPUT.md]   (default build/release/bench-results/table.md)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
out_dir="$root/build/release/bench-results"
table=${1:-$out_dir/table.md}
mkdir -p "$out_dir"
rm -f "$out_dir"/*.json
# The programs of the sources there are now (a build directory may hold older ones).
for source in bench/*_bench.cc; do
  name=$(basename "$source" .cc)
  program=build/release/bench/$name
  echo "== $name"
  run=("$program" --benchmark_out="$out_dir/$name.json" --benchmark_out_format=json)
  case "$name" in
    link_bench | command_bench) dbus-run-session -- "${run[@]}" ;;
    *) "${run[@]}" ;;
  esac
done
/usr/bin/python3 - "$out_dir" "$table" <<'PY'
import glob, json, os, platform, sys
out_dir, table = sys.argv[1], sys.argv[2]
rows, context = [], None
for path in sorted(glob.glob(os.path.join(out_dir, "*.json"))):
    with open(path) as f:
        data = json.load(f)
    context = context or data["context"]
    for b in data["benchmarks"]:
        if b.get("error_occurred"):
            rows.append((b["name"], "error: " + b.get("error_message", ""), "", "", "", ""))
            continue
        unit = {"ns": 1e-3, "us": 1.0, "ms": 1e3}[b.get("time_unit", "ns")]
        mean = b["real_time"] * unit
        p50 = b.get("p50_us", mean)
        p99 = b.get("p99_us", "")
        cpu = b.get("cpu_p50_us", b["cpu_time"] * unit)
        peak = b.get("peak_rss_MB", "")
        fmt = lambda v: v if v == "" else ("%.1f" % v if v < 100 else "%.0f" % v)
        rows.append((b["name"].split("/iterations")[0], fmt(mean), fmt(p50), fmt(p99), fmt(cpu),
                     fmt(peak)))
lines = ["Machine: %s, %d CPUs at %s MHz, %s; %s build; run %s." % (
             platform.node(), context["num_cpus"], context["mhz_per_cpu"], platform.platform(),
             "RelWithDebInfo (release preset)", context["date"]),
         "",
         "| benchmark / records | mean µs | p50 µs | p99 µs | own CPU p50 µs | peak RSS MB |",
         "|---|---:|---:|---:|---:|---:|"]
lines += ["| %s | %s | %s | %s | %s | %s |" % r for r in rows]
with open(table, "w") as f:
    f.write("\n".join(lines) + "\n")
print("\n".join(lines))
print("\nWritten to", table)
PY
