#!/usr/bin/env bash
# Runs the tests of a Windows build under Wine with CTest: a private Wine prefix and server below
# the build folder, started before the tests and stopped after them (Wine's background processes
# would otherwise keep CTest's output open).
# Usage: scripts/test-windows.sh BUILD_DIR i686|x86_64
# A 32-bit build needs a host that runs 32-bit programs (Wine's 32-bit loader); where the kernel
# refuses them, only its checks on the build host run, and the notice says so.
set -euo pipefail

build="$(cd "${1:?usage: $0 BUILD_DIR i686|x86_64}" && pwd)"
target="${2:?usage: $0 BUILD_DIR i686|x86_64}"
jobs="${JOBS:-2}"
wine_dir=/usr/lib/wine
test_timeout_s=600

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX="$build/wineprefix"
ctest_args=(--test-dir "$build" --timeout "$test_timeout_s" --output-on-failure -j"$jobs")

if [ "$target" = x86_64 ]; then
  export WINEARCH=win64 WINELOADER="$wine_dir/wine64"
elif "$wine_dir/wine" --version >/dev/null 2>&1; then
  export WINEARCH=win32 WINELOADER="$wine_dir/wine"
else
  echo "test-windows: this host does not run 32-bit programs, so Wine cannot run the 32-bit build;"
  echo "test-windows: its Wine tests are left out here (the 64-bit build runs them)."
  ctest "${ctest_args[@]}" -L host
  exit
fi

wineserver="$wine_dir/wineserver64"
[ -x "$wineserver" ] || wineserver="$wine_dir/wineserver32"
stop_wine() { "$wineserver" -k 2>/dev/null || true; }
trap stop_wine EXIT
mkdir -p "$WINEPREFIX"
"$wineserver" -p 30
"$WINELOADER" wineboot >/dev/null 2>&1 || true

ctest "${ctest_args[@]}"
