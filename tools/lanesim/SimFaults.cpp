#include "SimFaults.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>

#include "transport/Packet.h"

namespace {

constexpr std::uint32_t kStreamSpread = 0x9E3779B9u;  // keeps the streams of one seed apart
constexpr std::uint32_t kDrawResolution = 1000000;     // chances are drawn in millionths
constexpr std::uint32_t kMaxGarbage = 64;              // bytes of one piece of garbage
constexpr unsigned char kGarbageTop = 0xFE;            // garbage never holds 0xFF: no head marker
// A head promising the largest packet there is, whose body length field gives it away.
constexpr char kHugeHeadFields[] = "99999999" "261206173005123" "01" "03101" "00000000" "00000010";
constexpr char kShortLength[] = "00000007";
constexpr char kFullLength[] = "00000060";
constexpr char kFiller = '0';

std::string headMarker() { return std::string(reinterpret_cast<const char*>(packet::kHead), packet::kMarkerSize); }

}  // namespace

bool SimFaultPlan::active() const {
  return sliceBytes > 0 || pauseMs > 0 || cutAfterBytes >= 0 || noRead || lateMs > 0 || garbage > 0 ||
         badCheckCode > 0 || lowerCaseCheckCode > 0 || falseHeads > 0 || hugeHeads > 0 ||
         staleSerials > 0 || unknownPushes > 0 || unknownIdFlood > 0;
}

SimFaultInjector::SimFaultInjector(const SimFaultPlan& plan, unsigned stream)
    : plan_(plan), rng_(plan.seed ^ (stream * kStreamSpread)) {}

bool SimFaultInjector::chance(double probability) {
  if (probability <= 0) return false;
  if (probability >= 1) return true;
  return below(kDrawResolution) < static_cast<std::uint32_t>(probability * kDrawResolution);
}

std::uint32_t SimFaultInjector::below(std::uint32_t bound) { return static_cast<std::uint32_t>(rng_() % bound); }

std::string SimFaultInjector::garbageBytes() {
  std::string bytes(1 + below(kMaxGarbage), '\0');
  for (char& c : bytes) c = static_cast<char>(below(kGarbageTop));
  return bytes;
}

std::string SimFaultInjector::falseHead() {
  // Either a length below the minimum, or a full-size candidate whose tail is wrong.
  if (below(2) == 0) return headMarker() + kShortLength;
  std::string head = headMarker() + kFullLength;
  head.resize(packet::kOverhead, kFiller);
  return head;
}

std::string SimFaultInjector::hugeHead() { return headMarker() + kHugeHeadFields; }

std::string SimFaultInjector::mangle(std::string bytes) {
  if (bytes.size() >= packet::kOverhead) {
    char* code = &bytes[bytes.size() - packet::kCheckCodeFromEnd];
    if (chance(plan_.badCheckCode)) {
      // Another hex digit in one place: the code no longer matches.
      const std::size_t at = below(packet::kCheckCodeSize);
      code[at] = code[at] == '0' ? '1' : '0';
    }
    if (chance(plan_.lowerCaseCheckCode)) {
      std::transform(code, code + packet::kCheckCodeSize, code,
                     [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    }
  }
  std::string before;
  if (chance(plan_.garbage)) before += garbageBytes();
  if (chance(plan_.falseHeads)) before += falseHead();
  if (chance(plan_.hugeHeads)) before += hugeHead();
  return before + bytes;
}

std::vector<SimSlice> SimFaultInjector::slice(const std::string& bytes) {
  std::vector<SimSlice> slices;
  std::size_t end = bytes.size();
  const bool cut =
      plan_.cutAfterBytes >= 0 && delivered_ + static_cast<long long>(end) >= plan_.cutAfterBytes;
  if (cut) end = static_cast<std::size_t>(plan_.cutAfterBytes - delivered_);
  const std::chrono::milliseconds pause(plan_.pauseMs);
  for (std::size_t at = 0; at < end;) {
    std::size_t size = end - at;
    if (plan_.sliceBytes > 0) size = std::min<std::size_t>(size, 1 + below(static_cast<std::uint32_t>(plan_.sliceBytes)));
    slices.push_back(SimSlice{bytes.substr(at, size), at == 0 ? std::chrono::milliseconds(0) : pause, false});
    at += size;
  }
  delivered_ += static_cast<long long>(end);
  if (cut) {
    if (slices.empty()) slices.push_back(SimSlice{});
    slices.back().cutAfter = true;
  }
  return slices;
}

namespace simfaults {

namespace {

using Reader = std::function<bool(const Json::Value&, SimFaultPlan&)>;

Reader chanceOf(double SimFaultPlan::*member) {
  return [member](const Json::Value& v, SimFaultPlan& plan) {
    if (!v.isNumeric() || v.asDouble() < 0 || v.asDouble() > 1) return false;
    plan.*member = v.asDouble();
    return true;
  };
}

Reader intOf(int SimFaultPlan::*member, int max) {
  return [member, max](const Json::Value& v, SimFaultPlan& plan) {
    if (!v.isInt() || v.asInt() < 0 || v.asInt() > max) return false;
    plan.*member = v.asInt();
    return true;
  };
}

Reader flagOf(bool SimFaultPlan::*member) {
  return [member](const Json::Value& v, SimFaultPlan& plan) {
    if (!v.isBool()) return false;
    plan.*member = v.asBool();
    return true;
  };
}

struct Member {
  Reader read;
  const char* expected;
  bool stream;  // acts on a stream of bytes, such as forwarded traffic, not only on packets
};

const std::map<std::string, Member>& members() {
  static const std::string delay = "an integer from 0 to " + std::to_string(kMaxDelayMs);
  static const std::string flood = "an integer from 0 to " + std::to_string(kMaxFlood);
  static const std::string sliceBytes = "an integer from 0 to " + std::to_string(kMaxSliceBytes);
  static const std::map<std::string, Member> readers = {
      {"Seed", {[](const Json::Value& v, SimFaultPlan& plan) {
                  if (!v.isUInt()) return false;
                  plan.seed = v.asUInt();
                  return true;
                }, "an unsigned 32-bit integer", true}},
      {"SliceBytes", {[](const Json::Value& v, SimFaultPlan& plan) {
                        if (!v.isUInt() || v.asUInt() > kMaxSliceBytes) return false;
                        plan.sliceBytes = v.asUInt();
                        return true;
                      }, sliceBytes.c_str(), true}},
      {"PauseMs", {intOf(&SimFaultPlan::pauseMs, kMaxDelayMs), delay.c_str(), true}},
      {"CutAfterBytes", {[](const Json::Value& v, SimFaultPlan& plan) {
                           if (!v.isInt64() || v.asInt64() < -1) return false;
                           plan.cutAfterBytes = v.asInt64();
                           return true;
                         }, "an integer from -1 (never) up", true}},
      {"Reset", {flagOf(&SimFaultPlan::reset), "true or false", true}},
      {"NoRead", {flagOf(&SimFaultPlan::noRead), "true or false", true}},
      {"LateMs", {intOf(&SimFaultPlan::lateMs, kMaxDelayMs), delay.c_str(), true}},
      {"Garbage", {chanceOf(&SimFaultPlan::garbage), "a chance from 0 to 1", false}},
      {"BadCheckCode", {chanceOf(&SimFaultPlan::badCheckCode), "a chance from 0 to 1", false}},
      {"LowerCaseCheckCode", {chanceOf(&SimFaultPlan::lowerCaseCheckCode), "a chance from 0 to 1", false}},
      {"FalseHeads", {chanceOf(&SimFaultPlan::falseHeads), "a chance from 0 to 1", false}},
      {"HugeHeads", {chanceOf(&SimFaultPlan::hugeHeads), "a chance from 0 to 1", false}},
      {"StaleSerials", {chanceOf(&SimFaultPlan::staleSerials), "a chance from 0 to 1", false}},
      {"UnknownPushes", {chanceOf(&SimFaultPlan::unknownPushes), "a chance from 0 to 1", false}},
      {"UnknownIdFlood", {intOf(&SimFaultPlan::unknownIdFlood, kMaxFlood), flood.c_str(), false}},
  };
  return readers;
}

bool parseMembers(const Json::Value& doc, const std::string& object, bool streamOnly,
                  SimFaultPlan& plan, std::string* error) {
  if (!doc.isObject()) return fail(error, object + " must be an object");
  SimFaultPlan read = plan;
  for (const std::string& name : doc.getMemberNames()) {
    const auto found = members().find(name);
    if (found == members().end()) return fail(error, object + ": unknown member \"" + name + "\"");
    if (streamOnly && !found->second.stream) {
      return fail(error, object + "." + name + " acts on packets the simulator makes, not on forwarded bytes");
    }
    if (!found->second.read(doc[name], read)) {
      return fail(error, object + "." + name + " must be " + found->second.expected);
    }
  }
  plan = read;
  return true;
}

}  // namespace

bool parse(const Json::Value& doc, SimFaultPlan& plan, std::string* error) {
  return parseMembers(doc, "Faults", false, plan, error);
}

bool parseStream(const Json::Value& doc, const std::string& object, SimFaultPlan& plan,
                 std::string* error) {
  return parseMembers(doc, object, true, plan, error);
}

}  // namespace simfaults
