#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when one is missing. Given
# package names, installs those instead (e.g. the fuzzing compiler).
set -euo pipefail

packages=(build-essential cmake pkg-config libjsoncpp-dev libgtest-dev libgmock-dev googletest)
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
# Other installs may hold the package lock for a while: wait for it instead of failing.
apt=("${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=900)
if ! "${apt[@]}" install -y --no-install-recommends "${missing[@]}"; then
  "${apt[@]}" update
  "${apt[@]}" install -y --no-install-recommends "${missing[@]}"
fi
