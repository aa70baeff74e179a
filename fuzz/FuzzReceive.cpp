// Arbitrary bytes from a lane server: the receive scan cuts and checks packets (no socket: it works
// on a buffer) and hands each good one to the protocol client's dispatch. Every channel waits for
// serial 00000001, and the payment for "T1", so that answers reach the parsing and conversions.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "protocol/ALaneClientOper.h"
#include "transport/PacketScanner.h"

namespace {

constexpr char kPendingSerial[] = "00000001";
constexpr char kPendingPayment[] = "T1";

class PendingClient : public ALaneClientOper, public PacketSink {
 public:
  void expectSerialOne() {
    for (Channel* c : {&laneChannel, &rsuChannel, &cardReaderChannel, &listChannel, &blackListChannel,
                       &heartBeatChannel, &statusChannel, static_cast<Channel*>(&nonCashChannel), &stopChannel}) {
      std::lock_guard<std::mutex> lock(c->mtx);
      std::memcpy(c->serialNo, kPendingSerial, sizeof kPendingSerial);
      c->answered = false;
      c->result = 2;
    }
    std::lock_guard<std::mutex> lock(nonCashChannel.mtx);
    nonCashChannel.tsSn = kPendingPayment;
    nonCashChannel.pushArrived = false;
  }
  void onPacket(int cmdId, const char* message, unsigned length) override {
    handlePackage(cmdId, message, length);
  }
  void onBadPacket() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static PendingClient client;
  client.expectSerialOne();
  // Fed in two receipts cut where the first byte says, as a stream arrives.
  PacketAccumulator accumulator;
  const char* bytes = reinterpret_cast<const char*>(data);
  const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
  accumulator.append(bytes, cut);
  accumulator.scan(client);
  accumulator.append(bytes + cut, size - cut);
  accumulator.scan(client);
  if (accumulator.pending() > size) __builtin_trap();
  return 0;
}
