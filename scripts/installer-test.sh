#!/usr/bin/env bash
# The installer under Wine (WINEPREFIX from the test run): a silent install puts the program,
# dbftool and the uninstaller under Program Files with a Start-menu shortcut; the installed
# program starts; a silent uninstall removes what was installed and nothing else (a file the
# office left in the folder, and XFR.INI in the Windows directory, stay as they were).
set -euo pipefail
setup=$1
export WINEDEBUG=-all
dir_win='C:\Program Files\Transfer Info'
dir=$(winepath -u "$dir_win" 2>/dev/null)
windir=$(winepath -u 'C:\windows' 2>/dev/null)
fail() { echo "installer test: $*" >&2; exit 1; }

made_ini=""
if [ ! -e "$windir/XFR.INI" ]; then
  printf '[PREFERENCES]\r\nAUTOEXIT=0\r\n' >"$windir/XFR.INI"
  made_ini=1
fi
ini_before=$(md5sum <"$windir/XFR.INI")
cleanup() {
  rm -rf "$dir"
  [ -z "$made_ini" ] || rm -f "$windir/XFR.INI"
}
trap cleanup EXIT

wine "$setup" /S </dev/null >/dev/null 2>&1 || fail "the silent install failed ($?)"
for f in transfer-info.exe dbftool.exe uninstall.exe; do
  [ -f "$dir/$f" ] || fail "$f not installed in $dir_win"
done
[ ! -e "$dir/apx-sim.exe" ] || fail "apx-sim.exe must not be installed"
link=$(find "$WINEPREFIX/drive_c" -name 'Transfer Info.lnk' | head -1)
[ -n "$link" ] || fail "no Start-menu shortcut"
version=$(wine "$dir_win\\transfer-info.exe" --version </dev/null 2>/dev/null | tr -d '\r')
[ "$version" = "Transfer Info 5.1.2" ] || fail "the installed program says '$version'"
echo "office notes" >"$dir/notes.txt"

wine "$dir_win\\uninstall.exe" /S </dev/null >/dev/null 2>&1 || fail "the silent uninstall failed"
# The uninstaller goes on from a copy of itself in the temporary directory.
for _ in $(seq 1 100); do
  [ -e "$dir/uninstall.exe" ] || [ -e "$dir/transfer-info.exe" ] || break
  sleep 0.2
done
for f in transfer-info.exe dbftool.exe uninstall.exe; do
  [ ! -e "$dir/$f" ] || fail "$f still there after the uninstall"
done
[ ! -e "$link" ] || fail "the shortcut is still there"
[ -f "$dir/notes.txt" ] || fail "the uninstall removed the office's own file"
[ "$(md5sum <"$windir/XFR.INI")" = "$ini_before" ] || fail "XFR.INI changed"
echo "installer: installed, started and uninstalled silently"
