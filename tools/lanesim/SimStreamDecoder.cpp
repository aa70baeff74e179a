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

SimStreamDecoder::SimStreamDecoder(std::string direction, std::string connection, SimEcho& echo)
    : direction_(std::move(direction)),
      connection_(std::move(connection)),
      tag_(connection_ + " " + direction_),
      echo_(echo) {}

void SimStreamDecoder::feed(const char* data, std::size_t size) {
  accumulator_.append(data, size);
  accumulator_.scan(*this);
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
  const std::string body(message + packet::kMessageBodyOffset, length - packet::kMessageBodyOffset);
  echo_.line(simtext::packetLine(direction_, connection_, id,
                                 simtext::serialOf(message + packet::kMessageSerialOffset), body));
}

void SimStreamDecoder::onSkipped(const char* data, std::size_t count, std::size_t readable,
                                 ScanSkip why) {
  skipped_ += count;
  switch (why) {
    case ScanSkip::Noise:
      break;
    case ScanSkip::ShortLength:
      flag("bad packet length " + lengthField(data) + " after a head marker (below " +
           std::to_string(packet::kOverhead) + ")");
      break;
    case ScanSkip::LengthMismatch:
      flag("bad body length " + bodyLengthField(data) + where(data));
      break;
    case ScanSkip::BadTail:
      flag("bad tail marker" + where(data));
      break;
    case ScanSkip::FailedPacketLength:
      flag("bad packet length" + where(data));
      break;
    case ScanSkip::FailedCheckCode:
      flag("bad check code " + fieldAt(data, readable - packet::kCheckCodeFromEnd, packet::kCheckCodeSize) +
           " (computed " + checkCodeOf(data, readable) + ")" + where(data));
      break;
    case ScanSkip::FailedBodyLength:
      flag("bad body length " + bodyLengthField(data) + where(data));
      break;
  }
}

void SimStreamDecoder::flag(const std::string& what) { echo_.line("flag " + tag_ + " " + what); }

void SimStreamDecoder::tellSkipped() {
  if (skipped_ == 0) return;
  echo_.line("skip " + tag_ + " " + std::to_string(skipped_) + " bytes that are no packet");
  skipped_ = 0;
}
