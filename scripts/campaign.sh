#!/usr/bin/env bash
# The concurrency campaign: 2 and then 4 read-campaign workers at once, each under its own session
# bus with its own apx-sim, each reading new jobs (property, client, invoice) into the SAME copies
# of the fixture tables. Afterwards the tables are checked: every job once with its report's
# values (tools/read-campaign/verify_campaign.py, by dbfread), every index tag consistent
# (dbftool check, and the independent checker when ../shared/tools/checktables.py is there).
#
#   bash scripts/campaign.sh                    # the long form: 2 x 2,500 and 4 x 2,500 reads
#   bash scripts/campaign.sh --reads 100        # shorter
#   bash scripts/campaign.sh --shared-clients   # also: two workers in step adding the SAME new
#                                               # clients, then the SAME new jobs: each must
#                                               # end up in the tables exactly once
#
# Then the office: --office-workers workstations (default 3) of --office-steps steps each
# (default 500; 0: none) reading new and existing jobs and undoing some of their reads, their
# writes journalled, while a stand-in for the tracking program edits and deletes records under
# FoxPro's locks; checked by verify_campaign.py --office against what each step left.
#
# Builds the release preset's read-campaign, apx-sim and dbftool first (--no-build to skip;
# --build-dir DIR to use another build). Prints the figures of each run; exits 1 when a worker
# reported an error or a check failed, 77 when python3-dbfread is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

reads=2500
counts="2 4"
build_dir=build/release
build=1
shared_clients=0
office_workers=3
office_steps=500
while [ $# -gt 0 ]; do
  case "$1" in
    --reads) reads=$2; shift 2 ;;
    --office-workers) office_workers=$2; shift 2 ;;
    --office-steps) office_steps=$2; shift 2 ;;
    --workers) counts=$2; shift 2 ;;
    --build-dir) build_dir=$2; build=0; shift 2 ;;
    --no-build) build=0; shift ;;
    --shared-clients) shared_clients=1; shift ;;
    -h|--help) sed -n '2,20p' "$0"; exit 0 ;;
    *) echo "campaign.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

if [ "$build" = 1 ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target read-campaign apx-sim dbftool -j2
fi
worker_bin=$build_dir/tools/read-campaign/read-campaign
dbftool=$build_dir/src/dbftool
checker=$root/../shared/tools/checktables.py
fixtures=$root/tests/data/foxpro
python=/usr/bin/python3
if ! $python -c 'import dbfread' 2>/dev/null; then
  echo "campaign.sh: python3-dbfread is needed (apt-get install python3-dbfread)" >&2
  exit 77
fi

failed=0
work=$(mktemp -d /tmp/xfr-campaign-XXXXXX)
trap 'rm -rf "$work"' EXIT

# run NAME WORKERS [CLIENT_PREFIXES [same]]: one campaign over fresh copies of the fixture
# tables. With "same", every worker reads worker 1's jobs; with the name "office", the office
# and the tracking program's stand-in.
run() {
  local name=$1 n=$2 prefixes=${3:-} same=${4:-}
  local dir=$work/$name
  mkdir -p "$dir/data" "$dir/run"
  for t in PROPERTY CLIENT INVOICE; do
    for ext in DBF CDX FPT; do
      if [ -f "$fixtures/$t.$ext" ]; then cp "$fixtures/$t.$ext" "$dir/data/"; fi
    done
  done
  chmod u+w "$dir/data"/*
  local pids=() w steps=$reads tracking=""
  if [ "$name" = office ]; then
    steps=$office_steps
    "$worker_bin" --tracking --data "$dir/data" --until "$dir/run/stop" \
      --log "$dir/run/tracking.log" >"$dir/run/tracking.out" 2>"$dir/run/tracking.err" &
    tracking=$!
  fi
  for w in $(seq 1 "$n"); do
    local extra=()
    if [ -n "$tracking" ]; then
      extra=(--office --workers "$n" --log "$dir/run/ws$w.log")
    elif [ -n "$prefixes" ]; then
      # Same client numbers, and every read started by both workers at once.
      mkdir -p "$dir/step"
      extra=(--client-prefix "${prefixes:$((w - 1)):1}" --lockstep-dir "$dir/step"
             --lockstep-workers "$n" --lockstep-id "$w")
    fi
    local as=$w
    if [ -n "$same" ]; then as=1; fi
    dbus-run-session -- "$worker_bin" --data "$dir/data" --worker "$as" --reads "$steps" \
      --ready "$dir/run/ready.$w" --go "$dir/run/go" "${extra[@]}" \
      >"$dir/run/out.$w" 2>"$dir/run/err.$w" &
    pids+=($!)
  done
  # Every worker has its bus, its apx-sim and its tables open before the first read starts.
  local waited=0
  while [ "$(ls "$dir/run" | grep -c '^ready\.')" -lt "$n" ]; do
    sleep 0.05
    waited=$((waited + 1))
    if [ $waited -gt 1200 ]; then
      echo "campaign.sh: the workers did not come up" >&2
      cat "$dir"/run/err.* >&2
      kill "${pids[@]}" 2>/dev/null || true
      return 1
    fi
  done
  local start end status=0
  start=$(date +%s.%N)
  touch "$dir/run/go"
  for p in "${pids[@]}"; do wait "$p" || status=1; done
  end=$(date +%s.%N)
  if [ -n "$tracking" ]; then
    touch "$dir/run/stop"
    wait "$tracking" || status=1
  fi

  echo "== $name: $n workers x $steps reads, at once, on one set of tables"
  cat "$dir"/run/out.* ${tracking:+"$dir/run/tracking.out"}
  grep -h 'first error' "$dir"/run/err.* || true
  awk -v start="$start" -v end="$end" -v n="$n" -v reads="$steps" '
    { for (i = 1; i <= NF; i++) { split($i, kv, "="); sum[kv[1]] += kv[2] } }
    END {
      wall = end - start
      printf "wall %.1f s, %d reads, %.1f reads/s together; errors %d; lock waits %d (%.0f ms)",
        wall, n * reads, n * reads / wall, sum["errors"], sum["lock_waits"], sum["lock_wait_ms"]
      if (sum["undos"]) printf "; undos %d (%d undone)", sum["undos"], sum["undone"]
      printf "\n"
    }' "$dir"/run/out.*
  local verdict=0
  if [ -n "$tracking" ]; then
    $python tools/read-campaign/verify_campaign.py --office "$fixtures" "$dir/data" "$dir/run" \
      | sed 's/^/verify: /' || verdict=1
    [ "$status" = 0 ] || verdict=1
  elif [ -n "$prefixes" ]; then
    # Workers in step on the same clients (or jobs): the reads that found the job or client
    # another worker added meanwhile are not errors, but every job and client must be there once.
    local jobs_of=$n
    if [ -n "$same" ]; then jobs_of=1; fi
    $python tools/read-campaign/verify_campaign.py "$fixtures" "$dir/data" "$jobs_of" "$reads" \
      "$prefixes" | sed 's/^/verify: /' || verdict=1
  else
    $python tools/read-campaign/verify_campaign.py "$fixtures" "$dir/data" "$n" "$reads" \
      | sed 's/^/verify: /' || verdict=1
    [ "$status" = 0 ] || verdict=1
  fi
  if "$dbftool" check "$dir/data" >"$dir/run/check" 2>&1; then
    echo "dbftool check: $(tail -1 "$dir/run/check")"
  else
    echo "dbftool check FAILED:"; cat "$dir/run/check"; verdict=1
  fi
  if [ -f "$checker" ]; then
    if $python "$checker" "$dir/data" >"$dir/run/checker" 2>&1; then
      echo "checktables.py: $(tail -1 "$dir/run/checker")"
    else
      echo "checktables.py FAILED:"; cat "$dir/run/checker"; verdict=1
    fi
  fi
  if [ "$verdict" = 0 ]; then
    echo "result: PASS"
  else
    echo "result: FAIL"
  fi
  echo
  return $verdict
}

for n in $counts; do
  run "x$n" "$n" || failed=1
done
if [ "$office_steps" -gt 0 ]; then
  run office "$office_workers" || failed=1
fi
if [ "$shared_clients" = 1 ]; then
  # Both workers add clients P0000, P0001, ..., each read started by both at the same moment;
  # then both read the same new jobs W100000, W100001, ... in step.
  run shared-clients 2 PP || failed=1
  run shared-jobs 2 PP same || failed=1
fi
exit $failed
