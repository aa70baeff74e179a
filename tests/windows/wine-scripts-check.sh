#!/usr/bin/env bash
# Checks the helpers of the Windows run that decide what a Wine root is made from and what a run
# may touch (scripts/wine.sh).
# Usage: wine-scripts-check.sh
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
scripts="$here/../../scripts"
fixtures="$here/fixtures"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

failures=0
expect_eq() { # WHAT EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then
    echo "ok: $1"
  else
    echo "FAILED: $1: expected '$2', got '$3'"
    failures=$((failures + 1))
  fi
}

# shellcheck source=scripts/wine.sh
source "$scripts/wine.sh"

# ---- The mirror a root is made from: the main archive, never its security or update suites.
expect_eq "one mirror from deb822 sources (security, source-only and disabled entries skipped)" \
  http://mirror.example.org/debian "$(wine_debian_mirror "$fixtures/apt-deb822")"
expect_eq "one mirror from one-line sources (options in brackets skipped)" \
  http://mirror.example.org/debian "$(wine_debian_mirror "$fixtures/apt-one-line")"
expect_eq "no mirror from a folder without sources" "" "$(wine_debian_mirror "$work")"

# ---- What a run shows inside the root: each folder once, and never a folder of the system.
binds() { # PROJECT WINE_DIR PWD
  (wine_project="$1" wine_dir="$2" && cd "$3" && wine_binds 2>&1 | tr '\n' ' ') || true
}
mkdir -p "$work/project/build-windows/wine" "$work/project/build-windows/bin" "$work/elsewhere/wine" \
  "$work/cwd"
expect_eq "a build tree inside the source tree is shown with it" "$work/project " \
  "$(binds "$work/project" "$work/project/build-windows/wine" "$work/project/build-windows/bin")"
expect_eq "a build tree and a current folder outside the source tree are shown too" \
  "$work/project $work/elsewhere $work/cwd " "$(binds "$work/project" "$work/elsewhere/wine" "$work/cwd")"
expect_eq "a run from the system's own folders is refused" \
  "wine: cannot show /usr inside the Wine root; run from a folder of your own " \
  "$(binds "$work/project" "$work/project/build-windows/wine" /usr)"

# ---- A half-made root is removed, but never through something mounted below it.
mkdir -p "$work/half/inside/mounted"
: >"$work/half/inside/file"
status=0
unshare --user --map-root-user --mount -- bash -c \
  'source "$0"; mount -t tmpfs tmpfs "$1/inside/mounted" && : >"$1/inside/mounted/kept" && wine_discard "$1"' \
  "$scripts/wine.sh" "$work/half" >/dev/null 2>&1 || status=$?
expect_eq "a folder with a mount below it is left as it is" "1 yes" \
  "$status $([ -e "$work/half/inside/file" ] && echo yes || echo no)"
(wine_discard "$work/half")
expect_eq "a folder without mounts below it is removed" no "$([ -e "$work/half" ] && echo yes || echo no)"

[ "$failures" -eq 0 ]
