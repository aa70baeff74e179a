#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when one is missing. Given
# package names, installs those instead (the fuzzing compiler, the benchmark's tools, the virtual
# display and CJK font of the test console's window, the Windows build's tools).
set -euo pipefail

# python3: the ctypes example run by the tests.
packages=(build-essential cmake pkg-config libjsoncpp-dev libgtest-dev libgmock-dev googletest
  python3)
# The test console, built and tested headless by make test.
packages+=(qtbase5-dev qtdeclarative5-dev qtdeclarative5-dev-tools qml-module-qtquick2
  qml-module-qtquick-window2 qml-module-qtquick-controls2 qml-module-qtquick-templates2
  qml-module-qtquick-layouts qml-module-qttest)
[ $# -gt 0 ] && packages=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
# Other installs may hold the dpkg lock for a while: wait for it instead of failing.
apt=("${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=900)
install() { "${apt[@]}" install -y --no-install-recommends "$@"; }

# apt's own reason for each package that cannot be installed, from a dry run of that one alone.
name_what_cannot_be_installed() {
  local p reason alone=0
  for p in "${missing[@]}"; do
    if ! reason="$("${apt[@]}" install -s --no-install-recommends "$p" 2>&1)"; then
      alone=1
      echo "install-deps: $p cannot be installed:" >&2
      grep -E '^(E:|W:| |  )' <<<"$reason" | grep -v '^ *$' | sed 's/^/  /' >&2
    fi
  done
  [ "$alone" -eq 1 ] ||
    echo "install-deps: each of ${missing[*]} installs alone but not all together (apt's reason above)" >&2
}

if ! install "${missing[@]}"; then
  # The package lists may be missing or old. An index that cannot be fetched now (a mirror in the
  # middle of a sync) makes apt-get update fail although the others were fetched: apt keeps the
  # old list of that one (or none), and whatever the lists hold can be installed all the same.
  "${apt[@]}" update ||
    echo "install-deps: apt-get update could not fetch every index (above); installing from the lists it has" >&2
  if ! install "${missing[@]}"; then
    name_what_cannot_be_installed
    exit 1
  fi
fi
