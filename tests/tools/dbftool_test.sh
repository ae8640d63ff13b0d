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
    echo "$out"
    fails=$((fails + 1))
  fi
}
run 0 "dbftool 5.1.2" --version
exit $((fails > 0))
