#!/usr/bin/env bash
# Runs each fuzz target of a fuzz build for a number of seconds on a copy of its seed corpus.
# Exits non-zero when any target reports a finding (crash, sanitizer report, leak, time-out).
# usage: run-fuzz.sh BUILD_DIR SECONDS TARGET...
set -uo pipefail
build=$1 seconds=$2
shift 2
root="$(cd "$(dirname "$0")/.." && pwd)"
failed=()
for target in "$@"; do
  work="$build/fuzz-run/$target"
  rm -rf "$work" && mkdir -p "$work/corpus" "$work/findings"
  # The repository's seeds stay as they are; what the run finds goes to the work corpus.
  "$build/bin/$target" "$work/corpus" "$root/fuzz/corpus/$target" \
    -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$work/findings/" >"$work/log.txt" 2>&1
  status=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/log.txt" | grep -o '[0-9]*$' || true)
  if [ $status -ne 0 ] || [ -n "$(ls -A "$work/findings")" ]; then
    failed+=("$target")
    echo "$target: FINDING after ${runs:-?} runs (exit $status); log: $work/log.txt"
    grep -m1 -E 'ERROR: |runtime error|SUMMARY' "$work/log.txt" || true
    ls "$work/findings"
  else
    echo "$target: ${runs:-?} runs in ${seconds} s, no finding"
  fi
done
echo "fuzz: $(( $# - ${#failed[@]} )) passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
