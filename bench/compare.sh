#!/usr/bin/env bash
# Runs the benchmark for a baseline commit and for the current tree, one after the other, with this
# tree's bench/ programs in both, and prints the two summaries side by side. The baseline is
# unpacked and built in a fresh folder that is removed at the end, so nothing of an earlier run is
# reused. Usage: bench/compare.sh [BASE_COMMIT]   (default e759a65; BENCH_QUICK=1 for a short run)
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
tree="$(cd "$here/.." && pwd)"
base_commit="${1:-e759a65}"
base="$(mktemp -d "${TMPDIR:-/tmp}/marovex-bench-base.XXXXXX")"
trap 'rm -rf "$base"' EXIT

git -C "$tree" archive "$base_commit" | tar -x -C "$base"
rm -rf "$base/bench"
cp -r "$here" "$base/bench"

echo "######## baseline $base_commit"
BENCH_MAX_INSTRUCTIONS=0 "$here/run.sh" "$base" "$base/build-bench" | tee "$base/bench-before.txt"
echo "######## current tree"
"$here/run.sh" "$tree" "$tree/build-bench" | tee "$base/bench-after.txt"

echo "######## before / after"
summary() { sed -n '/^== summary/,$p' "$1" | grep -v '^=='; }
printf '%-30s %14s %14s\n' figure before after
awk -F= 'NR == FNR { after[$1] = $2; next } { printf "%-30s %14s %14s\n", $1, $2, after[$1] }' \
  <(summary "$base/bench-after.txt") <(summary "$base/bench-before.txt")
