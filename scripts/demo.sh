#!/usr/bin/env bash
# The main job on this machine: installs what is missing, builds, lays out a demo office under
# demo/ (a Windows directory with the three INI files, the tracking tables copied from
# tests/data), starts the stand-in appraisal program on a sample report and runs Transfer Info
# in console mode against them.
#
# The test command walks through the same setup (ctest demo_walkthrough): with XFR_DEMO_BIN (a
# build directory whose programs are built) nothing is installed or built, the office is laid
# out in XFR_DEMO_DIR, no window opens, and the send and the read must both do their work.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
if [ -n "${XFR_DEMO_BIN:-}" ]; then
  bin=$XFR_DEMO_BIN
else
  bash scripts/deps.sh
  cmake --preset release >/dev/null
  # Only the program, dbftool and the stand-in appraisal program: the tests and benchmarks are
  # the test command's business.
  cmake --build --preset release -j "$(nproc)" --target transfer-info dbftool apx-sim
  bin=build/release
fi

demo="${XFR_DEMO_DIR:-$root/demo}"
rm -rf "$demo"
mkdir -p "$demo/windows" "$demo/office/TRK/DATA" "$demo/office/APX/PRIVATE"
if [ -n "${XFR_DEMO_BIN:-}" ]; then
  # The walk-through's own single-instance lock: the tests that run the program beside it must
  # not find it "already running", nor it them.
  mkdir -m 700 "$demo/run"
  export XDG_RUNTIME_DIR="$demo/run"
fi
if ls tests/data/foxpro/*.DBF >/dev/null 2>&1; then
  cp tests/data/foxpro/PROPERTY.* tests/data/foxpro/CLIENT.* tests/data/foxpro/INVOICE.* \
    "$demo/office/TRK/DATA/"
fi
# The three INI files of the Windows directory, as doc/setup.md describes them: DATADIR and
# APPDIR on drive C:, which XFR_DRIVE_C maps to the demo office.
cp data/examples/Trk.Ini data/examples/APX.INI data/examples/XFR.INI "$demo/windows/"
mkdir -p "$demo/office/APX"
export XFR_WINDIR="$demo/windows"
export XFR_DRIVE_C="$demo/office"

echo
echo "== Transfer Info, console start-up against $demo =="
"$bin/src/transfer-info" --console --transcript "$demo/transcript.jsonl" </dev/null
echo
echo "Demo office left in $demo (XFR_WINDIR=$XFR_WINDIR, XFR_DRIVE_C=$XFR_DRIVE_C)."

# The send: the stand-in appraisal program serves one open report (first form URAR) and logs
# every request, poke and macro it receives; Transfer Info sends property 24-00102 to it.
send_file_num=24-00102
if [ -n "${XFR_DEMO_BIN:-}" ]; then
  # The walk-through keeps its own log of transfers, to see the send's pokes in it.
  export XDG_STATE_HOME="$demo/state"
  rm -rf "$XDG_STATE_HOME"
fi
printf '{"reports": {"RPT1": {"forms": ["URAR", "offscrn"]}}}\n' >"$demo/report.json"
rm -f "$demo/apx-sim.log"
echo
echo "== Transfer Info, console send of $send_file_num to the stand-in appraisal program =="
bin=$bin bash scripts/with-apx-sim.sh "$demo/report.json" "$demo/apx-sim.log" -- \
  "$bin/src/transfer-info" --console send "$send_file_num" \
  --transcript "$demo/transcript.jsonl" </dev/null
echo
echo "== What the appraisal program received ($demo/apx-sim.log) =="
cat "$demo/apx-sim.log"
grep -q "$send_file_num" "$demo/apx-sim.log" || { echo "the send did not arrive"; exit 1; }
if [ -n "${XFR_DEMO_BIN:-}" ]; then
  grep '"kind":"poke"' "$XDG_STATE_HOME/transfer-info/transfers.log" | grep -q '"accepted":true' ||
    { echo "the send's pokes are not in the log of transfers"; exit 1; }
fi

# The read: the stand-in appraisal program serves the sample report tests/data/apx/demo_report.json
# (job 24-00150 on form URAR, with a client the tracking tables do not know yet); Transfer Info
# reads it into the demo tables, answering Yes to "... was not found.  Add?", and the records
# written are shown as an independent reader sees them.
read_file_num=24-00150
rm -f "$demo/apx-sim-read.log"
echo
echo "== Transfer Info, console read of the open report (tests/data/apx/demo_report.json) =="
bin=$bin bash scripts/with-apx-sim.sh "$root/tests/data/apx/demo_report.json" \
  "$demo/apx-sim-read.log" -- \
  "$bin/src/transfer-info" --console read --answer yes \
  --transcript "$demo/transcript.jsonl" </dev/null
echo
echo "== The records written for $read_file_num, as dbfread reads them =="
/usr/bin/python3 - "$demo/office/TRK/DATA" "$read_file_num" <<'PY'
import os, sys
import dbfread
data, file_num = sys.argv[1], sys.argv[2]
def table(name):
    return dbfread.DBF(os.path.join(data, name), char_decode_errors="replace",
                       ignore_missing_memofile=True)
prop = [r for r in table("PROPERTY.DBF") if (r["FILE_NUM"] or "").strip().upper() == file_num]
for r in prop:
    print("PROPERTY:", ", ".join("%s=%s" % (k, v) for k, v in r.items()
                                 if k != "PR_NOTES" and v not in ("", None)))
    cli = (r["CLI_NUM"] or "").strip().upper()
    for c in table("CLIENT.DBF"):
        if (c["CLI_NUM"] or "").strip().upper() == cli and cli:
            print("CLIENT:  ", ", ".join("%s=%s" % (k, v) for k, v in c.items() if v))
for i in table("INVOICE.DBF"):
    if (i["INV_NUM"] or "").strip().upper() == file_num:
        print("INVOICE: ", dict(i))
if not prop:
    sys.exit("no PROPERTY record for " + file_num)
PY
echo
echo "== Consistency of the demo tables after the read =="
"$bin/src/dbftool" check "$demo/office/TRK/DATA"
if [ -f "$root/../shared/tools/checktables.py" ]; then
  /usr/bin/python3 "$root/../shared/tools/checktables.py" -q "$demo/office/TRK/DATA"
  echo "independent checker: consistent"
fi

# With a display, the window opens on the demo office with the stand-in appraisal program
# serving the sample report: "Read Info from Appraisal" and "Send Info To Appraisal" work there
# as they would in the office. Close the window to end the demo.
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${XFR_DEMO_BIN:-}" ]; then
  echo
  echo "== The window, on the demo office (close it to end) =="
  bin=$bin bash scripts/with-apx-sim.sh "$root/tests/data/apx/demo_report.json" \
    "$demo/apx-sim-window.log" -- "$bin/src/transfer-info" || true
else
  echo
  echo "No display here: bash scripts/screenshot.sh shows the window after a read, as a picture."
fi

echo
cat <<EOF
== What just happened ==
A demo office was laid out under $demo: a Windows directory (windows/, with the example
XFR.INI, APX.INI and Trk.Ini from data/examples/) and the tracking tables on drive C:
(office/TRK/DATA, mapped by XFR_DRIVE_C). Transfer Info sent job $send_file_num to the stand-in
appraisal program (what it received: apx-sim.log), then read the sample report into the tables,
adding job $read_file_num with its client and invoice (shown above as dbfread reads them, and
checked by dbftool). Every box shown and answered is in transcript.jsonl. doc/setup.md says how
to set up a real office the same way.
EOF
