// Decodes one direction of a forwarded connection for the log, from a copy of its bytes: one line
// per packet, a flag line for every bad check code, length or marker, and the number of bytes that
// were no packet. It only observes: the stream itself is forwarded elsewhere, unchanged.
#pragma once

#include <cstddef>
#include <string>

#include "SimEcho.h"
#include "transport/PacketScanner.h"

class SimStreamDecoder : private PacketSink {
 public:
  // `direction` begins every packet line, such as "lane->server", and `connection` is the printed
  // name of the connection ("#1"); `echo` must outlive the decoder.
  SimStreamDecoder(std::string direction, std::string connection, SimEcho& echo);
  SimStreamDecoder(const SimStreamDecoder&) = delete;
  SimStreamDecoder& operator=(const SimStreamDecoder&) = delete;

  // The next bytes of the stream, however they were cut. One thread at a time.
  void feed(const char* data, std::size_t size);
  // The stream has ended: tells the bytes passed over since the last packet and those of an
  // unfinished packet at the end.
  void finish();

 private:
  void onPacket(int cmdId, const char* message, unsigned length) override;
  void onBadPacket() override {}
  void onSkipped(const char* data, std::size_t count, std::size_t readable, ScanSkip why) override;

  void flag(const std::string& what);
  void tellSkipped();

  const std::string direction_;
  const std::string connection_;
  const std::string tag_;  // "#n direction", the start of flag and skip lines
  SimEcho& echo_;
  PacketAccumulator accumulator_;
  std::size_t skipped_ = 0;  // bytes passed over since the last packet line
};
