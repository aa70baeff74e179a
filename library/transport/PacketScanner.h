// The receive scan: cuts packets out of an accumulated byte stream. Pure: no socket, no thread.
#pragma once

#include <cstddef>
#include <vector>

// Why a scan passed over bytes without delivering a packet.
enum class ScanSkip {
  Noise,           // bytes before a head marker
  ShortLength,     // a head whose packet length field reads below 60
  LengthMismatch,  // an incomplete candidate whose body length field disagrees with its length
  BadTail,         // a complete candidate without the tail marker where its length ends
  // A complete candidate that failed a check of ADataParse, told by the first one it failed
  // (onBadPacket follows).
  FailedPacketLength,
  FailedCheckCode,
  FailedBodyLength,
};

// Receives what one scan finds.
class PacketSink {
 public:
  virtual ~PacketSink() = default;
  // A packet that passed every check: its command id and its message part (valid during the call).
  virtual void onPacket(int cmdId, const char* message, unsigned length) = 0;
  // A candidate with markers and length in place that failed a check.
  virtual void onBadPacket() = 0;
  // Bytes the scan is done with that are in no delivered packet: a run of noise, or the head marker
  // of a rejected candidate, after which the scan resumes. `data` (valid during the call) holds
  // `count` bytes; for a rejected head, `readable` bytes from `data` may be read (at least the
  // 60 of a header and trailer, and the whole candidate for a bad tail or a failed check), else
  // `readable` equals `count`. Every byte given to a scan is, in the end, delivered, skipped or
  // still kept, and skipped once at most. Observers of a stream use it; the default ignores it.
  virtual void onSkipped(const char* data, std::size_t count, std::size_t readable, ScanSkip why) {
    (void)data, (void)count, (void)readable, (void)why;
  }
  // Whether a candidate that fails a check writes that check's message to the standard error
  // stream, as the lane's receive thread does. A program with output of its own (the simulator and
  // its forwarder) says the same in its own lines and turns it off.
  virtual bool writesCheckMessages() const { return true; }
};

// Scans `size` bytes from `data` and hands every complete packet to the sink, in order. Returns
// the number of leading bytes that are done with; the bytes from there on (an incomplete packet, or
// the start of a head marker at the very end) must be kept for the next scan. Bytes before a head
// marker and false heads (length below 60, wrong tail, or an incomplete packet whose body length
// field disagrees with its length) are dropped, told only to onSkipped.
std::size_t scanPackets(const char* data, std::size_t size, PacketSink& sink);

// The accumulation buffer of a connection: appends received bytes, scans, and compacts once per
// scan by moving the kept bytes to the front. One thread at a time.
class PacketAccumulator {
 public:
  static constexpr std::size_t kInitialReserve = 10240;

  PacketAccumulator() { buffer_.reserve(kInitialReserve); }
  void append(const char* data, std::size_t size) { buffer_.insert(buffer_.end(), data, data + size); }
  // Delivers what the buffer holds, then keeps only the bytes a later packet may still need.
  void scan(PacketSink& sink);
  std::size_t pending() const { return buffer_.size(); }
  std::size_t capacity() const { return buffer_.capacity(); }
  const char* data() const { return buffer_.data(); }

 private:
  std::vector<char> buffer_;
};
