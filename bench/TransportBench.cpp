// Packet building, the check code and the receive scan on in-memory buffers.
#include <benchmark/benchmark.h>

#include <string>

#include "transport/Package.h"
#include "transport/Packet.h"
#include "transport/PacketScanner.h"

namespace {

constexpr const char* kSendTime = "261206173005123";

std::string packetOf(std::size_t bodySize) {
  const std::string body(bodySize, 'j');
  const Package p(body.data(), static_cast<unsigned>(body.size()), BufView<5>("03110"), 1, kSendTime);
  return std::string(p.returnmsg(), p.size());
}

class CountingSink : public PacketSink {
 public:
  void onPacket(int, const char*, unsigned length) override { bytes += length; }
  void onBadPacket() override { ++bad; }
  std::size_t bytes = 0;
  int bad = 0;
};

void BM_Crc32(benchmark::State& state) {
  const std::string data(static_cast<std::size_t>(state.range(0)), 'c');
  for (auto _ : state) benchmark::DoNotOptimize(packet::crc32(data.data(), data.size()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Crc32)->Arg(64)->Arg(1024)->Arg(65536);

void BM_BuildPackage(benchmark::State& state) {
  const std::string body(static_cast<std::size_t>(state.range(0)), 'b');
  for (auto _ : state) {
    const Package p(body.data(), static_cast<unsigned>(body.size()), BufView<5>("03001"), 7, kSendTime);
    benchmark::DoNotOptimize(p.returnmsg());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (state.range(0) + 60));
}
BENCHMARK(BM_BuildPackage)->Arg(2)->Arg(512)->Arg(65536);

void BM_GetPackageTime(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Package::GetPackageTime());
}
BENCHMARK(BM_GetPackageTime);

// One receipt of 10240 bytes full of packets of the given body size, scanned as the receive
// thread does.
void BM_ScanReceipt(benchmark::State& state) {
  const std::string one = packetOf(static_cast<std::size_t>(state.range(0)));
  std::string receipt;
  while (receipt.size() + one.size() <= 10240) receipt += one;
  CountingSink sink;
  for (auto _ : state) {
    PacketAccumulator acc;
    acc.append(receipt.data(), receipt.size());
    acc.scan(sink);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(receipt.size()));
}
BENCHMARK(BM_ScanReceipt)->Arg(40)->Arg(400)->Arg(4000);

// A long packet arriving in receipts of 10240 bytes: the scan must not redo work per receipt
// beyond looking at the head.
void BM_ScanLongPacketInReceipts(benchmark::State& state) {
  const std::string pkt = packetOf(static_cast<std::size_t>(state.range(0)));
  CountingSink sink;
  for (auto _ : state) {
    PacketAccumulator acc;
    for (std::size_t at = 0; at < pkt.size(); at += 10240) {
      acc.append(pkt.data() + at, std::min<std::size_t>(10240, pkt.size() - at));
      acc.scan(sink);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(pkt.size()));
}
BENCHMARK(BM_ScanLongPacketInReceipts)->Arg(1 << 20);

// Garbage without any marker: every byte is looked at once and the buffer emptied.
void BM_ScanGarbage(benchmark::State& state) {
  const std::string garbage(10240, 'g');
  CountingSink sink;
  for (auto _ : state) benchmark::DoNotOptimize(scanPackets(garbage.data(), garbage.size(), sink));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 10240);
}
BENCHMARK(BM_ScanGarbage);

}  // namespace

BENCHMARK_MAIN();
