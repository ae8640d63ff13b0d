#!/usr/bin/env bash
# Remakes doc/window-windows.png, doc/add-details-windows.png and doc/update-details-windows.png:
# transfer-info.exe's window just after "Read Info from Appraisal" took the sample report tests/data/apx/demo_report.json (job 24-00150) from apx-sim.exe into a
# fresh copy of the demo tables, under Xvfb with Wine's X11 driver (a prefix of its own, without
# the null graphics driver the tests use; Wine draws the window frame itself). The question is
# answered Yes unattended. Run scripts/test-windows.sh once first (it installs and builds).
# XFR_DPI=120 or 144 draws it at 125 % or 150 % (the registry's LogPixels, as an office's scaled
# screen has it).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${XFR_WINDOWS_BUILD:-$root/build/windows}
out=${1:-$root/doc/window-windows.png}
box_out=${2:-$root/doc/update-details-windows.png}
add_out=${3:-$root/doc/add-details-windows.png}
work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

cat >"$work/run.sh" <<'INNER'
set -euo pipefail
build=$1 root=$2 work=$3
wineboot -i </dev/null >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "${XFR_DPI:-96}" /f \
  >/dev/null 2>&1
wineserver -w
drive="$WINEPREFIX/drive_c"
mkdir -p "$drive/TRK/DATA"
cp "$root"/tests/data/foxpro/{PROPERTY,CLIENT,INVOICE}.* "$drive/TRK/DATA/"
chmod u+w "$drive/TRK/DATA/"*
printf '[DIRECTORIES]\r\nDATADIR=C:\\TRK\\DATA\r\nAPPDIR=C:\\TRK\r\n' >"$drive/windows/Trk.Ini"
printf '[PREFERENCES]\r\nAUTOEXIT=0\r\n[FORM]\r\nURAR=URAR\r\n[CENSUS]\r\nURAR=25|2\r\n' \
  >"$drive/windows/XFR.INI"
printf '[MAPREF]\r\nURAR=25|1\r\n[OWNER]\r\nURAR=5|1\r\n' >>"$drive/windows/XFR.INI"
wine "$build/tools/apx-sim/apx-sim.exe" "$root/tests/data/apx/demo_report.json" \
  </dev/null >/dev/null 2>&1 &
sleep 2
wine "$build/src/transfer-info.exe" --answer yes --on-error abort \
  --box-screenshot 'C:\add.bmp' --screenshot 'C:\window.bmp' read </dev/null
cp "$drive/window.bmp" "$drive/add.bmp" "$work/"
# The same job read again after the report's value changed: the "Update?" box with its details.
wineserver -k
sed 's/\$425,000/$431,500/' "$root/tests/data/apx/demo_report.json" >"$work/changed.json"
wine "$build/tools/apx-sim/apx-sim.exe" "$work/changed.json" </dev/null >/dev/null 2>&1 &
sleep 2
wine "$build/src/transfer-info.exe" --answer no --on-error abort --box-screenshot 'C:\box.bmp' \
  --screenshot 'C:\after.bmp' read </dev/null
cp "$drive/box.bmp" "$work/box.bmp"
INNER
timeout 120 xvfb-run -a -s '-screen 0 1920x1440x24' bash "$work/run.sh" "$build" "$root" "$work"

# 24-bit bottom-up BMP to PNG.
python3 - "$work/window.bmp" "$out" "$work/box.bmp" "$box_out" "$work/add.bmp" "$add_out" <<'PY'
import struct, sys, zlib
def convert(bmp, png):
    data = open(bmp, 'rb').read()
    offset = struct.unpack_from('<I', data, 10)[0]
    width, height = struct.unpack_from('<ii', data, 18)
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = data[offset + y * stride: offset + y * stride + width * 3]
        rgb = bytearray(row)
        rgb[0::3], rgb[2::3] = row[2::3], row[0::3]
        rows.append(b'\0' + bytes(rgb))
    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
    data_png = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0))
               + chunk(b'IDAT', zlib.compress(b''.join(rows), 9)) + chunk(b'IEND', b''))
    open(png, 'wb').write(data_png)
convert(sys.argv[1], sys.argv[2])
convert(sys.argv[3], sys.argv[4])
convert(sys.argv[5], sys.argv[6])
PY
echo "Wrote $out, $box_out and $add_out"
