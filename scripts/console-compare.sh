#!/usr/bin/env bash
# The console scenarios (scripts/console-scenarios.sh) on Windows under Wine and, when a Linux
# build is there, on Linux, compared: the tables byte for byte, the appraisal program's logs, the
# transcripts and the printed output of every scenario but the start-up (which prints the
# platform's own Windows directory).
#   bash scripts/console-compare.sh WINDOWS_BUILD OUT [LINUX_BUILD...]
# Exits 77 (skipped) after the Windows run when no Linux build has the programs.
set -euo pipefail
windows=$1 out=$2
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/console-scenarios.sh" windows "$windows" "$out/windows"
for s in startup send read show link-test undo; do
  [ "$(cat "$out/windows/$s.status")" = 0 ] || { echo "windows $s failed:"; cat "$out/windows/$s.out"; exit 1; }
done
wine "$windows/src/dbftool.exe" check "$(winepath -w "$out/windows/DATA")"
linux=""
for b in "$@"; do
  if [ -x "$b/src/transfer-info" ] && [ -x "$b/tools/apx-sim/apx-sim" ]; then linux=$b; break; fi
done
[ -n "$linux" ] || { echo "no Linux build to compare with"; exit 77; }
bash "$root/scripts/console-scenarios.sh" linux "$linux" "$out/linux"
status=0
diff -r -x TRANSFER.LOG "$out/linux/DATA" "$out/windows/DATA" || status=1
# The journal and what undo says of the read name its time and workstation: left out here.
same() { sed -E -e 's/"(time|workstation|transfer)":"[^"]*"/"\1":""/g' -e 's/ \(made [^)]*\)//' "$1"; }
for f in send.apx.log read.apx.log show.apx.log link-test.apx.log transcript.jsonl \
         send.out read.out show.out link-test.out undo.out DATA/TRANSFER.LOG; do
  diff -u <(same "$out/linux/$f") <(same "$out/windows/$f") || status=1
done
[ "$status" = 0 ] && echo "Linux ($linux) and Windows give the same tables, logs and output"
exit "$status"
