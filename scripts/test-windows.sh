#!/usr/bin/env bash
# Runs the tests of a Windows build under Wine with CTest: a private Wine prefix and server below
# the build folder, started before the tests and stopped after them (Wine's background processes
# would otherwise keep CTest's output open).
# Usage: scripts/test-windows.sh BUILD_DIR i686|x86_64
# A 32-bit build needs a host that runs 32-bit programs (Wine's 32-bit loader is one); where it
# cannot start, only the build's checks on the build host run, and one line says so.
set -euo pipefail

build="$(cd "${1:?usage: $0 BUILD_DIR i686|x86_64}" && pwd)"
target="${2:?usage: $0 BUILD_DIR i686|x86_64}"
jobs="${JOBS:-2}"
wine_dir=/usr/lib/wine
test_timeout_s=600

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX="$build/wineprefix"
ctest_args=(--test-dir "$build" --timeout "$test_timeout_s" --output-on-failure -j"$jobs")

# Why Wine's 32-bit loader cannot run here, or nothing when it can.
wine32_missing() {
  local why
  if [ ! -x "$wine_dir/wine" ]; then
    echo "Wine's 32-bit loader $wine_dir/wine is not installed"
  elif ! why="$("$wine_dir/wine" --version 2>&1)"; then
    echo "this host does not run 32-bit programs ($wine_dir/wine: ${why##*: })"
  fi
}

if [ "$target" = x86_64 ]; then
  export WINEARCH=win64 WINELOADER="$wine_dir/wine64"
else
  missing="$(wine32_missing)"
  if [ -n "$missing" ]; then
    status=0
    ctest "${ctest_args[@]}" -L host || status=$?
    echo "test-windows: i686 run-time tests (loader test, mvcall demo, C example) SKIPPED:" \
      "$missing; only the DLL's static checks ran for i686, the x86_64 build runs the rest."
    exit "$status"
  fi
  export WINEARCH=win32 WINELOADER="$wine_dir/wine"
fi

wineserver="$wine_dir/wineserver64"
[ -x "$wineserver" ] || wineserver="$wine_dir/wineserver32"
stop_wine() { "$wineserver" -k 2>/dev/null || true; }
trap stop_wine EXIT
mkdir -p "$WINEPREFIX"
# Fails when a server of this prefix runs already (a test run cut short); that one serves too.
"$wineserver" -p 30 </dev/null >/dev/null 2>&1 || true
"$WINELOADER" wineboot >/dev/null 2>&1 || true

ctest "${ctest_args[@]}"
