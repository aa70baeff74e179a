#!/usr/bin/env bash
# Checks the DLL as a lane application sees it: the PE format of the target, exactly the fourteen
# exports by their plain names, only system DLLs imported and, on 32-bit x86, every export
# realigning the stack on entry.
# Usage: check-dll.sh OBJDUMP DLL PROCESSOR
set -euo pipefail
objdump="$1" dll="$2" processor="$3"

failures=0
pass() { echo "ok: $*"; }
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

headers="$("$objdump" -p "$dll")"
expected_format=pei-x86-64
[ "$processor" = i686 ] && expected_format=pei-i386
format="$(sed -n 's/.*file format \(.*\)$/\1/p' <<<"$headers" | head -n1)"
[ "$format" = "$expected_format" ] && pass "format $format" || fail "format $format, $expected_format expected"

# The name table's entries: "[   3] Init" (binutils 2.40) or "[   3] +base[   4]  0003 Init" (2.44,
# after a heading line): the name is the last field of each entry.
exports="$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" |
  awk '/^[[:space:]]*\[ *[0-9]+\]/ { print $NF }' | sort)"
wanted="$(printf '%s\n' BlackListQuery ETCStatusQuery GetResponse Init ListQuery ListUpLoad \
  QueryTransDetail RSURead RSUWrite ReaderRead ReaderWrite SendNonCashPay StopNonCashPay Uninit)"
if [ "$exports" = "$wanted" ]; then
  pass "exactly the fourteen exports, undecorated"
else
  fail "exports differ from the fourteen:"
  diff <(echo "$wanted") <(echo "$exports") || true
fi

# DLLs every Windows installation has; nothing of the compiler's runtime or of jsoncpp.
system_dlls='^(KERNEL32|msvcrt|WS2_32|ADVAPI32|USER32|ntdll|bcrypt|api-ms-win-[a-z0-9-]+)\.dll$'
imports="$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")"
bad="$(grep -Eiv "$system_dlls" <<<"$imports" || true)"
[ -z "$bad" ] && pass "imports only system DLLs: $(echo $imports)" || fail "imports non-system DLLs: $(echo $bad)"

if [ "$processor" = i686 ]; then
  code="$("$objdump" -d --no-show-raw-insn "$dll")"
  for name in $wanted; do
    # The first instructions of the export: the realignment comes before any use of the stack.
    prologue="$(awk -v sym="<_${name}@" 'index($0, sym) && /:$/ {f = 1; n = 0; next} f && n < 8 {print; n++} f && n >= 8 {exit}' <<<"$code")"
    if grep -q 'and *$0xfffffff0,%esp' <<<"$prologue"; then
      pass "$name realigns the stack on entry"
    else
      fail "$name does not realign the stack on entry"
    fi
  done
fi

[ "$failures" -eq 0 ]
