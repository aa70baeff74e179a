# Wine for the Windows builds, shared by install-wine.sh, run-windows.sh and test-windows.sh
# (source it). Everything lives below one folder, $MAROVEX_WINE (build-windows/wine of the source
# tree unless set):
#   route            written last by install-wine.sh; line 1 names the way, line 2 says it in words
#                      host  the host's own Wine (where the host runs 32-bit programs)
#                      root  Wine of a Debian root of its own, root/, run in namespaces of the run
#                            alone (user, mount, process ids; as root): its 32-bit build for i686
#                            programs, its 64-bit build for x86_64 programs and for the server.
#                            Where the host's kernel does not run 32-bit programs, the run
#                            registers qemu's user-mode emulator for them (binfmt_misc, in the
#                            run's own user namespace: the host's settings stay as they are).
#   prefix-ARCH/     the Wine prefix of each target (32-bit for i686, 64-bit for x86_64)
#   NAME.done        the stamp of root/ or of a prefix, written once it is complete
#
#   wine_enter CMD...        runs CMD (a program, or a function of this file) where the route's
#                            Wine runs. For the root: /proc, /dev, /sys, a /tmp of the run's own
#                            and the source and build trees at their own paths are mounted in the
#                            root for this run only, and go with it however it ends (its last
#                            process takes the namespaces with it). Inside, wine_inside is true.
#   wine_serve ARCH CMD...   (inside) runs CMD with the prefix's server and Wine's own background
#                            programs started for it, and stops them after it when it started them
#   wine_exec ARCH PROGRAM [ARGS...]
#                            (inside) replaces the shell with PROGRAM run by Wine from the current
#                            folder, its output and exit status its own
#   wine_debian_mirror ETC_APT, wine_discard DIR
#                            for install-wine.sh: the mirror a root is made from, and removing
#                            what an earlier run left unfinished

wine_project="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
wine_lib="$wine_project/scripts/wine.sh"
wine_dir="${MAROVEX_WINE:-$wine_project/build-windows/wine}"
wine_root="$wine_dir/root"
# Debian's layout, on the host and in the root: wine is the 32-bit loader, wine64 the 64-bit one,
# wineserver starts the 64-bit server where there is one.
wine_bin=/usr/lib/wine
# Where the root keeps qemu's i386 emulator.
wine_qemu=/usr/local/bin/qemu-i386
# A server outlives its last program this long, so that the next one starts quickly.
wine_server_persist_s=60
wine_boot_deadline_s=300
wine_stop_deadline_s=60

export WINEDEBUG="${WINEDEBUG:--all}"
# No .NET nor HTML engine to install into a prefix; no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

wine_fail() {
  echo "${wine_who:-wine}: $*" >&2
  exit 1
}

# MAROVEX_WINE_ROUTE names the route while install-wine.sh makes it, before the route file exists.
wine_route() {
  if [ -n "${MAROVEX_WINE_ROUTE:-}" ]; then echo "$MAROVEX_WINE_ROUTE"; else sed -n 1p "$wine_dir/route" 2>/dev/null || true; fi
}

wine_arch_ok() {
  case "$1" in
    i686 | x86_64) ;;
    *) wine_fail "unknown target '$1' (i686 or x86_64)" ;;
  esac
}

wine_prefix() { echo "$wine_dir/prefix-$1"; }

# Fails with what to do when the route or the prefix of ARCH is not there.
wine_require() { # ARCH
  case "$(wine_route)" in
    host | root) ;;
    *) wine_fail "no Wine set up in $wine_dir (make windows, or scripts/install-wine.sh, makes it)" ;;
  esac
  [ -e "$(wine_prefix "$1").done" ] ||
    wine_fail "no $1 Wine prefix in $wine_dir (scripts/install-wine.sh $wine_dir $1 makes it)"
}

# True when the kernel runs a 32-bit x86 program: a static ELF of 93 bytes that only calls exit(0),
# written out and started once.
wine_host_runs_32bit() {
  local probe status=0
  probe="$(mktemp "${TMPDIR:-/tmp}/marovex-i386-probe.XXXXXX")"
  # ELF header: 32-bit, little-endian, executable for the 386, entry 0x08048054, one program header.
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$probe"
  printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$probe"
  printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000' >>"$probe"
  # One loadable segment, the whole file at 0x08048000, readable and executable.
  printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010' >>"$probe"
  printf '\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000' >>"$probe"
  # mov eax, 1 (exit); xor ebx, ebx (status 0); int 0x80
  printf '\270\001\000\000\000\061\333\315\200' >>"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ "$status" -eq 0 ]
}

# The route in words, for i686 with how 32-bit programs run in the root on this host.
wine_describe() { # ARCH
  local words
  words="$(sed -n 2p "$wine_dir/route" 2>/dev/null || true)"
  if [ "$(wine_route)" = root ] && [ "$1" = i686 ]; then
    if wine_host_runs_32bit; then
      words+="; 32-bit programs run natively"
    else
      words+="; 32-bit programs run by qemu-i386, user-mode emulation (this host does not run 32-bit programs)"
    fi
  fi
  echo "$words"
}

wine_inside() { [ "${MAROVEX_WINE_SESSION:-}" = "$wine_dir" ]; }

# The first URI of the machine's Debian archive (not of its security or update suites), from its
# apt sources (below ETC_APT, normally /etc/apt) in either format; nothing when there is none.
wine_debian_mirror() { # ETC_APT
  local f uri
  for f in "$1"/sources.list.d/*.sources "$1"/sources.list "$1"/sources.list.d/*.list; do
    [ -e "$f" ] || continue
    case "$f" in
      *.sources)
        uri="$(awk 'BEGIN { RS = ""; FS = "\n" }
          {
            types = ""; uris = ""; suites = ""; enabled = "yes"
            for (i = 1; i <= NF; i++) {
              if ($i ~ /^Types:/) types = $i
              else if ($i ~ /^URIs:/) uris = $i
              else if ($i ~ /^Suites:/) suites = $i
              else if ($i ~ /^Enabled:/) enabled = $i
            }
            if (enabled ~ /no/ || types !~ /[[:space:]]deb([[:space:]]|$)/) next
            n = split(suites, s, /[[:space:]]+/)
            for (j = 2; j <= n; j++) if (s[j] !~ /-/ && s[j] != "") { split(uris, u, /[[:space:]]+/); print u[2]; exit }
          }' "$f")" ;;
      *)
        # deb [OPTIONS] URI SUITE COMPONENT...
        uri="$(awk '$1 == "deb" { i = 2; if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
                                  if ($(i + 1) !~ /-/) { print $i; exit } }' "$f")" ;;
    esac
    if [ -n "$uri" ]; then
      echo "$uri"
      return 0
    fi
  done
}

# Removes a folder from an earlier run that did not finish, never while something is mounted
# below it (a bind mount of the source tree, say).
wine_discard() { # DIR
  local dir="$1"
  [ -e "$dir" ] || return 0
  if awk -v d="$dir" '$5 == d || index($5, d "/") == 1 { found = 1 } END { exit !found }' \
    /proc/self/mountinfo; then
    wine_fail "something is mounted below $dir; unmount it first"
  fi
  rm -rf --one-file-system "$dir"
}

# Folders shown inside the root at their own paths: the source tree, the folder holding the Wine
# folder (the build tree) and the current folder, each unless another one holds it already.
wine_binds() {
  local d kept=() k inside
  for d in "$wine_project" "$(dirname "$wine_dir")" "$PWD"; do
    case "$d" in
      / | /bin | /boot | /dev | /etc | /lib* | /proc | /run | /sbin | /sys | /tmp | /usr | /var)
        wine_fail "cannot show $d inside the Wine root; run from a folder of your own" ;;
    esac
    inside=0
    for k in "${kept[@]}"; do
      case "$d/" in "$k"/*) inside=1 ;; esac
    done
    [ "$inside" -eq 1 ] || kept+=("$d")
  done
  printf '%s\n' "${kept[@]}"
}

# Has every 32-bit x86 program started in this user namespace run by qemu (the interpreter file
# is opened now, so that it serves inside the root too).
wine_register_emulator() {
  local misc="$wine_root/tmp/binfmt_misc"
  mkdir -p "$misc"
  mount -t binfmt_misc binfmt_misc "$misc" ||
    wine_fail "this kernel has no binfmt_misc of a user namespace's own, which the emulator needs"
  # ELF, 32-bit, little-endian, an executable or shared object for the 386.
  local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  printf '%s' ":marovex-i386:M::$magic:$mask:$wine_root$wine_qemu:FP" >"$misc/register"
}

# In the run's own namespaces: what programs in the root need, and the trees.
wine_mount_root() {
  local d
  mount -t proc proc "$wine_root/proc"
  mount --rbind /dev "$wine_root/dev"
  mount --rbind /sys "$wine_root/sys"
  # The run's own /tmp: its Wine server's socket is there, apart from any other run's.
  mount -t tmpfs -o mode=1777 tmpfs "$wine_root/tmp"
  while IFS= read -r d; do
    mkdir -p "$wine_root$d"
    mount --bind "$d" "$wine_root$d"
  done < <(wine_binds)
  wine_host_runs_32bit || wine_register_emulator
}

wine_enter() {
  export MAROVEX_WINE_SESSION="$wine_dir"
  if [ "$(wine_route)" != root ]; then
    "$@"
    return
  fi
  [ "$(id -u)" -eq 0 ] || wine_fail "the Wine root needs root to run programs (namespaces, chroot)"
  unshare --user --map-root-user --mount --propagation private --pid --fork --mount-proc --kill-child -- \
    bash -c 'set -euo pipefail; source "$0"; wine_mount_root; "$@"' "$wine_lib" "$@"
}

# Sets WINEPREFIX and WINEARCH for ARCH, and wine_target_loader to its loader.
wine_target() { # ARCH
  export WINEPREFIX WINEARCH
  WINEPREFIX="$(wine_prefix "$1")"
  if [ "$1" = i686 ]; then
    WINEARCH=win32 wine_target_loader="$wine_bin/wine"
  else
    WINEARCH=win64 wine_target_loader="$wine_bin/wine64"
  fi
}

# Runs a program of the route: in the root from the same folder, or on the host.
wine_in_route() { # PROGRAM ARGS...
  if [ "$(wine_route)" = root ]; then
    chroot "$wine_root" /usr/bin/env --chdir="$PWD" "$@"
  else
    "$@"
  fi
}

wine_loader() { # ARCH ARGS...
  (wine_target "$1" && shift && wine_in_route "$wine_target_loader" "$@")
}

wine_server() { # ARCH ARGS...
  (wine_target "$1" && shift && wine_in_route "$wine_bin/wineserver" "$@")
}

wine_exec() { # ARCH PROGRAM ARGS...
  wine_target "$1"
  shift
  if [ "$(wine_route)" = root ]; then
    exec chroot "$wine_root" /usr/bin/env --chdir="$PWD" "$wine_target_loader" "$@"
  fi
  exec "$wine_target_loader" "$@"
}

# Makes the prefix of ARCH, complete once its server has ended and written the registry out.
wine_make_prefix() { # ARCH
  wine_loader "$1" wineboot --init &&
    timeout "$wine_stop_deadline_s" bash -c 'source "$0"; wine_server "$1" -w' "$wine_lib" "$1"
}

# Stops the server of ARCH's prefix and every program of it.
wine_stop_server() { # ARCH
  timeout "$wine_stop_deadline_s" bash -c 'source "$0"; wine_server "$1" -k' "$wine_lib" "$1" \
    </dev/null >/dev/null 2>&1 || true
}

# Starts the prefix's server and Wine's own background programs with none of the caller's output
# open (a pipe that a test's output goes through would otherwise stay open after the test), runs
# CMD, and stops what it started.
wine_serve() { # ARCH CMD...
  local status=0
  wine_served="$1"
  shift
  # Fails when a server of this prefix runs already: the run that started it stops it.
  if wine_server "$wine_served" -p"$wine_server_persist_s" </dev/null >/dev/null 2>&1; then
    trap 'wine_stop_server "$wine_served"' EXIT
  fi
  timeout "$wine_boot_deadline_s" bash -c 'source "$0"; wine_loader "$1" wineboot' "$wine_lib" \
    "$wine_served" </dev/null >/dev/null 2>&1 || true
  "$@" || status=$?
  return "$status"
}
