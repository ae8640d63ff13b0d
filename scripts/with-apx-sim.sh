#!/usr/bin/env bash
# Runs a command while the stand-in appraisal program serves a report:
#   bash scripts/with-apx-sim.sh REPORT.json LOG -- COMMAND [ARGS...]
# apx-sim (from $bin, default build/release) logs what it receives to LOG ("" for none). Without
# a session bus the whole runs under a private one (dbus-run-session). The command's exit status
# is returned; apx-sim is stopped afterwards.
set -euo pipefail
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
  exec dbus-run-session -- bash "$0" "$@"
fi
report=$1 log=$2
shift 3
bin=${bin:-build/release}
sim_args=()
[ -n "$log" ] && sim_args+=(--log "$log")
"$bin/tools/apx-sim/apx-sim" "${sim_args[@]}" "$report" &
sim=$!
for _ in $(seq 100); do
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:dde.APX 2>/dev/null | grep -q true && break
  sleep 0.05
done
status=0
"$@" || status=$?
kill "$sim" 2>/dev/null || true
wait "$sim" 2>/dev/null || true
exit "$status"
