#!/usr/bin/env bash
# The installer under Wine (WINEPREFIX from the test run), every step silent, with the programs,
# the Add/Remove entry, the office's own files and XFR.INI checked after each:
#   1. the earlier build's installer (made from its script, tests/data/installer/, with this
#      build's programs marked as earlier; or XFR_PREVIOUS_SETUP, a real one from
#      scripts/previous-installer.sh);
#   2. this installer over it while the earlier window runs: the window is closed, the programs
#      replaced, one entry; the installed .exe is a GUI-subsystem program, the .com a console
#      one, the Start-menu shortcut starts the .exe;
#   3. again while a console command runs that cannot be closed: exit 3, nothing changed;
#   4. /D= (no blanks, as NSIS wants it) to another folder where a program file cannot be written: exit 4, nothing changed;
#   5. /D= to that folder: the earlier copy is removed (the office's file stays), one entry;
#   6. "transfer-info --console link-test" from a cmd /c prompt runs the console twin; the
#      window program's --console works for a caller that reads its output;
#   7. the entry's QuietUninstallString: the programs, shortcut and entry go, nothing else.
#   bash scripts/installer-test.sh SETUP.EXE WINDOWS_BUILD_DIR
set -euo pipefail
setup=$1 build=$2
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEDEBUG=-all
stage=$build/packaging/windows/stage
dir_win='C:\Program Files\Transfer Info'
other_win='C:\Tools\TransferInfo'
dir=$(winepath -u "$dir_win" 2>/dev/null)
other=$(winepath -u "$other_win" 2>/dev/null)
windir=$(winepath -u 'C:\windows' 2>/dev/null)
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TransferInfo'
work=$(mktemp -d)
fail() { echo "installer test: $*" >&2; exit 1; }

made_ini=""
if [ ! -e "$windir/XFR.INI" ]; then
  printf '[PREFERENCES]\r\nAUTOEXIT=0\r\n' >"$windir/XFR.INI"
  made_ini=1
fi
ini_before=$(md5sum <"$windir/XFR.INI")
started=()
cleanup() {
  for p in "${started[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$dir" "$(dirname "$other")" "$work"
  [ -z "$made_ini" ] || rm -f "$windir/XFR.INI"
}
trap cleanup EXIT

# The exit status of a Windows program run silently.
status_of() {
  local s=0
  wine "$@" </dev/null >/dev/null 2>&1 || s=$?
  echo "$s"
}
entry() { wine reg query "$key" /v "$1" </dev/null 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z]* *//p"; }
subsystem() {
  python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(); o=struct.unpack_from("<I",d,60)[0]; print(struct.unpack_from("<H",d,o+92)[0])' "$1"
}
same_office_files() {
  [ "$(md5sum <"$windir/XFR.INI")" = "$ini_before" ] || fail "$1: XFR.INI changed"
  [ -f "$dir/notes.txt" ] || fail "$1: the office's own file went"
}
# The programs of this version in FOLDER (unix path) and the entry naming it (its Windows path).
installed_here() {
  for f in transfer-info.exe transfer-info.com dbftool.exe; do
    cmp -s "$1/$f" "$stage/$f" || fail "$3: $f of this version not in $2"
  done
  [ -f "$1/uninstall.exe" ] || fail "$3: no uninstaller in $2"
  [ "$(entry InstallLocation)" = "$2" ] || fail "$3: the entry names '$(entry InstallLocation)'"
  [ "$(entry DisplayVersion)" = 5.1.2 ] || fail "$3: the entry says version $(entry DisplayVersion)"
}
wait_gone() {
  for _ in $(seq 1 50); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.2; done
  return 1
}

# 1. The earlier build.
earlier=${XFR_PREVIOUS_SETUP:-}
if [ -z "$earlier" ]; then
  mkdir "$work/earlier"
  for f in transfer-info.exe dbftool.exe; do
    cp "$stage/$f" "$work/earlier/$f"
    printf 'earlier build' >>"$work/earlier/$f"
  done
  makensis -V1 -DVERSION=5.1.1 -DBIN="$work/earlier" \
    -DICON="$root/src/platform/win32/res/transfer-info.ico" -DOUTFILE="$work/earlier-setup.exe" \
    "$root/tests/data/installer/transfer-info-f2a20b0.nsi" >/dev/null
  earlier=$work/earlier-setup.exe
fi
[ "$(status_of "$earlier" /S)" = 0 ] || fail "the earlier build's silent install failed"
[ -f "$dir/transfer-info.exe" ] || fail "the earlier build installed nothing"
echo "office notes" >"$dir/notes.txt"

# 2. The upgrade while the earlier window runs (its boxes answered, so it waits idle).
wine "$dir_win\\transfer-info.exe" --answer no --on-error abort </dev/null >/dev/null 2>&1 &
window=$!
started+=("$window")
sleep 4
kill -0 "$window" 2>/dev/null || fail "the earlier window did not start"
s=$(status_of "$setup" /S)
[ "$s" = 0 ] || fail "the upgrade while the window ran exited $s"
wait_gone "$window" || fail "the upgrade left the earlier window running"
installed_here "$dir" "$dir_win" "upgrade"
same_office_files "upgrade"
[ "$(subsystem "$dir/transfer-info.exe")" = 2 ] || fail "transfer-info.exe is not a GUI program"
[ "$(subsystem "$dir/transfer-info.com")" = 3 ] || fail "transfer-info.com is not a console program"
link=$(find "$WINEPREFIX/drive_c" -name 'Transfer Info.lnk' | head -1)
[ -n "$link" ] || fail "no Start-menu shortcut"
grep -aq 'transfer-info\.exe' "$link" || fail "the shortcut does not start transfer-info.exe"

# 3. A console command that keeps running (the appraisal program answers slowly): refused.
printf '{"delayMs": 3000, "reports": {"R1": {"forms": ["URAR"]}}}\n' >"$work/slow.json"
wine "$build/tools/apx-sim/apx-sim.exe" "$work/slow.json" </dev/null >/dev/null 2>&1 &
sim=$!
started+=("$sim")
sleep 1
wine "$dir_win\\transfer-info.com" --console link-test --on-error abort </dev/null >/dev/null 2>&1 &
busy=$!
started+=("$busy")
sleep 2
before=$(md5sum "$dir"/*.exe "$dir"/*.com)
s=$(status_of "$setup" /S)
[ "$s" = 3 ] || fail "an install while transfer-info.com ran exited $s, not 3"
[ "$(md5sum "$dir"/*.exe "$dir"/*.com)" = "$before" ] || fail "the refused install changed files"
kill "$busy" "$sim"
wait_gone "$busy" || fail "the slow link test did not end"

# 4. Another folder where a program file cannot be written: refused, the installed copy stays.
mkdir -p "$other/dbftool.exe"
s=$(status_of "$setup" /S "/D=$other_win")
[ "$s" = 4 ] || fail "an install over an unwritable file exited $s, not 4"
[ ! -e "$other/transfer-info.exe" ] || fail "the refused install wrote transfer-info.exe"
installed_here "$dir" "$dir_win" "refused install elsewhere"
rmdir "$other/dbftool.exe"

# 5. Installed elsewhere: one copy, one entry.
s=$(status_of "$setup" /S "/D=$other_win")
[ "$s" = 0 ] || fail "the install in another folder exited $s"
installed_here "$other" "$other_win" "install elsewhere"
for f in transfer-info.exe transfer-info.com dbftool.exe uninstall.exe; do
  [ ! -e "$dir/$f" ] || fail "the earlier copy's $f is still there"
done
same_office_files "install elsewhere"
grep -aq 'TransferInfo' "$link" || fail "the shortcut still starts the earlier copy"

# 6. The console twin from a prompt; the window program's --console for a script.
# (Each ends with status 1 after the link test, or 3 when the prefix has no tables: a status only
# a caller that waited for the program sees.)
s=0
out=$(wine cmd /c "cd /d $other_win && transfer-info --console link-test" </dev/null 2>&1 |
  tr -d '\r') || s=$?
[[ $out == *"No appraisal program answered"* && ($s = 1 || $s = 3) ]] || fail "cmd /c: ($s) $out"
s=0
out=$(wine "$other_win\\transfer-info.exe" --console link-test </dev/null 2>&1 | tr -d '\r') ||
  s=$?
[[ $out == *"No appraisal program answered"* && ($s = 1 || $s = 3) ]] ||
  fail "the .exe's --console: ($s) $out"

# 7. The entry's silent uninstall.
quiet=$(entry QuietUninstallString)
[ "$quiet" = "\"$other_win\\uninstall.exe\" /S" ] || fail "QuietUninstallString is '$quiet'"
[ "$(status_of "$other_win\\uninstall.exe" /S)" = 0 ] || fail "the silent uninstall failed"
# The uninstaller goes on from a copy of itself in the temporary directory.
for _ in $(seq 1 100); do
  [ -e "$other/uninstall.exe" ] || [ -e "$other/transfer-info.exe" ] || break
  sleep 0.2
done
[ ! -e "$other" ] || fail "the uninstall left $other_win: $(ls "$other")"
[ ! -e "$link" ] || fail "the shortcut is still there"
[ -z "$(entry InstallLocation)" ] || fail "the Add/Remove entry is still there"
same_office_files "uninstall"
echo "installer: earlier build, upgrade while running, refusals (3, 4), move, console twin," \
  "silent uninstall"
