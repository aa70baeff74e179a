// The eleven lane operations fed arbitrary request texts, on a lane logged in to an in-process
// lane-server simulator. The first byte picks the operation; the rest is the request text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "LaneSimulator.h"
#include "session/AMvLaneClientOper.h"

namespace {

using Operation = int (AMvLaneClientOper::*)(const char*, std::string&);

constexpr Operation kOperations[] = {
    &AMvLaneClientOper::ReaderRead,     &AMvLaneClientOper::ReaderWrite,
    &AMvLaneClientOper::RSURead,        &AMvLaneClientOper::RSUWrite,
    &AMvLaneClientOper::ETCStatusQuery, &AMvLaneClientOper::SendNonCashPay,
    &AMvLaneClientOper::StopNonCashPay, &AMvLaneClientOper::ListUpLoad,
    &AMvLaneClientOper::BlackListQuery, &AMvLaneClientOper::ListQuery,
    &AMvLaneClientOper::QueryTransDetail};
constexpr std::size_t kOperationCount = sizeof kOperations / sizeof kOperations[0];

// The simulator and the lane, started once and kept for the whole run.
struct Lane {
  Lane() {
    if (!sim.start("127.0.0.1")) std::abort();
    stMvLaneInfo_t info;
    info.IpAddr = "127.0.0.1";
    info.Port = sim.port();
    info.UserName = "fuzz";
    info.LaneNo = 1;
    info.HeartBeatTime = 120;  // no heartbeat traffic between the inputs
    info.TimeOut = 1;
    info.RSUID = 0;
    info.ReaderID = 1;
    sim.setRecording(false);
    session = std::make_unique<AMvLaneClientOper>(info);
    if (session->Init() != 0) std::abort();
  }
  LaneSimulator sim;
  std::unique_ptr<AMvLaneClientOper> session;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Lane lane;
  if (size == 0) return 0;
  const Operation op = kOperations[data[0] % kOperationCount];
  const std::string request(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string out;
  (lane.session.get()->*op)(request.c_str(), out);
  return 0;
}
