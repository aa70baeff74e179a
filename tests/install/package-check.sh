#!/usr/bin/env bash
# Checks the Debian packages of `make package` as an integrator gets them: lintian reports no
# error; each package holds what it should, with the Depends it needs, its binaries stripped and
# their symbols in its -dbgsym package; unpacked into a scratch root, the C example builds against
# libmarovex-dev with CMake and with pkg-config, and it, the installed mvcall and the Python
# module run against the installed library and lanesim, where only the run-time packages are; the
# documents of libmarovex-dev are those of the source tree, their links holding.
# Usage: package-check.sh PACKAGE_BUILD_DIR SOURCE_DIR
set -euo pipefail

packages="$(cd "$1" && pwd)"
source_dir="$(cd "$2" && pwd)"
# shellcheck source=tests/install/check-common.sh
source "$source_dir/tests/install/check-common.sh"
check_begin package-check "$source_dir"
# Every package, for building against; the run-time packages alone, for running.
dev_root="$work/dev-root"
root="$work/run-root"

version="$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$packages/CPackConfig.cmake")"
arch="$(dpkg --print-architecture)"
[[ -n "$version" ]] || fail "no CPackConfig.cmake in $packages"

deb() { echo "$packages/${1}_${version}_${2:-$arch}.deb"; }
ddeb() { echo "$packages/${1}-dbgsym_${version}_${arch}.ddeb"; }
field() { dpkg-deb -f "$1" "$2"; }
holds() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./|/|'; }

debs=("$(deb libmarovex1)" "$(deb libmarovex-dev)" "$(deb marovex-tools)" "$(deb mvclient)"
  "$(deb python3-marovex all)")
ddebs=("$(ddeb libmarovex1)" "$(ddeb marovex-tools)" "$(ddeb mvclient)")
for file in "${debs[@]}" "${ddebs[@]}"; do
  [[ -f "$file" ]] || fail "$(basename "$file") was not built"
done

# ---- lintian: warnings are listed, an error fails ------------------------------------------------
lintian --tag-display-limit 0 "${debs[@]}" "${ddebs[@]}" >"$work/lintian.txt" 2>&1 || true
cat "$work/lintian.txt"
if has '^E: ' "$work/lintian.txt"; then fail "lintian reports errors"; fi

# ---- contents and Depends -------------------------------------------------------------------------
multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
libdir="/usr/lib/$multiarch"
expect_file() {
  holds "$1" | has -x "$2" || fail "$(basename "$1") does not hold $2"
}
expect_no_file() {
  if holds "$1" | has "$2"; then fail "$(basename "$1") holds $2"; fi
}
expect_depends() {
  field "$1" Depends | tr ',' '\n' | sed 's/^ *//' | has -x "$2" ||
    fail "$(basename "$1") does not depend on '$2': $(field "$1" Depends)"
}

expect_file "$(deb libmarovex1)" "$libdir/libMarovex.so.$version.0"
expect_file "$(deb libmarovex1)" "$libdir/libMarovex.so.1"
expect_no_file "$(deb libmarovex1)" "libMarovex.so$"
expect_file "$(deb libmarovex-dev)" "$libdir/libMarovex.so"
expect_file "$(deb libmarovex-dev)" "/usr/include/Marovex.h"
expect_file "$(deb libmarovex-dev)" "$libdir/pkgconfig/marovex.pc"
expect_file "$(deb libmarovex-dev)" "$libdir/cmake/Marovex/MarovexConfig.cmake"
expect_file "$(deb marovex-tools)" "/usr/bin/mvcall"
expect_file "$(deb marovex-tools)" "/usr/bin/lanesim"
expect_file "$(deb mvclient)" "/usr/bin/mvclient"
expect_file "$(deb python3-marovex all)" "/usr/lib/python3/dist-packages/marovex.py"

# The library's own needs come from dpkg-shlibdeps; what is loaded at run time is named.
expect_depends "$(deb libmarovex1)" "libjsoncpp25 (>= 1.9.5)"
for package in libmarovex-dev marovex-tools mvclient; do
  expect_depends "$(deb "$package")" "libmarovex1 (= $version)"
done
expect_depends "$(deb python3-marovex all)" "libmarovex1 (= $version)"
expect_depends "$(deb python3-marovex all)" "python3"
expect_depends "$(deb mvclient)" "qml-module-qtquick-controls2"
field "$(deb mvclient)" Depends | has "libqt5quick5" || fail "mvclient does not depend on Qt Quick"
dpkg-deb --ctrl-tarfile "$(deb libmarovex1)" | tar -xO ./shlibs | has -x "libMarovex 1 libmarovex1 (>= $version)" ||
  fail "libmarovex1 has no shlibs entry for libMarovex.so.1"

# Every Depends names a package this machine can install (a simulation: nothing is installed and
# the dpkg lock is not taken).
quiet apt-get install -s -o Debug::NoLocking=1 "${debs[@]}"

# ---- unpacked into scratch roots ------------------------------------------------------------------
for file in "${debs[@]}"; do dpkg-deb -x "$file" "$dev_root"; done
for file in "${debs[@]}" "${ddebs[@]}"; do
  [[ "$file" == "$(deb libmarovex-dev)" ]] || dpkg-deb -x "$file" "$root"
done
check_installed_docs "$dev_root/usr/share/doc/libmarovex-dev"
[[ "$(objdump -p "$root$libdir/libMarovex.so.1" | awk '$1 == "SONAME" {print $2}')" == libMarovex.so.1 ]] ||
  fail "the library's SONAME is not libMarovex.so.1"
# Stripped, with the symbols in the -dbgsym package under the binary's build id.
for binary in "$libdir/libMarovex.so.1" /usr/bin/mvcall /usr/bin/lanesim /usr/bin/mvclient; do
  if readelf -S "$root$binary" | has '\.debug_info'; then fail "$binary is not stripped"; fi
  build_id="$(readelf -n "$root$binary" | awk '/Build ID/ {print $3}')"
  debug="$root/usr/lib/debug/.build-id/${build_id:0:2}/${build_id:2}.debug"
  readelf -S "$debug" 2>/dev/null | has '\.debug_info' || fail "no debugging symbols for $binary"
done

# find_package(Marovex) from the -dev package; the build takes the installed library's path.
build_example_with_cmake "$dev_root/usr"
# pkg-config from the -dev package, its paths moved into the scratch root.
export PKG_CONFIG_LIBDIR="$dev_root$libdir/pkgconfig" PKG_CONFIG_SYSROOT_DIR="$dev_root"
build_example_with_pkg_config

export LD_LIBRARY_PATH="$root$libdir"
serve_lanes "$root/usr/bin/lanesim"
quiet "$work/with-cmake/lane_call"
# Without a path it loads libMarovex.so.1, which the run-time package alone provides.
quiet "$work/lane_call-pkg-config"
quiet "$root/usr/bin/mvcall" Init 'ListQuery:1:{"ListType":"1"}' Uninit
export PYTHONPATH="$root/usr/lib/python3/dist-packages"
quiet /usr/bin/python3 -c 'import marovex'
quiet /usr/bin/python3 -m marovex --lane 2

echo "package-check: lintian found no error; the packages hold what they should with their" \
  "Depends, stripped, with -dbgsym packages; unpacked, the documents' links hold, the C example" \
  "built with CMake and pkg-config, and it, mvcall and the Python module ran against the" \
  "installed library"
