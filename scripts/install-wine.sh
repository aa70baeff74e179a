#!/usr/bin/env bash
# Makes ready the Wine that runs the Windows programs of the build, below WINE_DIR (see wine.sh),
# once: a later run finds it there and only checks it. A prefix for each target given.
#   1. Where the host runs 32-bit programs, the host's own Wine with its 32-bit loader
#      (wine32:i386), when it installs and starts.
#   2. Otherwise a Debian trixie root of its own with Wine's 32-bit and 64-bit builds, made with
#      debootstrap from the machine's own Debian mirror (as root), and qemu's i386 emulator for
#      hosts that do not run 32-bit programs. Nothing is installed on the host but debootstrap,
#      and the host's apt setup is not touched.
# Ends with the reason when neither can be had.
# Usage: scripts/install-wine.sh WINE_DIR TARGET...   (targets: i686, x86_64)
set -euo pipefail

MAROVEX_WINE="$(mkdir -p "${1:?usage: $0 WINE_DIR TARGET...}" && cd "$1" && pwd)"
export MAROVEX_WINE
shift
targets=("${@:-i686}")
wine_who=install-wine
# shellcheck source=scripts/wine.sh
source "$(dirname "$0")/wine.sh"
for target in "${targets[@]}"; do wine_arch_ok "$target"; done
install_deps="$wine_project/scripts/install-deps.sh"
root_release=trixie
root_deadline_s=1800
root_log="$wine_dir/root.log"

# ---- Route 1: the host's own Wine -----------------------------------------------------------------

i386_added=0

# Takes the i386 architecture back out when this script added it and nothing of it got installed,
# so that the host's apt does not fetch i386 lists from then on.
drop_i386_if_unused() {
  [ "$i386_added" -eq 1 ] || return 0
  dpkg --remove-architecture i386 2>/dev/null || true
}

host_wine_version() { "$wine_bin/wine" --version 2>&1; }

try_host_wine() {
  local sudo_cmd=() packages=(wine wine32:i386)
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  [[ " ${targets[*]} " == *" x86_64 "* ]] && packages+=(wine64)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
    i386_added=1
  fi
  if ! "$install_deps" "${packages[@]}"; then
    drop_i386_if_unused
    echo "install-wine: the host's 32-bit Wine does not install (apt's reason above)" >&2
    return 1
  fi
  local version
  if ! version="$(host_wine_version)"; then
    echo "install-wine: the host's 32-bit Wine does not start: $version" >&2
    return 1
  fi
  route_words="the host's own Wine, $version"
}

# ---- Route 2: Wine in a root of its own ------------------------------------------------------------

# What runs inside the new root, as root there, with /proc, /dev and /sys shown.
install_wine_in_root() {
  set -euo pipefail
  export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8
  local apt=(apt-get -o DPkg::Lock::Timeout=60 -o APT::Sandbox::User=root)
  dpkg --add-architecture i386
  # An index that cannot be fetched now fails the update; what the others hold still installs.
  "${apt[@]}" update || echo "install-wine: apt-get update in the root could not fetch every index" >&2
  # The 32-bit build runs the i686 programs; the 64-bit one brings the server (run natively) and
  # runs x86_64 programs. Maintainer scripts that start 32-bit programs fail where the host does
  # not run them; what they would have prepared (icon and schema caches) serves no console program.
  "${apt[@]}" install -y --no-install-recommends wine32:i386 wine64
  # Of qemu's user-mode emulators, only the one for i386 (a static program).
  local unpacked=/tmp/qemu-user
  rm -rf "$unpacked" && mkdir -p "$unpacked"
  (cd "$unpacked" && "${apt[@]}" download qemu-user)
  dpkg-deb -x "$unpacked"/qemu-user_*.deb "$unpacked/tree"
  install -m 755 "$unpacked/tree/usr/bin/qemu-i386" "$1"
  rm -rf "$unpacked"
  "${apt[@]}" clean
}

# Runs a command in the new root as root, in a mount and process namespace of its own that shows
# /proc, /dev and /sys there: whatever it mounts or starts goes when it ends.
in_new_root() { # CMD...
  timeout "$root_deadline_s" unshare --mount --propagation private --pid --fork --mount-proc --kill-child -- bash -c '
    set -euo pipefail
    root="$1"
    shift
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mount --rbind /sys "$root/sys"
    exec chroot "$root" "$@"' bash "$wine_root" "$@"
}

make_root() {
  [ "$(id -u)" -eq 0 ] || wine_fail "a Wine root needs root (debootstrap, namespaces, chroot)"
  command -v unshare >/dev/null && command -v chroot >/dev/null ||
    wine_fail "a Wine root needs unshare and chroot (util-linux, coreutils)"
  "$install_deps" debootstrap
  local mirror
  mirror="$(wine_debian_mirror /etc/apt)"
  [ -n "$mirror" ] || wine_fail "no Debian archive in the machine's apt sources to make a root from"
  export MAROVEX_WINE_ROUTE=root
  if [ ! -e "$wine_dir/root.done" ]; then
    wine_discard "$wine_root"
    rm -f "$wine_dir"/prefix-*.done
    echo "install-wine: making a Debian $root_release root with Wine in $wine_root from $mirror" \
      "(log: $root_log)"
    # debootstrap mounts /proc and /sys in the root while it works: in a namespace of its own,
    # nothing stays mounted when it is cut short.
    if ! timeout "$root_deadline_s" unshare --mount --propagation private -- \
      debootstrap --variant=minbase "$root_release" "$wine_root" "$mirror" >"$root_log" 2>&1; then
      tail -n 20 "$root_log" >&2
      wine_fail "debootstrap of $root_release from $mirror failed (log: $root_log)"
    fi
    if ! in_new_root /bin/bash -c "$(declare -f install_wine_in_root); install_wine_in_root $wine_qemu" \
      >>"$root_log" 2>&1; then
      tail -n 20 "$root_log" >&2
      wine_fail "Wine could not be installed in the root (log: $root_log)"
    fi
    # The 32-bit loader started the way every run starts it (with the emulator where needed).
    local version
    version="$(timeout "$wine_boot_deadline_s" bash -c 'source "$0"; wine_enter wine_in_route "$1" --version' \
      "$wine_lib" "$wine_bin/wine" 2>&1)" || wine_fail "the root's 32-bit Wine does not start: $version"
    echo "$version" >"$wine_dir/root.done"
  fi
  route_words="Wine of a Debian $root_release root of its own, $(cat "$wine_dir/root.done"), $wine_root"
}

# ---- Prefixes ------------------------------------------------------------------------------------

make_prefix() { # ARCH
  local arch="$1" prefix stamp
  prefix="$(wine_prefix "$arch")"
  stamp="$prefix.done"
  [ -e "$stamp" ] && return 0
  wine_discard "$prefix"
  echo "install-wine: making the $arch Wine prefix $prefix"
  if ! timeout "$wine_boot_deadline_s" bash -c 'source "$0"; wine_enter wine_make_prefix "$1"' \
    "$wine_lib" "$arch" </dev/null >"$prefix.log" 2>&1; then
    tail -n 20 "$prefix.log" >&2
    wine_fail "the $arch Wine prefix $prefix could not be made (log: $prefix.log)"
  fi
  : >"$stamp"
}

# ---- Choosing the route --------------------------------------------------------------------------

route="$(wine_route)"
route_words="$(sed -n 2p "$wine_dir/route" 2>/dev/null || true)"
case "$route" in
  host)
    host_wine_version >/dev/null || route=""
    [[ " ${targets[*]} " == *" x86_64 "* ]] && [ ! -x "$wine_bin/wine64" ] && route=""
    ;;
  root) [ -e "$wine_dir/root.done" ] || route="" ;;
  *) route="" ;;
esac

if [ -z "$route" ]; then
  rm -f "$wine_dir/route"
  if wine_host_runs_32bit; then
    if try_host_wine; then
      route=host
    else
      make_root
      route=root
      route_words+=" (the host's own 32-bit Wine cannot be had)"
    fi
  else
    make_root
    route=root
  fi
fi

export MAROVEX_WINE_ROUTE="$route"
for target in "${targets[@]}"; do make_prefix "$target"; done
# Written last: what it names is complete.
printf '%s\n%s\n' "$route" "$route_words" >"$wine_dir/route.new"
mv "$wine_dir/route.new" "$wine_dir/route"
