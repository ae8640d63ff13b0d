#!/usr/bin/env bash
# A whole console read and a whole console send of the demo office under Wine against
# apx-sim.exe, RUNS times each (default 20), with the tables fresh for every run: the p50 and p99
# of the wall time and of the program's own (user + system) time, process start included.
# Needs the windows build (scripts/test-windows.sh) and runs in its own Wine prefix.
set -euo pipefail
runs=${1:-20}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/windows
export WINEPREFIX=$build/bench-wineprefix WINEDEBUG=-all
bash "$root/scripts/wine-prefix.sh" start "$WINEPREFIX"
trap 'bash "$root/scripts/wine-prefix.sh" stop "$WINEPREFIX"' EXIT
windir=$WINEPREFIX/drive_c/windows office=$WINEPREFIX/drive_c work=$build/bench-work
rm -rf "$work" && mkdir -p "$work" "$office/TRK/DATA" "$office/APX/PRIVATE"
printf '[DIRECTORIES]\r\nDATADIR=C:\\TRK\\DATA\r\nAPPDIR=C:\\TRK\r\n' >"$windir/Trk.Ini"
printf '[DIRECTORIES]\r\nAPPDIR=C:\\APX\r\nPRIVATEDIR=C:\\APX\\PRIVATE\r\n' >"$windir/APX.INI"
printf '[PREFERENCES]\r\nAUTOEXIT=0\r\n[FORM]\r\nURAR=URAR\r\n[CENSUS]\r\nURAR=25|2\r\n[MAPREF]\r\nURAR=25|1\r\n[OWNER]\r\nURAR=5|1\r\n' \
  >"$windir/XFR.INI"
printf '{"reports": {"RPT1": {"forms": ["URAR", "offscrn"]}}}\n' >"$work/send_report.json"

measure() {  # NAME REPORT ARGS...: one line of figures
  local name=$1 report=$2
  shift 2
  wine "$build/tools/apx-sim/apx-sim.exe" "$report" </dev/null >/dev/null 2>&1 &
  local sim=$!
  sleep 1
  : >"$work/$name.times"
  for _ in $(seq "$runs"); do
    cp "$root"/tests/data/foxpro/{PROPERTY,CLIENT,INVOICE}.* "$office/TRK/DATA/"
    /usr/bin/time -f "%e %U %S" -a -o "$work/$name.times" \
      wine "$build/src/transfer-info.exe" --console "$@" </dev/null >/dev/null 2>&1
  done
  kill "$sim" 2>/dev/null || true
  wait "$sim" 2>/dev/null || true
  python3 - "$name" "$work/$name.times" <<'PY'
import sys
name, path = sys.argv[1], sys.argv[2]
rows = [list(map(float, l.split())) for l in open(path) if l.strip()]
wall = sorted(r[0] for r in rows)
own = sorted(r[1] + r[2] for r in rows)
pct = lambda xs, p: xs[min(len(xs) - 1, int(round(p / 100 * (len(xs) - 1))))]
print("%-5s runs=%d  wall p50 %.0f ms p99 %.0f ms  own p50 %.0f ms p99 %.0f ms" % (
    name, len(rows), pct(wall, 50) * 1e3, pct(wall, 99) * 1e3, pct(own, 50) * 1e3,
    pct(own, 99) * 1e3))
PY
}

measure read "$root/tests/data/apx/demo_report.json" read --answer yes
measure send "$work/send_report.json" send 24-00102
