#!/usr/bin/env bash
# Builds the libFuzzer harnesses (fuzz/) with clang in build-fuzz and runs each one, one after
# the other, on a copy of its seed corpus (build-fuzz/fuzz-work/NAME; fuzz/corpus is only read).
# Prints each harness's executions, time and result; exits non-zero when any harness found a
# crash, a leak, a time-out or a sanitizer report (its input and log stay in the work directory).
# The same lines, tab-separated, go to build-fuzz/fuzz-work/summary.tsv.
#
# Usage: scripts/fuzz.sh [--runs N] [SECONDS_PER_HARNESS] [HARNESS...]
#   SECONDS_PER_HARNESS  -max_total_time for each harness (default 60; with --runs, no limit
#                        unless given)
#   --runs N             stop each harness after N executions (-runs=N)
#   HARNESS              fuzz_console, fuzz_sysrof, ... (default: all of them)
set -euo pipefail
cd "$(dirname "$0")/.."

all=(fuzz_console fuzz_sysrof fuzz_mapfile fuzz_expr fuzz_disasm fuzz_h8sim fuzz_objfile)
runs=""
seconds=""
harnesses=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs)
      [ $# -ge 2 ] || { echo "fuzz.sh: --runs needs a count" >&2; exit 2; }
      runs=$2
      shift 2
      ;;
    --runs=*)
      runs=${1#--runs=}
      shift
      ;;
    -h | --help)
      sed -n '2,12p' "$0"
      exit 0
      ;;
    *)
      if [[ "$1" =~ ^[0-9]+$ ]] && [ -z "$seconds" ] && [ ${#harnesses[@]} -eq 0 ]; then
        seconds=$1
      elif [[ " ${all[*]} " == *" $1 "* ]]; then
        harnesses+=("$1")
      else
        echo "fuzz.sh: unknown harness or argument '$1' (harnesses: ${all[*]})" >&2
        exit 2
      fi
      shift
      ;;
  esac
done
[ -z "$seconds" ] && [ -z "$runs" ] && seconds=60
[ ${#harnesses[@]} -eq 0 ] && harnesses=("${all[@]}")

scripts/deps.sh test

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DH8_FUZZ=ON -DH8_TESTS=OFF >/dev/null
# Two jobs at most: the harnesses are built on small shared machines.
nice cmake --build "$build" -j2 --target fuzzers >/dev/null

export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

failed=0
summary=()
mkdir -p "$build/fuzz-work"
tsv=$build/fuzz-work/summary.tsv
printf 'harness\truns\tseconds\truns_per_second\tcorpus_files\tcorpus_bytes\tresult\n' >"$tsv"
for h in "${harnesses[@]}"; do
  work=$build/fuzz-work/$h
  rm -rf "$work"
  mkdir -p "$work/corpus"
  cp -R "fuzz/corpus/$h/." "$work/corpus/"
  args=(-rss_limit_mb=2048 -timeout=10 -artifact_prefix="$work/" -print_final_stats=1)
  [ -n "$seconds" ] && args+=(-max_total_time="$seconds")
  [ -n "$runs" ] && args+=(-runs="$runs")
  [ -f "fuzz/dict/$h.dict" ] && args+=(-dict="fuzz/dict/$h.dict")
  echo "== $h: ${seconds:+${seconds}s }${runs:+$runs runs}"
  start=$(date +%s.%N)
  status=0
  nice "$build/fuzz/$h" "${args[@]}" "$work/corpus" >"$work/log" 2>&1 || status=$?
  wall=$(echo "$start $(date +%s.%N)" | awk '{printf "%.0f", $2 - $1}')

  # libFuzzer's closing lines: "Done N runs in S second(s)" and the stat_* of
  # -print_final_stats; after a failure, the last "#N ..." status line tells the count.
  execs=$(sed -n 's/^Done \([0-9]*\) runs in .*/\1/p' "$work/log" | tail -1)
  [ -z "$execs" ] && execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)
  [ -z "$execs" ] && execs=$(sed -n 's/^#\([0-9][0-9]*\)[[:space:]].*/\1/p' "$work/log" | tail -1)
  execs=${execs:-0}
  rate=$(awk -v n="$execs" -v t="$wall" 'BEGIN { printf "%d", (t > 0 ? n / t : n) }')
  files=$(find "$work/corpus" -type f | wc -l)
  bytes=$(find "$work/corpus" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')

  # The first pattern the log shows names the result; a failing exit without one is a crash.
  result=ok
  while IFS=$'\t' read -r pattern name; do
    if grep -qE "$pattern" "$work/log"; then
      result=$name
      break
    fi
  done < <(printf '%s\t%s\n' \
    "libFuzzer: run interrupted" "INTERRUPTED (a signal from outside)" \
    "ERROR: LeakSanitizer" "LEAK" \
    "ERROR: libFuzzer: timeout" "TIMEOUT" \
    "out-of-memory" "OUT OF MEMORY" \
    "runtime error:" "UNDEFINED BEHAVIOUR" \
    "ERROR: AddressSanitizer" "ADDRESS ERROR" \
    "ERROR: libFuzzer|deadly signal|SUMMARY: " "CRASH")
  if [ "$result" = CRASH ] || { [ "$result" = ok ] && [ "$status" -ne 0 ]; }; then
    result="CRASH (exit $status)"
  fi
  if [ "$result" != ok ]; then
    failed=1
    artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$work/log" | tail -1)
    echo "   $result: log $work/log${artifact:+, input $artifact}"
    grep -m1 -E "SUMMARY|ERROR:|runtime error" "$work/log" | sed 's/^/   /' || true
  fi
  line=$(printf '%-13s %12s runs %6ss %8s/s  corpus %5s files %8s bytes  %s' \
    "$h" "$execs" "$wall" "$rate" "$files" "$bytes" "$result")
  echo "$line"
  summary+=("$line")
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$h" "$execs" "$wall" "$rate" "$files" "$bytes" "$result" >>"$tsv"
done

echo
echo "== fuzzing summary"
printf '%s\n' "${summary[@]}"
exit $failed
