#!/usr/bin/env bash
# Runs every call of the library once against the lane-server simulator on loopback: starts
# lanesim on a free port, writes a two-lane configuration into demo-run/, runs mvcall there and
# shows the day's log file. Usage: scripts/demo.sh [BUILD_DIR]
# For a Windows build: DEMO_RUNNER (the program that runs them, e.g. wine), DEMO_EXE_SUFFIX (.exe)
# and DEMO_RUN_DIR (instead of demo-run/ in the source tree).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$root" && cd "${1:-build}" && pwd)"
bin="$build/bin"
run="${DEMO_RUN_DIR:-$root/demo-run}"
runner=(${DEMO_RUNNER:-})
exe="${DEMO_EXE_SUFFIX:-}"

for tool in lanesim mvcall; do
  if [[ ! -x "$bin/$tool$exe" ]]; then
    echo "demo: $bin/$tool$exe is missing; build first (make demo does)" >&2
    exit 1
  fi
done

rm -rf "$run"
mkdir -p "$run/EtcConfig"

# shellcheck source=scripts/lanesim.sh
source "$root/scripts/lanesim.sh"
trap lanesim_stop EXIT
trap 'exit 130' INT TERM

lanesim_start "$bin/lanesim$exe" "$run/lanesim.out" "${runner[@]}" || exit 1
port="$lanesim_port"
echo "demo: lane-server simulator on 127.0.0.1:$port (pid $lanesim_pid)"

lane_section() { # index laneNo readerId rsuId
  cat <<INI
[MvLane$1]
IpAddr=127.0.0.1
Port=$port
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
{
  cat <<INI
[Global]
MvLaneNum=2
LogDir=MvClientLog
LogKeepDays=7
INI
  lane_section 0 1 0 0
  lane_section 1 2 1 1
} >"$run/EtcConfig/Marovex.ini"
echo "demo: configuration $run/EtcConfig/Marovex.ini"
echo

calls=(
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

status=0
# A buffer smaller than the longest outputs, so that those come through GetResponse.
(cd "$run" && "${runner[@]}" "$bin/mvcall$exe" --buffer 512 "${calls[@]}") || status=$?

echo
log="$(ls -1t "$run"/MvClientLog/Marovex_*.log 2>/dev/null | head -n1 || true)"
if [[ -n "$log" ]]; then
  echo "demo: the day's log file, $log"
  cat "$log"
else
  echo "demo: no log file was written" >&2
  status=1
fi

lanesim_stop
echo
if [[ $status -eq 0 ]]; then
  echo "demo: all ${#calls[@]} calls returned 0"
else
  echo "demo: FAILED (mvcall exit status $status)" >&2
  exit 1
fi
