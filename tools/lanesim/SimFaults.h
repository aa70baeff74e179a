// Faults the simulator can inject into what it sends: how the bytes are delivered (slices, pauses,
// a cut, a reset), what the packets look like (garbage, bad check codes, false and huge heads) and
// how the answers behave (late, stale serials, unknown pushes, floods of unknown ids, no reading).
// Every random choice comes from a seeded generator, so a plan and a seed replay the same faults
// for the same sequence of sends.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <json/json.h>

struct SimFaultPlan {
  std::uint32_t seed = 1;
  // Delivery.
  std::size_t sliceBytes = 0;    // 0: bytes go out as they come; else slices of 1 to this many
  int pauseMs = 0;               // pause before every slice but the first of a send
  long long cutAfterBytes = -1;  // end the connection once this many bytes were sent; -1: never
  bool reset = false;            // the cut resets the connection instead of closing it in order
  bool noRead = false;           // read nothing the lane sends (its writes then meet their deadline)
  // Answers.
  int lateMs = 0;                // every answer and push this much later
  double garbage = 0;            // chance of random bytes before a packet
  double badCheckCode = 0;       // chance of a wrong check code
  double lowerCaseCheckCode = 0; // chance of a check code in lower-case hex
  double falseHeads = 0;         // chance of a false head (short length or wrong tail) before a packet
  double hugeHeads = 0;          // chance of a head promising a huge packet that never comes
  double staleSerials = 0;       // chance of an answer carrying an earlier serial
  double unknownPushes = 0;      // chance of a payment push for a transaction nobody started
  int unknownIdFlood = 0;        // packets with ids the lane does not know, sent before every answer

  // True when any fault is switched on.
  bool active() const;
};

// One piece of a delivery: its bytes, the pause before it, and whether the connection ends after it.
struct SimSlice {
  std::string bytes;
  std::chrono::milliseconds pauseBefore{0};
  bool cutAfter = false;
};

// The faults of one stream of bytes (one connection): the plan and the state of its seeded
// generator and of the cut. Not thread-safe: its owner serialises the calls.
class SimFaultInjector {
 public:
  // `stream` tells streams of one plan apart, so that two connections do not draw the same faults.
  explicit SimFaultInjector(const SimFaultPlan& plan = SimFaultPlan(), unsigned stream = 0);

  const SimFaultPlan& plan() const { return plan_; }
  // A seeded draw that holds with the given chance (0 never, 1 always).
  bool chance(double probability);
  // A seeded number from 0 to bound - 1 (bound > 0).
  std::uint32_t below(std::uint32_t bound);

  // One packet as it goes on the wire: maybe garbage, a false head or a huge head before it, maybe
  // a wrong or lower-case check code.
  std::string mangle(std::string packetBytes);
  // Cuts bytes into the slices to deliver. With a cut in the plan, the slice that reaches it is
  // marked (cutAfter) and ends the delivery; its owner sends nothing after that.
  std::vector<SimSlice> slice(const std::string& bytes);

 private:
  std::string garbageBytes();
  std::string falseHead();
  std::string hugeHead();

  SimFaultPlan plan_;
  std::mt19937 rng_;
  long long delivered_ = 0;  // bytes handed to slices since the plan was set
};

namespace simfaults {

// Longest pause or lateness a plan may ask for.
constexpr int kMaxDelayMs = 600000;
// Largest slice a plan may ask for.
constexpr unsigned kMaxSliceBytes = 1u << 20;
// Most unknown-id packets a plan may send before one answer.
constexpr int kMaxFlood = 1000;

// Reads a "Faults" object of a scenario over `plan`. False, with the reason, on a bad member.
bool parse(const Json::Value& doc, SimFaultPlan& plan, std::string* error);
// The same for faults on forwarded bytes, in an object called `object` (for the reason): only
// the delivery members Seed, SliceBytes, PauseMs, CutAfterBytes, Reset, NoRead and LateMs; the
// members that make or spoil packets are errors.
bool parseStream(const Json::Value& doc, const std::string& object, SimFaultPlan& plan,
                 std::string* error);

// How the scenario readers give up: stores the reason where one is asked for; returns false.
inline bool fail(std::string* error, const std::string& message) {
  if (error != nullptr) *error = message;
  return false;
}

}  // namespace simfaults
