#include "Wire.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <json/json.h>

#include "common/JsonText.h"
#include "transport/Package.h"
#include "transport/Packet.h"

namespace wire {
namespace {

constexpr const char* kPlaceholderTime = "261206173005123";
constexpr int kListQueryId = 3014;
constexpr int kFirstRequestId = 3001;
constexpr int kLastRequestId = 3032;
constexpr std::size_t kIdScratch = 16;  // any int fits

std::string styledObject(std::initializer_list<std::pair<const char*, const char*>> members) {
  Json::Value doc(Json::objectValue);
  for (const auto& m : members) doc[m.first] = m.second;
  return jsontext::styled(doc);
}

}  // namespace

void PacketCutter::append(const char* data, std::size_t size) {
  if (start_ > 0 && start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  }
  buffer_.append(data, size);
}

bool PacketCutter::next(std::string& packet) {
  const std::size_t available = buffer_.size() - start_;
  if (available < packet::kOverhead) return false;
  const long length = packet::readField(buffer_.data() + start_ + packet::kLengthOffset,
                                        packet::kFieldWidth);
  if (length < static_cast<long>(packet::kOverhead) ||
      available < static_cast<std::size_t>(length)) {
    return false;
  }
  packet.assign(buffer_, start_, static_cast<std::size_t>(length));
  start_ += static_cast<std::size_t>(length);
  return true;
}

bool readPacket(platform::SocketHandle s, PacketCutter& cutter, std::string& packet) {
  char chunk[kReadChunk];
  while (!cutter.next(packet)) {
    const long received = platform::recvBytes(s, chunk, sizeof chunk);
    if (received <= 0) return false;
    cutter.append(chunk, static_cast<std::size_t>(received));
  }
  return true;
}

bool sendAll(platform::SocketHandle s, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const long sent = platform::sendBytes(s, bytes.data() + done, bytes.size() - done);
    if (sent <= 0) return false;
    done += static_cast<std::size_t>(sent);
  }
  return true;
}

std::string packetWith(const std::string& body, const char (&cmdId)[6], unsigned serial) {
  const Package p(body.data(), static_cast<unsigned>(body.size()), BufView<5>(cmdId), serial,
                  kPlaceholderTime);
  return std::string(p.returnmsg(), p.size());
}

std::string listQueryRequestBody() {
  Json::Value doc;
  jsontext::parse(kListQueryInput, doc);
  doc["UserName"] = "bench";
  doc["ProvinceNo"] = "44";
  doc["CityNo"] = "01";
  doc["AreaNo"] = "0101";
  doc["GateNo"] = "02";
  doc["LaneNo"] = "01";
  doc["ListOP"] = "1";
  doc["OpSerialNo"] = "1234";
  return jsontext::styled(doc);
}

std::string listQueryRequestPacket() { return packetWith(listQueryRequestBody(), "03014", 1); }

AnswerBook::AnswerBook() {
  std::map<int, std::string> bodies;
  bodies[kListQueryId] = styledObject({{"CardNo", "4401234567890123"},
                                       {"ErrorCode", "0"},
                                       {"ErrorMsg", ""},
                                       {"ListOP", "1"},
                                       {"ListType", "1"},
                                       {"ListVer", "20261206000001"},
                                       {"Status", "1"}});
  // The card reader and RSU answers name their operation; every other kind needs the code only.
  bodies[3012] = styledObject({{"ErrorCode", "0"}, {"ICReaderOP", "4"}});
  bodies[3024] = bodies[3012];
  bodies[3007] = styledObject({{"ErrorCode", "0"}, {"OpType", "4"}});
  bodies[3023] = bodies[3007];
  const std::string generic = styledObject({{"ErrorCode", "0"}});
  for (int id = kFirstRequestId; id <= kLastRequestId; ++id) {
    const auto found = bodies.find(id);
    char text[kIdScratch];
    std::snprintf(text, sizeof text, "%05d", id + kAnswerIdOffset);
    char answerId[packet::kCmdIdWidth + 1] = {};
    std::memcpy(answerId, text, packet::kCmdIdWidth);
    packets_[id] = packetWith(found != bodies.end() ? found->second : generic, answerId, 0);
  }
}

const std::string* AnswerBook::answer(const std::string& request, std::string& out) const {
  const int requestId = static_cast<int>(
      packet::readField(request.data() + packet::kCmdIdOffset, packet::kCmdIdWidth));
  const auto found = packets_.find(requestId);
  if (found == packets_.end()) return nullptr;
  out = found->second;
  std::memcpy(&out[packet::kSerialOffset], request.data() + packet::kSerialOffset,
              packet::kFieldWidth);
  const std::size_t checked = out.size() - packet::kUnchecksummed;
  packet::writeCheckCode(BufView<8>(&out[packet::kChecksumStart + checked]),
                         out.data() + packet::kChecksumStart, checked);
  return &out;
}

}  // namespace wire
