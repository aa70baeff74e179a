#!/usr/bin/env bash
# Runs check-dll.sh on the tables of the 32-bit DLL as both objdump versions print them (binutils
# 2.40 and 2.44, kept in fixtures/), through a stand-in objdump: each passes as printed, and each
# fails with an export missing or with a decorated name.
# Usage: check-dll-formats.sh
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
fixtures="$here/fixtures"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cat >"$work/objdump" <<'STANDIN'
#!/bin/sh
case "$1" in
  -p) cat "$OBJDUMP_HEADERS" ;;
  -d) cat "$OBJDUMP_CODE" ;;
esac
STANDIN
chmod +x "$work/objdump"
export OBJDUMP_CODE="$fixtures/objdump-d-exports.txt"

failures=0
expect() { # passes|fails WHAT HEADERS_FILE
  local want="$1" what="$2" status=0
  OBJDUMP_HEADERS="$3" "$here/check-dll.sh" "$work/objdump" Marovex.dll i686 >"$work/out" 2>&1 ||
    status=$?
  if { [ "$want" = passes ] && [ "$status" -eq 0 ]; } || { [ "$want" = fails ] && [ "$status" -ne 0 ]; }; then
    echo "ok: $what: check-dll.sh $want"
  else
    echo "FAILED: $what: check-dll.sh ended with status $status:"
    sed 's/^/  /' "$work/out"
    failures=$((failures + 1))
  fi
}

for version in 2.40 2.44; do
  headers="$fixtures/objdump-p-$version.txt"
  expect passes "binutils $version" "$headers"
  grep -v 'Uninit$' "$headers" >"$work/missing"
  expect fails "binutils $version, Uninit not exported" "$work/missing"
  sed 's/ Init$/ Init@8/' "$headers" >"$work/decorated"
  expect fails "binutils $version, Init exported as Init@8" "$work/decorated"
done
[ "$failures" -eq 0 ]
