#!/usr/bin/env bash
# Remakes doc/add-details.png: the "not found.  Add?" question of the sample report
# tests/data/apx/demo_report.json (job 24-00150) on a fresh copy of the demo tables, its details
# open (then closed: nothing is written), under Xvfb and a private session bus with the stand-in
# appraisal program. Then doc/window.png: the window just after the same read, the question
# answered Yes. Then doc/update-details.png: the same job read again after the office changed its
# street and the report its value and census tract, the "Update?" box with its details open
# (then closed). Run scripts/demo.sh once first (it installs and builds what is needed).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bin=${XFR_BIN:-$root/build/release}
out=${1:-$root/doc/window.png}
box_out=${2:-$root/doc/update-details.png}
add_out=${3:-$root/doc/add-details.png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/windows" "$work/office/TRK/DATA"
cp tests/data/foxpro/PROPERTY.* tests/data/foxpro/CLIENT.* tests/data/foxpro/INVOICE.* \
  "$work/office/TRK/DATA/"
chmod u+w "$work/office/TRK/DATA/"*
printf '[DIRECTORIES]\r\nDATADIR=C:\\TRK\\DATA\r\nAPPDIR=C:\\TRK\r\n' >"$work/windows/Trk.Ini"
printf '[PREFERENCES]\r\nAUTOEXIT=0\r\n[FORM]\r\nURAR=URAR\r\n[CENSUS]\r\nURAR=25|2\r\n' \
  >"$work/windows/XFR.INI"
printf '[MAPREF]\r\nURAR=25|1\r\n[OWNER]\r\nURAR=5|1\r\n' >>"$work/windows/XFR.INI"
export XFR_WINDIR="$work/windows" XFR_DRIVE_C="$work/office"
# The window's read of REPORT, with the options given, while apx-sim serves it.
read_in_window() {
  local report=$1
  shift
  bin=$bin bash scripts/with-apx-sim.sh "$report" "" -- \
    timeout 60 xvfb-run -a -s '-screen 0 1280x1024x24' "$bin/src/transfer-info" "$@" read
}
# The box is closed once its picture is taken: the read ends as if answered No. The report's
# owner has a letter the tables' code page lacks, and its street is longer than the field.
sed -e 's/"Pat Seller"/"Łucja Wróbel"/' \
  -e 's/"1650 Briarcliff Rd NE"/"1650 Briarcliff Rd NE, Building C, Unit 1204"/' \
  tests/data/apx/demo_report.json >"$work/add.json"
read_in_window "$work/add.json" --box-screenshot "$work/add.png"
cp "$work/add.png" "$add_out"
echo "Wrote $add_out"
# Unattended: a box nobody can answer would hold the window forever.
read_in_window tests/data/apx/demo_report.json --answer yes --on-error abort \
  --screenshot "$work/window.png"
cp "$work/window.png" "$out"
echo "Wrote $out"

data="$work/office/TRK/DATA"
recno=$("$bin/src/dbftool" seek "$data/PROPERTY.DBF" FILE_NUM 24-00150 |
  sed -n 's/.*"_recno": *\([0-9]*\).*/\1/p')
"$bin/src/dbftool" set "$data/PROPERTY.DBF" "$recno" "PR_STREET=1650 Briarcliff Road" >/dev/null
sed -e 's/"URAR|25|2": "0201.00"/"URAR|25|2": ""/' -e 's/\$425,000/$432,500/' \
  tests/data/apx/demo_report.json >"$work/changed.json"
read_in_window "$work/changed.json" --box-screenshot "$work/update.png"
cp "$work/update.png" "$box_out"
echo "Wrote $box_out"
