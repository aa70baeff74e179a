#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when one is missing. Given
# package names, installs those instead (the fuzzing compiler, the benchmark's tools, the virtual
# display and CJK font of the test console's window).
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
if ! "${apt[@]}" install -y --no-install-recommends "${missing[@]}"; then
  "${apt[@]}" update
  "${apt[@]}" install -y --no-install-recommends "${missing[@]}"
fi
