// What was wrong with a candidate packet that the receive scan rejected, in words for a log line.
// Pure: reads the candidate's bytes only.
#pragma once

#include <cstddef>
#include <string>

#include "transport/PacketScanner.h"

namespace packetfault {

// True for the candidates that had a packet's markers and length yet failed a check or can never
// complete; false for noise and false heads, which the scan drops without a word.
bool isFault(ScanSkip why);

// "bad check code CFEAC020, computed CFEAC520", or "bad body length 00000012, expected 00000015";
// empty when isFault(why) is false. `head` and `readable` as PacketSink::onSkipped gives them.
std::string describe(const char* head, std::size_t readable, ScanSkip why);

// `size` bytes as printable text for a log line: bytes outside printable ASCII as \xHH.
std::string printable(const char* at, std::size_t size);

}  // namespace packetfault
