#!/usr/bin/env bash
# The long fuzzing campaign: every fuzz target (or the ones named) in turn,
# one at a time, for a number of executions each (default 10 million).
#
#   bench/fuzz.sh [EXECUTIONS] [TARGET...]     e.g. nice -n 19 bench/fuzz.sh 10000000 package
#
# Builds the fuzz preset, then runs each target over its seeds in
# tests/fuzz/corpus/TARGET. Inputs the campaign finds go to
# build/fuzz/campaign/TARGET (never into the repository); a failing input is
# kept in build/fuzz/campaign/TARGET-findings/ and the run goes on until the
# executions are done. Prints one line per target:
#   fuzz: TARGET N execs, F findings
# and exits non-zero when any target had a finding. FUZZ_MAX_SECONDS, when
# set, also ends each target after that many seconds: the line then says how
# many executions fitted.
set -euo pipefail
cd "$(dirname "$0")/.."

execs="${1:-10000000}"
[ "$#" -gt 0 ] && shift
case "$execs" in ''|*[!0-9]*) echo "usage: bench/fuzz.sh [EXECUTIONS] [TARGET...]" >&2; exit 2 ;; esac

cmake --preset fuzz -G Ninja >/dev/null
cmake --build --preset fuzz -j "$(nproc)" >/dev/null

build=build/fuzz/tests/fuzz
mapfile -t known < "$build/targets.txt"   # NAME:MAX_LEN
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  for entry in "${known[@]}"; do targets+=("${entry%%:*}"); done
fi
# A finding that keeps coming back is not run into more than this often.
max_findings=20
status=0

for name in "${targets[@]}"; do
  max_len=""
  for entry in "${known[@]}"; do [ "${entry%%:*}" = "$name" ] && max_len="${entry##*:}"; done
  [ -n "$max_len" ] || { echo "fuzz: unknown target $name" >&2; exit 2; }
  work="build/fuzz/campaign/$name"
  findings_dir="$work-findings"
  log="$work.log"
  mkdir -p "$work" "$findings_dir"
  : > "$log"
  options=(-max_len="$max_len" -print_final_stats=1 -artifact_prefix="$findings_dir/")
  [ -f "tests/fuzz/$name.dict" ] && options+=(-dict="tests/fuzz/$name.dict")

  done_execs=0
  findings=0
  started=$(date +%s)
  ends=$((started + ${FUZZ_MAX_SECONDS:-31536000}))
  while [ "$done_execs" -lt "$execs" ] && [ "$findings" -lt "$max_findings" ] && [ "$(date +%s)" -lt "$ends" ]; do
    before=$(find "$findings_dir" -type f | wc -l)
    run_status=0
    "$build/${name}_fuzz" "${options[@]}" -runs=$((execs - done_execs)) -max_total_time=$((ends - $(date +%s))) \
      "$work" "tests/fuzz/corpus/$name" \
      >>"$log" 2>&1 || run_status=$?
    ran=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | tail -n 1 | awk '{print $2}')
    [ -n "$ran" ] || { echo "fuzz: $name printed no statistics (see $log)" >&2; exit 1; }
    # The statistics line of this run is the last one in the log; mark it
    # used so that a run that prints none can't count an older one twice.
    sed -i 's/stat::number_of_executed_units:/stat::counted_units:/' "$log"
    done_execs=$((done_execs + ran))
    after=$(find "$findings_dir" -type f | wc -l)
    findings=$((findings + after - before))
    if [ "$run_status" -ne 0 ] && [ "$after" -eq "$before" ]; then
      echo "fuzz: $name stopped (exit $run_status) without saving an input (see $log)" >&2
      findings=$((findings + 1))
      break
    fi
  done
  seconds=$(( $(date +%s) - started ))
  echo "fuzz: $name $done_execs execs, $findings findings"
  echo "fuzz-time: $name ${seconds} s ($(( done_execs / (seconds > 0 ? seconds : 1) )) execs/s), log $log"
  [ "$findings" -eq 0 ] || { status=1; echo "fuzz-findings: $findings_dir" ; }
done
exit "$status"
