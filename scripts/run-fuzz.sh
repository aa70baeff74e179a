#!/usr/bin/env bash
# Runs each fuzz target of a fuzz build for a number of seconds on a copy of its seed corpus.
# Exits non-zero when any target reports a finding (crash, sanitizer report, leak, time-out) or
# does not end in time.
# usage: run-fuzz.sh BUILD_DIR SECONDS TARGET...
set -euo pipefail
if [ $# -lt 3 ]; then
  echo "usage: run-fuzz.sh BUILD_DIR SECONDS TARGET..." >&2
  exit 2
fi
build="$(cd "$1" && pwd)" seconds=$2
shift 2
root="$(cd "$(dirname "$0")/.." && pwd)"
# libFuzzer's own limit for one input; a run may go on that long after its total time is up.
input_timeout=60
# Past this a target is stopped: its time, one slow last input and a margin for its final stats.
deadline=$((seconds + input_timeout + 60))
failed=()
for target in "$@"; do
  work="$build/fuzz-run/$target"
  rm -rf "$work" && mkdir -p "$work/corpus" "$work/findings" "$work/tmp"
  # The repository's seeds stay as they are; what the run finds goes to the work corpus, and
  # anything a target leaves in its temporary folder stays in the work folder.
  status=0
  TMPDIR="$work/tmp" timeout --kill-after=10 "$deadline" \
    "$build/bin/$target" "$work/corpus" "$root/fuzz/corpus/$target" \
    -max_total_time="$seconds" -timeout="$input_timeout" -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$work/findings/" >"$work/log.txt" 2>&1 || status=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/log.txt" | grep -o '[0-9]*$' || true)
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    failed+=("$target")
    echo "$target: did not end within $deadline s (exit $status); log: $work/log.txt"
  elif [ "$status" -ne 0 ] || [ -n "$(ls -A "$work/findings")" ]; then
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
