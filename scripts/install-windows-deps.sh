#!/usr/bin/env bash
# Prepares the Windows builds: installs the cross compilers and the source tools when missing, and
# builds jsoncpp (from Debian's source package) and GoogleTest (from the googletest package's
# sources) for each target into DEPS_DIR/<target>. Everything it builds or fetches stays below
# DEPS_DIR. A piece made by an earlier run is used only when its stamp, written once the piece was
# complete, is there; anything else an earlier run left is removed and made again.
# Usage: scripts/install-windows-deps.sh DEPS_DIR TARGET...   (targets: i686, x86_64)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
deps="$(mkdir -p "${1:?usage: $0 DEPS_DIR TARGET...}" && cd "$1" && pwd)"
shift
[ $# -gt 0 ] || { echo "usage: $0 DEPS_DIR TARGET..." >&2; exit 1; }
targets=("$@")
jobs="${JOBS:-2}"
jsoncpp_version="1.9.5"
stamps="$deps/stamps"
mkdir -p "$stamps"

packages=(cmake make dpkg-dev googletest)
for target in "${targets[@]}"; do
  case "$target" in
    i686) packages+=(binutils-mingw-w64-i686 g++-mingw-w64-i686-posix) ;;
    x86_64) packages+=(binutils-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix) ;;
    *) echo "install-windows-deps: unknown target $target" >&2; exit 1 ;;
  esac
done
"$root/scripts/install-deps.sh" "${packages[@]}"

# A private apt setup below DEPS_DIR with the machine's own package sources turned into source
# entries, so that the system's apt configuration stays as it is. The source tree is unpacked into
# a fresh folder and trusted from then on by its stamp.
fetch_jsoncpp_source() {
  local apt_dir="$deps/apt" src_dir="$deps/src"
  rm -rf "$apt_dir" "$src_dir"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/sources.list.d" "$apt_dir/cache/archives/partial" \
    "$src_dir"
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
  # One index that cannot be fetched now (a mirror in the middle of a sync) fails the update; the
  # source package is found in the others.
  apt-get "${opts[@]}" update >"$apt_dir/update.log" 2>&1 ||
    { grep -E '^(E|W):' "$apt_dir/update.log" >&2 || true
      echo "install-windows-deps: not every source index could be fetched; going on with the others" >&2; }
  # The source package is called libjsoncpp in some releases and jsoncpp in others.
  local name reasons=""
  for name in libjsoncpp jsoncpp; do
    if (cd "$src_dir" && apt-get "${opts[@]}" --only-source source "$name") >"$apt_dir/source.log" 2>&1; then
      local tree
      tree="$(ls -d "$src_dir"/*jsoncpp-"$jsoncpp_version"/ 2>/dev/null | head -n1)"
      if [ -n "$tree" ]; then
        echo "$tree" >"$stamps/jsoncpp-source"
        return 0
      fi
      reasons+="$name: no $jsoncpp_version tree in what it unpacked"$'\n'
    else
      reasons+="$(grep -E '^(E|W):' "$apt_dir/source.log" | sed "s/^/$name: /")"$'\n'
    fi
  done
  echo "install-windows-deps: no jsoncpp $jsoncpp_version source package could be fetched:" >&2
  printf '%s' "$reasons" >&2
  return 1
}

jsoncpp_source() {
  if [ ! -e "$stamps/jsoncpp-source" ] || [ ! -d "$(cat "$stamps/jsoncpp-source")" ]; then
    echo "fetching the jsoncpp $jsoncpp_version source package" >&2
    fetch_jsoncpp_source
  fi
  cat "$stamps/jsoncpp-source"
}

# Builds and installs one library for a target from a fresh build folder; the stamp comes last.
build_for() { # name target source_dir cmake_args...
  local name="$1" target="$2" src="$3"
  shift 3
  local build="$deps/build-$name-$target" stamp="$stamps/$name-$target"
  [ -e "$stamp" ] && return 0
  echo "building $name for Windows ($target)"
  rm -rf "$build"
  cmake -S "$src" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$target.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps/$target" "$@" >"$build.log" 2>&1 &&
    cmake --build "$build" -j"$jobs" >>"$build.log" 2>&1 &&
    cmake --install "$build" >>"$build.log" 2>&1 ||
    { tail -n 30 "$build.log" >&2; echo "install-windows-deps: building $name for $target failed (log: $build.log)" >&2; exit 1; }
  rm -rf "$build"
  : >"$stamp"
}

for target in "${targets[@]}"; do
  if [ ! -e "$stamps/jsoncpp-$target" ]; then
    build_for jsoncpp "$target" "$(jsoncpp_source)" -DBUILD_SHARED_LIBS=OFF \
      -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF -DJSONCPP_WITH_TESTS=OFF \
      -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF
  fi
  build_for googletest "$target" /usr/src/googletest -DBUILD_GMOCK=ON -Dgtest_force_shared_crt=ON
done
