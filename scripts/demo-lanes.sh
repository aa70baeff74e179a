# Shared by the demo and console scripts (source it): starts the lane-server simulator on a free
# loopback port and writes the demo's two-lane configuration beside it.
#   prepare_run NAME BIN_DIR RUN_DIR TOOL...
#                                     checks that the tools are built, empties RUN_DIR and stops
#                                     the simulator when the script ends; NAME is the script's
#                                     make target
#   start_simulator BIN_DIR RUN_DIR [LANESIM_ARGS...]
#                                     sets lanesim_pid and lanesim_port (lanesim.sh); the
#                                     simulator's output goes to RUN_DIR/lanesim.out; lanesim_stop
#                                     ends it (safe to call twice; prepare_run traps it on EXIT)
#   write_demo_config RUN_DIR PORT    writes RUN_DIR/EtcConfig/Marovex.ini: lanes 1 and 2
#   exe_suffix=.exe                   set after sourcing, for programs built for Windows (with
#                                     lanesim_runner, see lanesim.sh)
#   run_demo_calls BIN_DIR RUN_DIR    runs every call of the library once (demo_calls) with mvcall
#                                     in RUN_DIR and a buffer of demo_buffer bytes; its exit status
#                                     is mvcall's

# shellcheck source=scripts/lanesim.sh
source "$(dirname "${BASH_SOURCE[0]}")/lanesim.sh"
exe_suffix=""

start_simulator() {
  local bin="$1" run="$2"
  shift 2
  lanesim_start "$bin/lanesim$exe_suffix" "$run/lanesim.out" "$@"
}

prepare_run() {
  local name="$1" bin="$2" run="$3" tool
  shift 3
  for tool in "$@"; do
    if [[ ! -x "$bin/$tool$exe_suffix" ]]; then
      echo "$name: $bin/$tool$exe_suffix is missing; build first (make $name does)" >&2
      exit 1
    fi
  done
  rm -rf "$run"
  mkdir -p "$run"
  trap lanesim_stop EXIT
  trap 'exit 130' INT TERM
}

lane_section() { # index laneNo readerId rsuId port
  cat <<INI
[MvLane$1]
IpAddr=127.0.0.1
Port=$5
UserName=demo$2
PassWord=secret$2
ProvinceNo=44
CityNo=1
AreaNo=101
GateNo=2
LaneNo=$2
HeartBeatTime=5
TimeOut=3
RSUID=$4
ReaderID=$3
AutoLogout=1
INI
}

write_demo_config() {
  local run="$1" port="$2"
  mkdir -p "$run/EtcConfig"
  {
    cat <<INI
[Global]
MvLaneNum=2
LogDir=MvClientLog
LogKeepDays=7
INI
    lane_section 0 1 0 0 "$port"
    lane_section 1 2 1 1 "$port"
  } >"$run/EtcConfig/Marovex.ini"
}

# Every call of the library once, in an order that works: reads before writes, the payment before
# its stop and its transaction detail, lane 2 once, Uninit last.
demo_calls=(
  Init
  'ReaderRead:1:{"TimeOut":"500"}'
  'ReaderWrite:1:{"CardNo":"4401230000012345","CashMoney":"1500","VehPlate":"DEMO123","VehType":"1","VehClass":"1","OutFlag":"0","LittleCashMoney":"1500","LittleTime":"0"}'
  'RSURead:1:{"TimeOut":"500"}'
  'RSUWrite:1:{"VehPlate":"DEMO123","VehType":"1","VehClass":"1","OutFlag":"0","LittleCashMoney":"1500","LittleTime":"0"}'
  'ETCStatusQuery:1:{}'
  'SendNonCashPay:1:{"Timeout":"5000","NonCashTsSn":"DEMO000001","PayMoney":"1500"}'
  'StopNonCashPay:1:{"NonCashTsSn":"DEMO000001"}'
  'ListUpLoad:1:{"ListType":"1","CardNo":"4401230000012345"}'
  'BlackListQuery:1:{"CardNo":"4401230000012345"}'
  'ListQuery:1:{"ListType":"1"}'
  'QueryTransDetail:1:{"NonCashTsSn":"DEMO000001"}'
  'ETCStatusQuery:2:{}'
  Uninit
)

# A buffer smaller than the longest outputs, so that those come through GetResponse.
demo_buffer=512

run_demo_calls() {
  local bin="$1" run="$2"
  (cd "$run" && "${lanesim_runner[@]}" "$bin/mvcall$exe_suffix" --buffer "$demo_buffer" "${demo_calls[@]}")
}
