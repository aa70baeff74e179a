#!/usr/bin/env bash
# Runs the C example lane_call.exe, which loads Marovex.dll from its own folder by name, against
# lanesim.exe in a folder holding the example configuration as shipped (its port pointed at the
# simulator), and checks what it printed.
# Usage: lane-call.sh BIN_DIR WORK_DIR [RUNNER...]
set -euo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
bin="${1:?usage: $0 BIN_DIR WORK_DIR [RUNNER...]}"
work="${2:?usage: $0 BIN_DIR WORK_DIR [RUNNER...]}"
shift 2

rm -rf "$work"
mkdir -p "$work/EtcConfig"
# shellcheck source=scripts/lanesim.sh
source "$root/scripts/lanesim.sh"
trap lanesim_stop EXIT
lanesim_runner=("$@")
lanesim_start "$bin/lanesim.exe" "$work/lanesim.out" || exit 1
sed "s/^Port=.*/Port=$lanesim_port/" "$root/config/Marovex.ini.example" \
  >"$work/EtcConfig/Marovex.ini"

status=0
output="$(cd "$work" && "$@" "$bin/lane_call.exe" 2>&1)" || status=$?
echo "$output"

failures=0
for expected in "Init: result 0" "ReaderRead: result 0" \
  "ETCStatusQuery: result 5 with a 16-byte buffer" \
  "GetResponse: the ETCStatusQuery result is 0" "lane_call: all steps succeeded"; do
  if ! grep -qF "$expected" <<<"$output"; then
    echo "FAILED: no line with \"$expected\""
    failures=$((failures + 1))
  fi
done
[ "$status" -eq 0 ] || { echo "FAILED: lane_call exited with $status"; failures=$((failures + 1)); }
[ "$failures" -eq 0 ]
