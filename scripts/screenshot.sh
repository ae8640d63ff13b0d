#!/usr/bin/env bash
# Remakes doc/window.png: the window showing a record of the demo tables, under Xvfb, over a fresh
# copy of the demo tables. Run scripts/demo.sh once first (it builds and installs what is needed).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bin=${XFR_BIN:-build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/windows" "$work/office/TRK/DATA"
cp tests/data/foxpro/PROPERTY.* tests/data/foxpro/CLIENT.* tests/data/foxpro/INVOICE.* \
  "$work/office/TRK/DATA/"
chmod u+w "$work/office/TRK/DATA/"*
printf '[DIRECTORIES]\r\nDATADIR=C:\\TRK\\DATA\r\nAPPDIR=C:\\TRK\r\n' >"$work/windows/Trk.Ini"
printf '[PREFERENCES]\r\nAUTOEXIT=0\r\n' >"$work/windows/XFR.INI"
export XFR_WINDIR="$work/windows" XFR_DRIVE_C="$work/office"
xvfb-run -a -s '-screen 0 1280x1024x24' "$bin/src/transfer-info" --screenshot "$work/window.png" \
  show 24-00105 || true
cp "$work/window.png" "$root/doc/window.png"
echo "Wrote doc/window.png"
