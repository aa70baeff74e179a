#!/usr/bin/env bash
# Runs one Windows program of the build from the current folder, the way the tests run them: with
# the Wine that install-wine.sh set up for the build (see wine.sh), its prefix and its server.
# The program's standard input, output and error are its own; the exit status is the program's.
# Usage: scripts/run-windows.sh i686|x86_64 PROGRAM [ARGS...]
# MAROVEX_WINE names the build's Wine folder when it is not build-windows/wine of the source tree.
set -euo pipefail

wine_who=run-windows
# shellcheck source=scripts/wine.sh
source "$(dirname "$0")/wine.sh"
[ $# -ge 2 ] || wine_fail "usage: $0 i686|x86_64 PROGRAM [ARGS...]"
wine_arch_ok "$1"
wine_require "$1"

if wine_inside; then
  wine_exec "$@"
fi
# A run of its own: the Wine of the route made ready for this one program.
wine_enter wine_serve "$1" "$wine_project/scripts/run-windows.sh" "$@"
