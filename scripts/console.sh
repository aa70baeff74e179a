#!/usr/bin/env bash
# Opens the test console mvclient against the lane-server simulator on loopback, with the demo's
# two-lane configuration in console-run/. The simulator's plate is a Chinese one, sent in GBK as a
# lane server does. Usage: scripts/console.sh [BUILD_DIR]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$root" && cd "${1:-build}" && pwd)"
bin="$build/bin"
run="$root/console-run"

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  cat >&2 <<'TEXT'
console: there is no display (neither DISPLAY nor WAYLAND_DISPLAY is set), and mvclient opens a
window. Run it on a desktop session, or in a virtual X display:  xvfb-run -a make console
TEXT
  exit 1
fi
source "$root/scripts/demo-lanes.sh"
prepare_run console "$bin" "$run" lanesim mvclient

# 粤A12345 in GBK.
printf '{"Plate":"\xd4\xc1A12345"}\n' >"$run/scenario.json"
start_simulator "$bin" "$run" --scenario "$run/scenario.json" ||
  { echo "console: the simulator did not start" >&2; exit 1; }
write_demo_config "$run" "$lanesim_port"

cat <<TEXT
console: lane-server simulator on 127.0.0.1:$lanesim_port (log $run/lanesim.out)
console: configuration $run/EtcConfig/Marovex.ini (lanes 1 and 2), library log in $run/MvClientLog
console: click Init, then Read on the Reader or RSU page; close the window to end
TEXT
(cd "$run" && "$bin/mvclient")
