#!/usr/bin/env bash
# Installs a build into a scratch prefix, checks that the documents came with their links holding,
# builds the C example against the installed package twice (find_package(Marovex) and
# pkg-config), and runs both builds and the installed mvcall against the installed lanesim with
# the example configuration.
# Usage: install-check.sh BUILD_DIR SOURCE_DIR
set -euo pipefail

build="$(cd "$1" && pwd)"
source_dir="$(cd "$2" && pwd)"
# shellcheck source=tests/install/check-common.sh
source "$source_dir/tests/install/check-common.sh"
check_begin install-check "$source_dir"
prefix="$work/prefix"

quiet cmake --install "$build" --prefix "$prefix"
for file in include/Marovex.h bin/mvcall bin/lanesim bin/mvclient share/doc/marovex/docs/operations.md \
  share/doc/marovex/examples/c/lane_call.c share/doc/marovex/examples/python/marovex.py; do
  [[ -f "$prefix/$file" ]] || fail "$file was not installed"
done
check_installed_docs "$prefix/share/doc/marovex"
library="$(find "$prefix" -name libMarovex.so -print -quit)"
pc_file="$(find "$prefix" -name marovex.pc -print -quit)"
[[ -n "$library" ]] || fail "libMarovex.so was not installed"
[[ -n "$pc_file" ]] || fail "marovex.pc was not installed"
[[ -n "$(find "$prefix" -name MarovexConfig.cmake -print -quit)" ]] ||
  fail "MarovexConfig.cmake was not installed"

# find_package(Marovex) through the prefix; the build takes the installed library's path.
build_example_with_cmake "$prefix"

# pkg-config; linking with its --libs shows that the installed library links too.
export PKG_CONFIG_PATH="$(dirname "$pc_file")"
[[ "$(pkg-config --variable=prefix marovex)" == "$prefix" ]] ||
  fail "marovex.pc names prefix $(pkg-config --variable=prefix marovex)"
libdir="$(pkg-config --variable=libdir marovex)"
build_example_with_pkg_config -Wl,-rpath,"$libdir"

serve_lanes "$prefix/bin/lanesim"
quiet "$work/with-cmake/lane_call"
quiet "$work/lane_call-pkg-config" "$libdir/libMarovex.so" 2
# The installed mvcall finds the installed library by itself.
quiet "$prefix/bin/mvcall" Init 'ListQuery:1:{"ListType":"1"}' Uninit

echo "install-check: installed into a scratch prefix with the documents' links holding; the C" \
  "example built with CMake and with pkg-config, and both builds and the installed mvcall ran" \
  "against the installed lanesim"
