// Result codes of the library, by the layer that produces them. A server's own "ErrorCode" is
// passed through as it is and may take any other value.
#pragma once

namespace result {

constexpr int kOk = 0;                // success
constexpr int kInitFailed = -1;       // Init: configuration rejected or a lane failed to start
constexpr int kConnectFailed = -1;    // connectToServer: the connection could not be made
constexpr int kConnectInProgress = 1; // connectToServer: another connect on the client runs
constexpr int kChannelBusy = 1;       // a request of the same channel is still waiting
constexpr int kNoResponse = 2;        // no answer before the deadline (also: channel pending)
constexpr int kRejected = 3;          // input rejected before anything was sent
constexpr int kNothingStashed = 3;    // GetResponse: no output kept for this thread
constexpr int kUnusableAnswer = 4;    // a two-step read got an intermediate answer it cannot use
constexpr int kStashed = 5;           // output did not fit the caller's buffer; fetch with GetResponse
constexpr int kNotWritten = 6;        // the request packet was not written before the deadline
constexpr int kBadErrorCode = 998;    // the server's "ErrorCode" does not read as an integer
constexpr int kException = 999;       // an exception reached the exported boundary
constexpr int kNoSession = 1000;      // no running session for the lane number

}  // namespace result
