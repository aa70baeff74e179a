#!/usr/bin/env bash
# Prepares the Windows builds: installs the cross compilers, Wine and the source tools when missing,
# and builds for the targets into DEPS_DIR/<target>: jsoncpp (from Debian's source package) for
# the 32-bit deliverable and for the 64-bit test build, GoogleTest (from the googletest package's
# sources) for the 64-bit test build. Everything it builds or fetches stays below DEPS_DIR; a
# second run finds it there and does nothing.
# Usage: scripts/install-windows-deps.sh DEPS_DIR
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
deps="$(mkdir -p "${1:?usage: $0 DEPS_DIR}" && cd "$1" && pwd)"
jobs="${JOBS:-2}"
jsoncpp_version="1.9.5"

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive

# Wine runs 32-bit programs with the i386 libraries.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=900 update
fi
"$root/scripts/install-deps.sh" cmake make dpkg-dev googletest binutils-mingw-w64-i686 \
  g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix wine wine64 wine32:i386

# A private apt setup below DEPS_DIR with the machine's own package sources turned into source
# entries, so that the system's apt configuration stays as it is.
fetch_jsoncpp_source() {
  local apt_dir="$deps/apt"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/sources.list.d"
  : >"$apt_dir/sources.list"
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    sed -E 's/^Types:.*/Types: deb-src/' "$f" >"$apt_dir/sources.list.d/$(basename "$f")"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -e "$f" ] || continue
    sed -nE 's/^[[:space:]]*deb([[:space:]])/deb-src\1/p' "$f" >>"$apt_dir/sources.list"
  done
  local opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list"
              -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
              -o "Dir::State::Lists=$apt_dir/lists"
              -o "Dir::Cache=$apt_dir/cache")
  mkdir -p "$apt_dir/cache/archives/partial"
  apt-get "${opts[@]}" update >/dev/null
  # The source package is called libjsoncpp in some releases and jsoncpp in others.
  local name
  for name in libjsoncpp jsoncpp; do
    (cd "$deps" && apt-get "${opts[@]}" --only-source source "$name" >/dev/null 2>&1) &&
      return 0
  done
  echo "install-windows-deps: no jsoncpp $jsoncpp_version source package found" >&2
  return 1
}

build_for() { # target source_dir build_dir cmake_args...
  local target="$1" src="$2" build="$3"
  shift 3
  cmake -S "$src" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$target.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps/$target" "$@" >/dev/null
  cmake --build "$build" -j"$jobs" >/dev/null
  cmake --install "$build" >/dev/null
}

jsoncpp_source() {
  local src
  src="$(ls -d "$deps"/*jsoncpp-"$jsoncpp_version"/ 2>/dev/null | head -n1 || true)"
  if [ -z "$src" ]; then
    echo "fetching the jsoncpp $jsoncpp_version source package" >&2
    fetch_jsoncpp_source
    src="$(ls -d "$deps"/*jsoncpp-"$jsoncpp_version"/ | head -n1)"
  fi
  echo "$src"
}

for target in i686 x86_64; do
  if [ ! -e "$deps/$target/lib/cmake/jsoncpp/jsoncppConfig.cmake" ]; then
    src="$(jsoncpp_source)"
    echo "building jsoncpp for Windows ($target)"
    build_for "$target" "$src" "$deps/build-jsoncpp-$target" -DBUILD_SHARED_LIBS=OFF \
      -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF -DJSONCPP_WITH_TESTS=OFF \
      -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF
  fi
done

if [ ! -e "$deps/x86_64/lib/cmake/GTest/GTestConfig.cmake" ]; then
  echo "building GoogleTest for Windows (x86_64)"
  build_for x86_64 /usr/src/googletest "$deps/build-googletest-x86_64" -DBUILD_GMOCK=ON \
    -Dgtest_force_shared_crt=ON
fi
