#include "transport/PacketScanner.h"

#include <algorithm>
#include <cstring>

#include "transport/ADataParse.h"
#include "transport/Packet.h"

namespace {

// Position of the first complete head marker at or after `from`, or `size` when there is none.
std::size_t findHead(const char* data, std::size_t from, std::size_t size) {
  const char* head = reinterpret_cast<const char*>(packet::kHead);
  const char* end = data + size;
  const char* at = std::search(data + from, end, head, head + packet::kMarkerSize);
  return static_cast<std::size_t>(at - data);
}

// Where the bytes worth keeping begin when no complete head marker follows `from`: the last one
// or two bytes survive when they could be the start of a marker split between two receipts.
std::size_t partialHeadStart(const char* data, std::size_t from, std::size_t size) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  if (size >= from + 2 && bytes[size - 2] == packet::kHead[0] && bytes[size - 1] == packet::kHead[1]) {
    return size - 2;
  }
  if (size >= from + 1 && bytes[size - 1] == packet::kHead[0]) return size - 1;
  return size;
}

ScanSkip skipOf(ADataParse::Failure failure) {
  switch (failure) {
    case ADataParse::Failure::PacketLength: return ScanSkip::FailedPacketLength;
    case ADataParse::Failure::CheckCode: return ScanSkip::FailedCheckCode;
    default: return ScanSkip::FailedBodyLength;
  }
}

}  // namespace

std::size_t scanPackets(const char* data, std::size_t size, PacketSink& sink) {
  std::size_t pos = 0;
  const auto skipNoiseUntil = [&](std::size_t to) {
    if (to > pos) sink.onSkipped(data + pos, to - pos, to - pos, ScanSkip::Noise);
  };
  // The scan resumes right after a rejected head marker: a real packet may begin inside the
  // false one.
  const auto rejectHead = [&](std::size_t head, std::size_t readable, ScanSkip why) {
    sink.onSkipped(data + head, packet::kMarkerSize, readable, why);
    pos = head + packet::kMarkerSize;
  };
  while (pos < size) {
    const std::size_t head = findHead(data, pos, size);
    if (head == size) {
      const std::size_t keep = partialHeadStart(data, pos, size);
      skipNoiseUntil(keep);
      return keep;
    }
    skipNoiseUntil(head);
    const std::size_t available = size - head;
    if (available < packet::kOverhead) return head;

    const long length = packet::readField(data + head + packet::kLengthOffset, packet::kFieldWidth);
    if (length < static_cast<long>(packet::kOverhead)) {
      rejectHead(head, available, ScanSkip::ShortLength);
      continue;
    }
    const auto packetSize = static_cast<std::size_t>(length);
    if (available < packetSize) {
      // A head whose body length already disagrees with its packet length can never complete:
      // waiting for it would hold up every packet behind it, up to the largest length there is.
      if (packet::readField(data + head + packet::kBodyLenOffset, packet::kFieldWidth) !=
          length - static_cast<long>(packet::kOverhead)) {
        rejectHead(head, available, ScanSkip::LengthMismatch);
        continue;
      }
      return head;
    }
    if (std::memcmp(data + head + packetSize - packet::kMarkerSize, packet::kTail, packet::kMarkerSize) != 0) {
      rejectHead(head, packetSize, ScanSkip::BadTail);
      continue;
    }

    const ADataParse candidate(data + head, static_cast<int>(length));
    const ADataParse::Failure failure = candidate.firstFailure(sink.writesCheckMessages());
    if (failure == ADataParse::Failure::None) {
      sink.onPacket(candidate.cmdId(), candidate.getDataBody(), candidate.getDataLen());
      pos = head + packetSize;
    } else {
      rejectHead(head, packetSize, skipOf(failure));
      sink.onBadPacket();
    }
  }
  return size;
}

void PacketAccumulator::scan(PacketSink& sink) {
  const std::size_t done = scanPackets(buffer_.data(), buffer_.size(), sink);
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(done));
}
