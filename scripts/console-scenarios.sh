#!/usr/bin/env bash
# The console scenarios of the demo office, on Linux or on Windows under Wine, into OUT:
#   bash scripts/console-scenarios.sh linux BUILD_DIR OUT
#   bash scripts/console-scenarios.sh windows BUILD_DIR OUT   (WINEPREFIX set, wineserver up)
# start-up, send 24-00102, read of tests/data/apx/demo_report.json (answering yes), show
# 24-00150, link-test, undo of that read (answering yes); OUT then holds the tables (DATA/) and
# their journal, each scenario's standard output, the transcript and the stand-in appraisal
# program's logs, to compare between the platforms.
set -euo pipefail
platform=$1 build=$(realpath "$2") out=$3
root=$(cd "$(dirname "$0")/.." && pwd)
rm -rf "$out"
mkdir -p "$out"
out=$(realpath "$out")

if [ "$platform" = windows ]; then
  windir="$WINEPREFIX/drive_c/windows"
  office="$WINEPREFIX/drive_c"
  rm -rf "$office/TRK" "$office/APX"
  program=(wine "$build/src/transfer-info.com")
  sim_exe="$build/tools/apx-sim/apx-sim.exe"
else
  windir="$out/windows"
  office="$out/office"
  export XFR_WINDIR="$windir" XFR_DRIVE_C="$office"
  program=("$build/src/transfer-info")
fi
mkdir -p "$windir" "$office/TRK/DATA" "$office/APX/PRIVATE"
cp "$root"/tests/data/foxpro/{PROPERTY,CLIENT,INVOICE}.* "$office/TRK/DATA/"
printf '[DIRECTORIES]\r\nDATADIR=C:\\TRK\\DATA\r\nAPPDIR=C:\\TRK\r\n' >"$windir/Trk.Ini"
printf '[DIRECTORIES]\r\nAPPDIR=C:\\APX\r\nPRIVATEDIR=C:\\APX\\PRIVATE\r\n' >"$windir/APX.INI"
printf '[PREFERENCES]\r\nAUTOEXIT=0\r\n[FORM]\r\nURAR=URAR\r\n[CENSUS]\r\nURAR=25|2\r\n[MAPREF]\r\nURAR=25|1\r\n[OWNER]\r\nURAR=5|1\r\n' \
  >"$windir/XFR.INI"
printf '{"reports": {"RPT1": {"forms": ["URAR", "offscrn"]}}}\n' >"$out/send_report.json"

# Runs the program (its output with line ends as on Linux) while apx-sim serves REPORT to LOG.
scenario() {
  local name=$1 report=$2
  shift 2
  local status=0
  if [ "$platform" = windows ]; then
    wine "$sim_exe" --log "$out/$name.apx.log" "$report" </dev/null >/dev/null 2>&1 &
    local sim=$!
    sleep 1
    "${program[@]}" --console "$@" --transcript "$out/transcript.jsonl" </dev/null \
      >"$out/$name.out" 2>&1 || status=$?
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
    sed -i 's/\r$//' "$out/$name.out"
  else
    bin=$build bash "$root/scripts/with-apx-sim.sh" "$report" "$out/$name.apx.log" -- \
      "${program[@]}" --console "$@" --transcript "$out/transcript.jsonl" </dev/null \
      >"$out/$name.out" 2>&1 || status=$?
    # The private bus and apx-sim share the program's standard error.
    sed -i -e '/^dbus-daemon\[/d' -e '/^apx-sim: /d' "$out/$name.out"
  fi
  echo "$status" >"$out/$name.status"
}

scenario startup "$out/send_report.json"
scenario send "$out/send_report.json" send 24-00102
scenario read "$root/tests/data/apx/demo_report.json" read --answer yes
scenario show "$root/tests/data/apx/demo_report.json" show 24-00150
scenario link-test "$root/tests/data/apx/demo_report.json" link-test
scenario undo "$out/send_report.json" undo --answer yes
cp -r "$office/TRK/DATA" "$out/DATA"
