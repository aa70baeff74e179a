#!/usr/bin/env bash
# Runs the tests of a Windows build with CTest, every Windows program through run-windows.sh: one
# Wine session for the whole run (see wine.sh), its server started before the tests and stopped
# after them. Prints first which Wine runs the programs.
# Usage: scripts/test-windows.sh BUILD_DIR i686|x86_64
set -euo pipefail

wine_who=test-windows
# shellcheck source=scripts/wine.sh
source "$(dirname "$0")/wine.sh"
build="$(cd "${1:?usage: $0 BUILD_DIR i686|x86_64}" && pwd)"
target="${2:?usage: $0 BUILD_DIR i686|x86_64}"
wine_arch_ok "$target"
wine_require "$target"
jobs="${JOBS:-2}"
test_timeout_s=600

if ! wine_inside; then
  echo "test-windows: $target programs run by $(wine_describe "$target")"
  cd "$build"
  wine_enter wine_serve "$target" "$wine_project/scripts/test-windows.sh" "$build" "$target"
  exit
fi

status=0
ctest --test-dir "$build" --timeout "$test_timeout_s" --output-on-failure -j"$jobs" || status=$?
# How many cases each test program passed, from the output CTest kept.
awk '/^[0-9]+\/[0-9]+ Test: / { name = $3 }
     /^\[  PASSED  \] [0-9]+ test/ { printf "%s%s %d", sep, name, $4; sep = ", " }
     END { if (sep != "") print "" }' "$build/Testing/Temporary/LastTest.log" |
  sed "s/^/test-windows: $target cases passed: /"
exit "$status"
