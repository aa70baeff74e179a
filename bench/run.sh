#!/usr/bin/env bash
# Builds the library and the benchmark programs in Release and runs every benchmark once, ending with
# the name=value summary. Usage: bench/run.sh [SOURCE_DIR [BUILD_DIR]]; BENCH_QUICK=1 for a short run.
# Fails when client_instructions_per_call (callgrind, independent of load) exceeds
# BENCH_MAX_INSTRUCTIONS (default 90000; 0: not checked).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
src="$(cd "${1:-$here/..}" && pwd)"
build="${2:-$src/build-bench}"
quick="${BENCH_QUICK:-}"
jobs="${JOBS:-2}"
max_instructions="${BENCH_MAX_INSTRUCTIONS:-90000}"

if [ -n "$quick" ]; then
  rounds=3 per_round=200 cpu_calls=2000 par_seconds=1 idle_seconds=3 cg_small=20 cg_large=70 mb_time=0.02
  restarts=1
else
  rounds=20 per_round=1000 cpu_calls=20000 par_seconds=5 idle_seconds=30 cg_small=100 cg_large=600 mb_time=0.5
  restarts=5
fi

cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
build="$(cd "$build" && pwd)"
targets=(Marovex lanesim mvresponder e2e_bench)
grep -q '^benchmark_DIR:PATH=/' "$build/CMakeCache.txt" && targets+=(transport_bench)
cmake --build "$build" -j"$jobs" --target "${targets[@]}" -- --no-print-directory >/dev/null
bin="$build/bin"
lib="$bin/libMarovex.so"

run="$(mktemp -d)"
pids=()
# Stops the servers, waiting at most 5 s for each before killing it.
cleanup() {
  for p in "${pids[@]}"; do
    kill "$p" 2>/dev/null || continue
    for _ in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$p" 2>/dev/null || true
  done
  rm -rf "$run"
}
trap cleanup EXIT

echo "== machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')"
echo "== library: $src ($(git -C "$src" rev-parse --short HEAD 2>/dev/null || echo 'no git'))"

# Starts a server program in the background (stopped when the script ends) and stores the port
# from its "listening on" line in the variable named first. Not run in a subshell, so that the
# server's process id reaches the clean-up.
start_server() {
  local var="$1"; shift
  local out="$run/server.${#pids[@]}"
  "$@" >"$out" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    if grep -q 'listening on' "$out"; then
      printf -v "$var" '%s' "$(sed -n 's/.*listening on [0-9.]*:\([0-9]*\).*/\1/p' "$out" | head -1)"
      return
    fi
    sleep 0.05
  done
  echo "server did not start: $*" >&2
  exit 1
}

# Writes a run folder whose EtcConfig/Marovex.ini points two lanes at a port.
config() {
  local dir="$1" port="$2" heartbeat="$3" keepdays="$4"
  mkdir -p "$dir/EtcConfig"
  {
    printf '[Global]\nLogDir=log\nLogKeepDays=%s\nMvLaneNum=2\n' "$keepdays"
    for i in 0 1; do
      printf '[MvLane%d]\nIpAddr=127.0.0.1\nPort=%s\nUserName=bench\nPassWord=pw\n' "$i" "$port"
      printf 'ProvinceNo=44\nCityNo=1\nAreaNo=101\nGateNo=2\nLaneNo=%d\n' $((i + 1))
      printf 'HeartBeatTime=%s\nTimeOut=5\nRSUID=0\nReaderID=1\nAutoLogout=0\n' "$heartbeat"
    done
  } >"$dir/EtcConfig/Marovex.ini"
}

summary="$run/summary"
: >"$summary"
# Runs e2e_bench in a run folder, shows its lines and keeps them for the summary.
e2e() {
  local dir="$1"; shift
  (cd "$dir" && "$@") | tee -a "$summary"
}

if [ -x "$bin/transport_bench" ]; then
  echo "== packet build, check and scan (transport_bench)"
  "$bin/transport_bench" --benchmark_min_time="$mb_time" 2>/dev/null
fi

start_server port "$bin/mvresponder"
config "$run/on" "$port" 60 30
config "$run/off" "$port" 60 off
config "$run/idle" "$port" 1 30

echo "== ListQuery round trip against the minimal responder, with the raw and hand-off floors (unpinned)"
e2e "$run/on" "$bin/e2e_bench" latency --lib "$lib" --port "$port" --rounds "$rounds" --per-round "$per_round"

echo "== the same, both processes pinned to CPU 0 (information)"
start_server pinned_port taskset -c 0 "$bin/mvresponder"
config "$run/pinned" "$pinned_port" 60 30
e2e "$run/pinned" taskset -c 0 "$bin/e2e_bench" latency --lib "$lib" --port "$pinned_port" \
  --rounds "$rounds" --per-round "$per_round" --prefix pinned_

echo "== ListQuery round trip against lanesim (information)"
start_server sim_port "$bin/lanesim"
config "$run/sim" "$sim_port" 60 30
e2e "$run/sim" "$bin/e2e_bench" latency --lib "$lib" --port "$sim_port" --rounds "$rounds" \
  --per-round "$per_round" --library-only --prefix lanesim_

echo "== client CPU per call, logging on and off"
e2e "$run/on" "$bin/e2e_bench" cpu --lib "$lib" --port "$port" --calls "$cpu_calls"
e2e "$run/off" "$bin/e2e_bench" cpu --lib "$lib" --port "$port" --calls "$cpu_calls" --prefix nolog_

echo "== parallel: 2 lanes x 6 threads, 1 lane x 6 threads, 12 raw pairs"
e2e "$run/on" "$bin/e2e_bench" parallel --lib "$lib" --port "$port" --seconds "$par_seconds"

echo "== two idle lanes (HeartBeatTime 1, ${idle_seconds} s)"
e2e "$run/idle" "$bin/e2e_bench" lifecycle --lib "$lib" --port "$port" --seconds "$idle_seconds"

echo "== recovery after the lane server restarts (down 2 s, HeartBeatTime 3, median of $restarts)"
mkdir -p "$run/recovery"
e2e "$run/recovery" "$bin/e2e_bench" recovery --lib "$lib" --rounds "$restarts"

if command -v valgrind >/dev/null; then
  echo "== instructions per ListQuery (callgrind, $cg_small and $cg_large calls, logging on)"
  count() {
    (cd "$run/on" && valgrind --tool=callgrind --callgrind-out-file="$run/cg.$1" \
      "$bin/e2e_bench" calls --lib "$lib" --port "$port" --calls "$1" >/dev/null 2>&1)
    sed -n 's/^summary: *//p' "$run/cg.$1"
  }
  small="$(count "$cg_small")"
  large="$(count "$cg_large")"
  echo "client_instructions_per_call=$(( (large - small) / (cg_large - cg_small) ))" | tee -a "$summary"
fi

value() { sed -n "s/^$1=//p" "$summary" | tail -1; }
on="$(value client_cpu_us_per_call)"
off="$(value nolog_client_cpu_us_per_call)"
echo "logging_cpu_us_per_call=$(awk -v a="$on" -v b="$off" 'BEGIN { printf "%.3g", a - b }')" >>"$summary"

echo "== summary"
for name in raw_median_us handoff_median_us roundtrip_median_us roundtrip_p99_us roundtrip_ratio \
    client_instructions_per_call client_cpu_us_per_call logging_cpu_us_per_call \
    parallel_calls_per_s raw_parallel_calls_per_s parallel_ratio \
    init_two_lanes_ms uninit_two_lanes_ms idle_cpu_percent recovery_ms; do
  echo "$name=$(value "$name")"
done

instructions="$(value client_instructions_per_call)"
if [ -z "$instructions" ]; then
  echo "client_instructions_per_call not measured (no valgrind): its ceiling is not checked"
elif [ "$max_instructions" -gt 0 ] && [ "$instructions" -gt "$max_instructions" ]; then
  echo "FAILED: client_instructions_per_call=$instructions exceeds $max_instructions" >&2
  exit 1
fi
