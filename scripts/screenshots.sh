#!/usr/bin/env bash
# Renders the four pages of the test console into docs/ as PNG files, in a virtual X display
# (Xvfb): the pages are filled by real calls against the lane-server simulator.
# Usage: scripts/screenshots.sh [BUILD_DIR]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$root" && cd "${1:-build}" && pwd)"
program="$build/bin/console_screenshots"

if [[ ! -x "$program" ]]; then
  echo "screenshots: $program is missing; build first (make screenshots does)" >&2
  exit 1
fi

# A real X display of its own, and Qt's software renderer: Xvfb has no OpenGL.
unset QT_QPA_PLATFORM
export QT_QUICK_BACKEND=software
xvfb-run -a -s "-screen 0 1024x768x24" "$program" "$root/docs"
