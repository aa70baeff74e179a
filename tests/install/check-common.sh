# What the installation checks share. Source it, then call check_begin NAME SOURCE_DIR first:
#   $work                          a scratch directory, removed at exit (lanesim stopped first)
#   fail MESSAGE                   ends the check with NAME: MESSAGE
#   quiet COMMAND...               runs a step, showing its output only when it fails
#   has GREP_ARGS...               a match in a pipeline's output (reads it all, unlike grep -q,
#                                  so that under pipefail the writer never ends on a broken pipe)
#   build_example_with_cmake PREFIX_PATH
#                                  the C example through find_package(Marovex): $work/with-cmake
#   build_example_with_pkg_config LINK_FLAGS...
#                                  the C example with pkg-config's flags: $work/lane_call-pkg-config
#   serve_lanes LANESIM            starts that lanesim on a free port and enters $work/run, whose
#                                  EtcConfig/Marovex.ini (the example's) points both lanes at it
#   check_installed_docs DIR       the documents installed in DIR are those of the source tree and
#                                  every link between them holds

check_begin() {
  check_name="$1"
  check_source_dir="$2"
  work="$(mktemp -d)"
  # shellcheck source=scripts/lanesim.sh
  source "$check_source_dir/scripts/lanesim.sh"
  trap 'lanesim_stop; rm -rf "$work"' EXIT
}

fail() {
  echo "$check_name: $*" >&2
  exit 1
}

quiet() {
  "$@" >"$work/step.log" 2>&1 || { cat "$work/step.log" >&2; fail "failed: $*"; }
}

has() { grep "$@" >/dev/null; }

build_example_with_cmake() {
  quiet cmake -S "$check_source_dir/examples/c" -B "$work/with-cmake" -DCMAKE_PREFIX_PATH="$1"
  quiet cmake --build "$work/with-cmake"
}

build_example_with_pkg_config() {
  # shellcheck disable=SC2046
  quiet "${CC:-cc}" -Wall -Wextra -Werror $(pkg-config --cflags marovex) \
    "$check_source_dir/examples/c/lane_call.c" -o "$work/lane_call-pkg-config" \
    $(pkg-config --libs marovex) "$@" -ldl
}

serve_lanes() {
  lanesim_start "$1" "$work/lanesim.out" || fail "the installed lanesim did not start"
  mkdir -p "$work/run/EtcConfig"
  sed "s/^Port=.*/Port=$lanesim_port/" "$check_source_dir/config/Marovex.ini.example" \
    >"$work/run/EtcConfig/Marovex.ini"
  cd "$work/run"
}

check_installed_docs() {
  local source="$check_source_dir" doc
  for doc in "$source/README.md" "$source"/docs/* "$source/tools/lanesim/README.md"; do
    doc="${doc#"$source/"}"
    cmp -s "$source/$doc" "$1/$doc" || fail "$doc is not installed in $1"
  done
  /usr/bin/python3 "$check_source_dir/tests/docs/doclinks.py" "$1" >"$work/doclinks.txt" ||
    { cat "$work/doclinks.txt" >&2; fail "the links of the documents installed in $1 do not hold"; }
}
