#include "SimStreamDecoder.h"

#include "SimPacketText.h"
#include "transport/ADataParse.h"
#include "transport/Packet.h"

namespace {

std::string fieldAt(const char* head, std::size_t offset, std::size_t width) {
  return simtext::oneLine(std::string(head + offset, width));
}

std::string lengthField(const char* head) {
  return fieldAt(head, packet::kLengthOffset, packet::kFieldWidth);
}

std::string bodyLengthField(const char* head) {
  return fieldAt(head, packet::kBodyLenOffset, packet::kFieldWidth);
}

// " in ID NAME SERIAL, packet length LENGTH": where a flag points, from a readable header alone, so
// that a candidate is told the same however the stream was cut.
std::string where(const char* head) {
  const std::string id(head + packet::kCmdIdOffset, packet::kCmdIdWidth);
  return " in " + simtext::oneLine(id) + ' ' + simtext::commandName(id) + ' ' +
         fieldAt(head, packet::kSerialOffset, packet::kFieldWidth) + ", packet length " + lengthField(head);
}

std::string checkCodeOf(const char* head, std::size_t size) {
  char code[packet::kCheckCodeSize];
  ADataParse::ssh_crc32(BufView<8>(code), head + packet::kChecksumStart,
                        static_cast<unsigned>(size - packet::kUnchecksummed));
  return std::string(code, sizeof code);
}

}  // namespace

SimStreamDecoder::SimStreamDecoder(std::string direction, std::string connection, SimEcho& echo,
                                   SimExchanges* exchanges, Source source)
    : direction_(std::move(direction)),
      connection_(std::move(connection)),
      tag_(connection_ + " " + direction_),
      echo_(echo),
      exchanges_(exchanges),
      source_(source) {}

void SimStreamDecoder::feed(const char* data, std::size_t size, Clock::time_point now) {
  lastFed_ = now;
  accumulator_.append(data, size);
  accumulator_.scan(*this);
}

void SimStreamDecoder::quiet(Clock::time_point now) {
  if (now - lastFed_ >= kQuietTime) tellSkipped();
}

void SimStreamDecoder::finish() {
  tellSkipped();
  if (accumulator_.pending() > 0) {
    echo_.line("skip " + tag_ + " " + std::to_string(accumulator_.pending()) +
               " bytes of an unfinished packet at the end");
  }
}

void SimStreamDecoder::onPacket(int, const char* message, unsigned length) {
  tellSkipped();
  const std::string id(message, packet::kCmdIdWidth);
  const unsigned serial = simtext::serialOf(message + packet::kMessageSerialOffset);
  const std::string body(message + packet::kMessageBodyOffset, length - packet::kMessageBodyOffset);
  SimExchanges::Remark remark;
  if (exchanges_ != nullptr && source_ == Source::Lane) exchanges_->fromLane(id, serial, body, lastFed_);
  if (exchanges_ != nullptr && source_ == Source::Server) remark = exchanges_->fromServer(id, serial, body, lastFed_);
  echo_.line(simtext::packetLine(direction_, connection_, id, serial, body, remark.latency));
  for (const std::string& flag : remark.flags) echo_.line(flag);
}

void SimStreamDecoder::onSkipped(const char* data, std::size_t count, std::size_t readable,
                                 ScanSkip why) {
  skipped_ += count;
  switch (why) {
    case ScanSkip::Noise:
      break;
    case ScanSkip::ShortLength:
      flag("bad packet length " + lengthField(data) + " after a head marker (below " +
               std::to_string(packet::kOverhead) + ")",
           nullptr);
      break;
    case ScanSkip::LengthMismatch:
      flag("bad body length " + bodyLengthField(data) + where(data), data);
      break;
    case ScanSkip::BadTail:
      flag("bad tail marker" + where(data), data);
      break;
    case ScanSkip::FailedPacketLength:
      flag("bad packet length" + where(data), data);
      break;
    case ScanSkip::FailedCheckCode:
      flag("bad check code " + fieldAt(data, readable - packet::kCheckCodeFromEnd, packet::kCheckCodeSize) +
           " (computed " + checkCodeOf(data, readable) + ")" + where(data),
           data);
      break;
    case ScanSkip::FailedBodyLength:
      flag("bad body length " + bodyLengthField(data) + where(data), data);
      break;
  }
}

void SimStreamDecoder::flag(const std::string& what, const char* head) {
  if (exchanges_ != nullptr) {
    exchanges_->badPacket(head != nullptr ? std::string(head + packet::kCmdIdOffset, packet::kCmdIdWidth) : "");
  }
  echo_.line("flag " + tag_ + " " + what);
}

void SimStreamDecoder::tellSkipped() {
  if (skipped_ == 0) return;
  echo_.line("skip " + tag_ + " " + std::to_string(skipped_) + " bytes that are no packet");
  skipped_ = 0;
}
