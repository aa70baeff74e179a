#!/usr/bin/env bash
# Runs every call of the library once against the lane-server simulator on loopback: starts
# lanesim on a free port, writes a two-lane configuration into demo-run/, runs mvcall there and
# shows the day's log file. Usage: scripts/demo.sh [BUILD_DIR]
# For a Windows build: DEMO_RUNNER (the program that runs them, e.g. wine), DEMO_EXE_SUFFIX (.exe)
# and DEMO_RUN_DIR (instead of demo-run/ in the source tree).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$root" && cd "${1:-build}" && pwd)"
bin="$build/bin"
run="${DEMO_RUN_DIR:-$root/demo-run}"
runner=(${DEMO_RUNNER:-})

source "$root/scripts/demo-lanes.sh"
lanesim_runner=("${runner[@]}")
exe_suffix="${DEMO_EXE_SUFFIX:-}"
prepare_run demo "$bin" "$run" lanesim mvcall

start_simulator "$bin" "$run" || { echo "demo: the simulator did not start" >&2; exit 1; }
port="$lanesim_port"
echo "demo: lane-server simulator on 127.0.0.1:$port (pid $lanesim_pid)"

write_demo_config "$run" "$port"
echo "demo: configuration $run/EtcConfig/Marovex.ini"
echo

status=0
run_demo_calls "$bin" "$run" || status=$?

echo
echo "demo: outputs longer than mvcall's $demo_buffer-byte buffer (Init's among them) return 5 and come" \
  "through GetResponse; every packet is traced in $run/lanesim.out"
echo
log="$(ls -1t "$run"/MvClientLog/Marovex_*.log 2>/dev/null | head -n1 || true)"
if [[ -n "$log" ]]; then
  echo "demo: the day's log file, $log"
  cat "$log"
else
  echo "demo: no log file was written" >&2
  status=1
fi

lanesim_stop
echo
if [[ $status -eq 0 ]]; then
  echo "demo: all ${#demo_calls[@]} calls returned 0"
else
  echo "demo: FAILED (mvcall exit status $status)" >&2
  exit 1
fi
