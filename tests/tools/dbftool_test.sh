#!/bin/bash
# dbftool's commands on a copy of the fixture tables: each case is a command line, the status it
# must end with and a text its output must hold.
set -u
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$2"/*.DBF "$2"/*.CDX "$2"/*.FPT "$dir"/
fails=0
run() {  # STATUS TEXT ARGS...
  local want=$1 text=$2
  shift 2
  out=$("$tool" "$@" 2>&1)
  status=$?
  if [[ $status != "$want" || $out != *"$text"* ]]; then
    echo "FAIL: dbftool $* -> status $status, wanted $want and \"$text\"; output:"
    echo "${out:0:300}"
    fails=$((fails + 1))
  fi
}
t=$dir/PROPERTY.DBF
run 0 "dbftool 5.1.2" --version
run 0 '"PR_NOTES": "Comps pulled from FMLS. Seller concessions 3%."}' dump "$t"
run 0 "" set "$t" 2 "PR_SECTION=  B"
run 0 '"PR_SECTION": "  B"' dump "$t"
# --sync: the write goes through PROPERTY.WAL, which it lets go of; without it there is none.
[[ ! -e $dir/PROPERTY.WAL ]] || { echo "FAIL: a write without --sync made PROPERTY.WAL"; fails=$((fails + 1)); }
run 0 "" set --sync "$t" 2 "PR_SECTION=  C"
run 0 '"PR_SECTION": "  C"' dump "$t"
[[ -f $dir/PROPERTY.WAL && $(head -c 7 "$dir/PROPERTY.WAL") != XFRWAL1 ]] || { echo "FAIL: --sync left PROPERTY.WAL missing or holding the write"; fails=$((fails + 1)); }
run 0 '{"_recno": 1, "_deleted": false, "FILE_NUM": "24-00101"' seek "$t" FILE_NUM 24-00101
run 0 "" set "$t" 3 FILE_NUM=X7
run 0 '{"_recno": 3, "_deleted": false, "FILE_NUM": "X7", ' seek "$t" FILE_NUM X7
run 1 "" seek "$t" FILE_NUM 24-00103
# A value too long or outside the code page is refused with nothing written, unless --truncate.
sum=$(cat "$dir"/* | md5sum)
run 1 "the field holds 2; nothing written" set "$t" 1 PR_STATE=GAX
run 1 "code page 1252 cannot hold" append "$t" FILE_NUM=Z1 PR_OWNER=Łukasz
[[ $(cat "$dir"/* | md5sum) == "$sum" ]] || { echo "FAIL: a refused value was written"; fails=$((fails + 1)); }
run 0 "" set --truncate "$t" 1 PR_STATE=GAX PR_OWNER=Łukasz
run 0 '"PR_OWNER": "?ukasz", ' seek "$t" FILE_NUM 24-00101
run 0 "" delete "$t" 1
run 1 "" seek "$t" FILE_NUM 24-00101
run 0 '{"_recno": 1, "_deleted": true, ' dump "$t"
run 0 "" recall "$t" 1
run 0 '{"_recno": 1, "_deleted": false, ' seek "$t" FILE_NUM 24-00101
run 0 "2 tags rebuilt from 40 records" reindex "$t"
run 0 "ALL CONSISTENT" check "$dir"
run 0 "ALL CONSISTENT (1 tables)" check "$t"
mv "$dir/PROPERTY.CDX" "$dir/P.CDX"
run 1 "note: reindex rebuilds an index that exists" reindex "$t"
mv "$dir/P.CDX" "$dir/PROPERTY.CDX"
# A memo file cut short: the memo is marked damaged, the dump goes on.
truncate -s 512 "$dir/PROPERTY.FPT"
run 0 '"PR_NOTES": {"damaged memo": "block 8 lies outside' dump "$t"
# The transfer journal: a write listed with its changed fields, only the last transfers with
# --last, one without its after line marked (and noted by check), a line cut short at the end
# or holding NULs left out with a note, a damaged line refused.
line='{"time":"T","workstation":"PC","user":"ann","transfer":"t%s","command":"read","file_num":"A%s","table":"PROPERTY.DBF","record":7,"stage":"%s","deleted":false,%s"after":{"PR_CITY":"%s"}}\n'
printf "$line$line" 1 1 before '"before":{"PR_CITY":"Decatur"},' Atlanta 1 1 after "" Atlanta >"$dir/TRANSFER.LOG"
run 0 $'PROPERTY.DBF record 7  updated\n    PR_CITY: "Decatur" -> "Atlanta"' journal "$dir"
printf "$line" 2 2 before '"before":null,' Avondale >>"$dir/TRANSFER.LOG"
run 0 $'T  read of file A2  workstation PC  user ann\n  PROPERTY.DBF record 7  added  (not completed)\n    PR_CITY: "" -> "Avondale"' journal --last 1 "$dir"
[[ $out != *A1* ]] || { echo "FAIL: journal --last 1 listed an older transfer"; fails=$((fails + 1)); }
run 1 "NOTE The last read of file A2 (made T on PC) did not finish: it stopped at record 7 of PROPERTY.DBF, as when the power goes off or the computer stops. The tables are consistent, but they hold only part of what the read wrote. Undo last read (transfer-info undo A2) puts back what it wrote" check "$dir"
printf '{"time":' >>"$dir/TRANSFER.LOG"
run 0 $'added  (not completed)\n    PR_CITY: "" -> "Avondale"\nnote: line 4 was cut short' journal "$dir"
# What a power cut kept of an append: a sector of it, and NULs where the one before it was.
printf '\0\0"stage":"after"}\n' >>"$dir/TRANSFER.LOG"
run 0 "note: line 4 was cut short by a power loss (left out)" journal "$dir"
printf '{}\n' >>"$dir/TRANSFER.LOG"
run 1 "TRANSFER.LOG is damaged: line 5: " journal "$dir"
# Rolled, the damaged line is named in the copy that holds it.
mv "$dir/TRANSFER.LOG" "$dir/TRANSFER.LOG.1"
printf "$line" 3 3 after "" Avondale >"$dir/TRANSFER.LOG"
run 1 "line 5 of TRANSFER.LOG.1" journal "$dir"
exit $((fails > 0))
