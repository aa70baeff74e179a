// Decodes one direction of a forwarded connection for the log, from a copy of its bytes: one line
// per packet (an answer's with the time since its request), a flag line for every bad check code,
// length or marker and for what the pair's exchanges flag, and the number of bytes that were no
// packet. It only observes: the stream itself is forwarded elsewhere, unchanged.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "SimEcho.h"
#include "SimExchanges.h"
#include "transport/PacketScanner.h"

class SimStreamDecoder : private PacketSink {
 public:
  using Clock = std::chrono::steady_clock;
  // Bytes that are no packet are told once the stream has been quiet this long.
  static constexpr std::chrono::milliseconds kQuietTime{100};
  enum class Source { Lane, Server };

  // `direction` begins every packet line, such as "lane->server", and `connection` is the printed
  // name of the connection ("#1"). The packets are told to `exchanges` (when given) as sent by
  // `source`. `echo` and `exchanges` must outlive the decoder.
  SimStreamDecoder(std::string direction, std::string connection, SimEcho& echo,
                   SimExchanges* exchanges = nullptr, Source source = Source::Lane);
  SimStreamDecoder(const SimStreamDecoder&) = delete;
  SimStreamDecoder& operator=(const SimStreamDecoder&) = delete;

  // The next bytes of the stream, however they were cut, received at `now`. One thread at a time.
  void feed(const char* data, std::size_t size, Clock::time_point now);
  // Tells the bytes passed over since the last packet once nothing has come for kQuietTime.
  void quiet(Clock::time_point now);
  // The stream has ended: tells the bytes passed over since the last packet and those of an
  // unfinished packet at the end.
  void finish();

 private:
  void onPacket(int cmdId, const char* message, unsigned length) override;
  void onBadPacket() override {}
  bool writesCheckMessages() const override { return false; }
  void onSkipped(const char* data, std::size_t count, std::size_t readable, ScanSkip why) override;

  // A flag line, counted for the command of the candidate that starts at `head` (null: none).
  void flag(const std::string& what, const char* head);
  void tellSkipped();

  const std::string direction_;
  const std::string connection_;
  const std::string tag_;  // "#n direction", the start of flag and skip lines
  SimEcho& echo_;
  SimExchanges* const exchanges_;
  const Source source_;
  PacketAccumulator accumulator_;
  std::size_t skipped_ = 0;  // bytes passed over since the last packet line
  Clock::time_point lastFed_{};
};
