# Runs the lanesim program for a script on a free loopback port. Source this file, then:
#   lanesim_start BINARY OUTPUT_FILE [LANESIM_ARGS...]
#                                      sets lanesim_pid and lanesim_port (returns 1 on failure)
#   lanesim_stop                       stops it (safe to call twice, or in an EXIT trap); one that
#                                      has not ended lanesim_stop_deadline_s after SIGTERM is killed
#   lanesim_runner=(PROGRAM...)        set after sourcing: what runs BINARY (e.g. wine for a .exe)
lanesim_listen_deadline_s=10
lanesim_stop_deadline_s=10
lanesim_pid=""
lanesim_port=""
lanesim_runner=()

lanesim_start() {
  local binary="$1" output="$2" i
  shift 2
  "${lanesim_runner[@]}" "$binary" --listen 127.0.0.1:0 "$@" >"$output" 2>&1 &
  lanesim_pid=$!
  for ((i = 0; i < lanesim_listen_deadline_s * 10; i++)); do
    lanesim_port="$(sed -n 's/^lanesim listening on [0-9.]*:\([0-9][0-9]*\).*$/\1/p' "$output" |
      head -n1)"
    [[ -n "$lanesim_port" ]] && return 0
    if ! kill -0 "$lanesim_pid" 2>/dev/null; then
      echo "lanesim ended before listening:" >&2
      cat "$output" >&2
      return 1
    fi
    sleep 0.1
  done
  echo "lanesim did not report its port within ${lanesim_listen_deadline_s}s" >&2
  return 1
}

# True while the simulator has not ended (an ended child stays a zombie until it is waited for).
lanesim_running() {
  local stat
  stat="$(cat "/proc/$lanesim_pid/stat" 2>/dev/null)" && [[ "${stat##*) }" != Z* ]]
}

lanesim_stop() {
  local i
  if [[ -n "$lanesim_pid" ]] && lanesim_running; then
    kill "$lanesim_pid" 2>/dev/null || true
    for ((i = 0; i < lanesim_stop_deadline_s * 10; i++)); do
      lanesim_running || break
      sleep 0.1
    done
    if lanesim_running; then
      echo "lanesim did not stop within ${lanesim_stop_deadline_s}s of SIGTERM; killing it" >&2
      kill -KILL "$lanesim_pid" 2>/dev/null || true
    fi
    wait "$lanesim_pid" 2>/dev/null || true
  fi
}
