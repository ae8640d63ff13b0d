#!/usr/bin/env bash
# The main job on this machine: installs what is missing, builds, lays out a demo office under
# demo/ (a Windows directory with the three INI files, the tracking tables copied from
# tests/data), starts the stand-in appraisal program on a sample report and runs Transfer Info
# in console mode against them.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
bin=build/release

demo="$root/demo"
rm -rf "$demo"
mkdir -p "$demo/windows" "$demo/office/TRK/DATA" "$demo/office/APX/PRIVATE"
if ls tests/data/foxpro/*.DBF >/dev/null 2>&1; then
  cp tests/data/foxpro/PROPERTY.* tests/data/foxpro/CLIENT.* tests/data/foxpro/INVOICE.* \
    "$demo/office/TRK/DATA/"
fi
printf '[DIRECTORIES]\r\nDATADIR=C:\\TRK\\DATA\r\nAPPDIR=C:\\TRK\r\n' >"$demo/windows/Trk.Ini"
printf '[DIRECTORIES]\r\nAPPDIR=C:\\APX\r\nPRIVATEDIR=C:\\APX\\PRIVATE\r\n' >"$demo/windows/APX.INI"
printf '[PREFERENCES]\r\nAUTOEXIT=0\r\n' >"$demo/windows/XFR.INI"
export XFR_WINDIR="$demo/windows"
export XFR_DRIVE_C="$demo/office"

echo
echo "== Transfer Info, console start-up against $demo =="
"$bin/src/transfer-info" --console --transcript "$demo/transcript.jsonl" </dev/null
echo
echo "Demo office left in $demo (XFR_WINDIR=$XFR_WINDIR, XFR_DRIVE_C=$XFR_DRIVE_C)."
