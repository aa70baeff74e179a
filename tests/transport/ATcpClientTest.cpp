#include "transport/ATcpClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "PacketBytes.h"
#include "RawPeer.h"
#include "TestSupport.h"
#include "common/ResultCodes.h"

using testsupport::RawPeer;
using testsupport::waitUntil;
using transporttest::packetBytes;
using transporttest::RecordingSink;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* kLoopback = "127.0.0.1";
constexpr unsigned kShortTimeOutMs = 300;
// What a test allows beyond a time-out for scheduling on a loaded machine.
constexpr milliseconds kSlack{700};
// How long a test looks for something that must not happen.
constexpr milliseconds kQuietPeriod{100};
// A body that cannot fit into the socket buffers of both ends while the peer does not read.
constexpr std::size_t kBeyondSocketBuffers = 16 * 1024 * 1024;

// Counts what a connection tells its owner.
class CountingListener : public LinkListener {
 public:
  void linkUp() override { ++up; }
  void linkLost() override { ++lost; }
  std::atomic<int> up{0};
  std::atomic<int> lost{0};
};

// Records the packets its receive thread hands over; can answer each one from that thread.
class RecordingClient : public ATcpClient {
 public:
  struct Received {
    int cmdId;
    std::string message;
  };

  RecordingClient() : ATcpClient("client", &listener) { setUiTimeOut(kShortTimeOutMs); }
  ~RecordingClient() override { closeSocket(); }

  CountingListener listener;  // used by the connections only, which end before it goes
  std::atomic<int> linkDowns{0};

  std::vector<Received> received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }
  std::size_t count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_.size();
  }
  std::vector<std::string> bodies() const {
    std::vector<std::string> out;
    for (const Received& r : received()) out.push_back(transporttest::bodyOf(r.message));
    return out;
  }
  bool waitForCount(std::size_t n) const {
    return waitUntil([&] { return count() >= n; });
  }
  void answerEachPacket() { answer_.store(true); }
  // Makes handlePackage throw for packets of this command id (0: never).
  void throwFor(int cmdId) { throwFor_.store(cmdId); }

 protected:
  void handlePackage(int cmdId, const char* data, unsigned len) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      received_.push_back({cmdId, std::string(data, len)});
    }
    if (cmdId == throwFor_.load()) throw std::runtime_error("Type is not convertible to string");
    if (answer_.load()) {
      static const char kAck[] = "{\"ack\":1}";
      writeData(kAck, sizeof kAck - 1, BufView<5>("03030"), 5, Clock::now() + milliseconds(1000));
    }
  }
  void onLinkDown() override { ++linkDowns; }

 private:
  mutable std::mutex mutex_;
  std::vector<Received> received_;  // guarded by mutex_
  std::atomic<bool> answer_{false};
  std::atomic<int> throwFor_{0};
};

Clock::time_point soon() { return Clock::now() + milliseconds(2000); }

bool write(ATcpClient& client, const std::string& body, unsigned serial = 1) {
  return client.writeData(body.data(), static_cast<long long>(body.size()), BufView<5>("03001"), serial, soon());
}

// Parses what a peer received into checked packets.
RecordingSink parse(const std::string& bytes, std::size_t* leftOver = nullptr) {
  RecordingSink sink;
  const std::size_t done = scanPackets(bytes.data(), bytes.size(), sink);
  if (leftOver != nullptr) *leftOver = bytes.size() - done;
  return sink;
}

class ATcpClientTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::clearFaults(); }

  // Connects the client to the peer and takes the connection on the peer's side.
  void connect(RecordingClient& client, RawPeer& peer) {
    ASSERT_NE(0, peer.port());
    ASSERT_EQ(result::kOk, client.connectToServer(kLoopback, peer.port()));
    ASSERT_TRUE(peer.accept());
  }

  RawPeer peer;
  RecordingClient client;
};

// ---- Connecting ---------------------------------------------------------------------------------

TEST_F(ATcpClientTest, ConnectToAClosedPortFailsAndLeavesNoSocket) {
  const std::uint16_t port = peer.port();
  peer.closeListener();
  EXPECT_EQ(result::kConnectFailed, client.connectToServer(kLoopback, port));
  EXPECT_FALSE(client.isConnecting());
  EXPECT_FALSE(write(client, "{}"));
}

TEST_F(ATcpClientTest, FailedConnectDropsThePreviousConnection) {
  connect(client, peer);
  RawPeer closed;
  const std::uint16_t port = closed.port();
  closed.closeListener();
  EXPECT_EQ(result::kConnectFailed, client.connectToServer(kLoopback, port));
  EXPECT_TRUE(peer.waitForClose());
  EXPECT_FALSE(write(client, "{}"));
}

TEST_F(ATcpClientTest, ConnectTimesOutNoLaterThanUiTimeOut) {
  testsupport::LogCapture log;
  ASSERT_TRUE(peer.saturateBacklog());
  const auto start = Clock::now();
  EXPECT_EQ(result::kConnectFailed, client.connectToServer(kLoopback, peer.port()));
  const auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, milliseconds(kShortTimeOutMs - 50));
  EXPECT_LT(elapsed, milliseconds(kShortTimeOutMs) + kSlack);
  EXPECT_FALSE(write(client, "{}"));
  EXPECT_TRUE(log.contains(" failed: no answer within 300 ms\n")) << log.text();
}

TEST_F(ATcpClientTest, ConnectWhileAnotherConnectRunsReturnsOneAtOnce) {
  ASSERT_TRUE(peer.saturateBacklog());
  // Long enough that the first connect still runs after a thread switch on a loaded machine.
  client.setUiTimeOut(2000);
  std::thread first([&] { EXPECT_EQ(result::kConnectFailed, client.connectToServer(kLoopback, peer.port())); });
  ASSERT_TRUE(waitUntil([&] { return client.isConnecting(); }));
  const auto start = Clock::now();
  EXPECT_EQ(result::kConnectInProgress, client.connectToServer(kLoopback, peer.port()));
  EXPECT_LT(Clock::now() - start, kSlack);
  EXPECT_TRUE(client.isConnecting());  // the second call left the flag alone
  first.join();
  EXPECT_FALSE(client.isConnecting());
}

TEST_F(ATcpClientTest, InjectedSystemFailuresMakeConnectFail) {
  platform::failNthCall(platform::Call::Socket, 1);
  EXPECT_EQ(result::kConnectFailed, client.connectToServer(kLoopback, peer.port()));
  platform::failNthCall(platform::Call::Wait, 1);
  EXPECT_EQ(result::kConnectFailed, client.connectToServer(kLoopback, peer.port()));
  EXPECT_FALSE(client.isConnecting());
  // Nothing is left behind: the next connect works.
  connect(client, peer);
}

TEST_F(ATcpClientTest, ConnectThatFailsAtOnceIsNotTakenForConnected) {
  // Not an address: the connect fails before anything is sent.
  EXPECT_EQ(result::kConnectFailed, client.connectToServer("no.such.address", peer.port()));
  platform::failNthCall(platform::Call::Connect, 1);
  EXPECT_EQ(result::kConnectFailed, client.connectToServer(kLoopback, peer.port()));
  EXPECT_FALSE(write(client, "{}"));
}

TEST_F(ATcpClientTest, ConnectReplacesThePreviousConnection) {
  connect(client, peer);
  RawPeer second;
  ASSERT_EQ(result::kOk, client.connectToServer(kLoopback, second.port()));
  ASSERT_TRUE(second.accept());
  EXPECT_TRUE(peer.waitForClose());
  ASSERT_TRUE(write(client, "{\"to\":2}"));
  EXPECT_EQ((std::vector<std::string>{"{\"to\":2}"}), parse(second.receive(68)).bodies());
}

// ---- Receiving ----------------------------------------------------------------------------------

TEST_F(ATcpClientTest, TwoPacketsInOneReceiptAreBothDeliveredInOrder) {
  connect(client, peer);
  ASSERT_TRUE(peer.send(packetBytes("{\"n\":1}", "03101", 1) + packetBytes("{\"n\":2}", "03121", 2)));
  ASSERT_TRUE(client.waitForCount(2));
  const auto got = client.received();
  EXPECT_EQ(3101, got[0].cmdId);
  EXPECT_EQ(3121, got[1].cmdId);
  EXPECT_EQ((std::vector<std::string>{"{\"n\":1}", "{\"n\":2}"}), client.bodies());
}

TEST_F(ATcpClientTest, PacketSplitOverSeveralReceiptsIsDeliveredWithItsLastByte) {
  connect(client, peer);
  const std::string bytes = "noise" + packetBytes("{\"parts\":4}", "03110", 9);
  // Cut inside the head marker, inside the header and inside the body.
  const std::size_t cuts[] = {0, 6, 30, 70};
  for (std::size_t i = 0; i + 1 < std::size(cuts); ++i) {
    ASSERT_TRUE(peer.send(bytes.substr(cuts[i], cuts[i + 1] - cuts[i])));
    // Nothing before the last byte; the pause also lets each part arrive as a receipt of its own.
    EXPECT_FALSE(waitUntil([&] { return client.count() > 0; }, kQuietPeriod)) << "after part " << i;
  }
  ASSERT_TRUE(peer.send(bytes.substr(70)));
  ASSERT_TRUE(client.waitForCount(1));
  EXPECT_EQ((std::vector<std::string>{"{\"parts\":4}"}), client.bodies());
}

TEST_F(ATcpClientTest, GarbageBeforeAMarkerIsDropped) {
  connect(client, peer);
  ASSERT_TRUE(peer.send(std::string(5000, 'g') + packetBytes("{}")));
  ASSERT_TRUE(client.waitForCount(1));
  EXPECT_EQ((std::vector<std::string>{"{}"}), client.bodies());
}

TEST_F(ATcpClientTest, BadCheckCodeIsDroppedAndTheFollowingGoodPacketDelivered) {
  connect(client, peer);
  std::string bad = packetBytes("{\"bad\":1}");
  bad[packet::kTimeOffset] ^= 0x01;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(peer.send(bad + packetBytes("{\"good\":1}")));
  const bool delivered = client.waitForCount(1);
  const std::string stderrText = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(delivered);
  EXPECT_EQ("校验码错误！\n", stderrText);
  EXPECT_EQ((std::vector<std::string>{"{\"good\":1}"}), client.bodies());
}

TEST_F(ATcpClientTest, PacketWhoseHandlerThrowsIsDroppedAndReceivingGoesOn) {
  client.throwFor(3199);
  connect(client, peer);
  ASSERT_TRUE(peer.send(packetBytes("{\"n\":1}", "03199") + packetBytes("{\"n\":2}", "03101")));
  ASSERT_TRUE(client.waitForCount(2));
  ASSERT_TRUE(peer.send(packetBytes("{\"n\":3}", "03101")));
  ASSERT_TRUE(client.waitForCount(3));
  EXPECT_EQ((std::vector<std::string>{"{\"n\":1}", "{\"n\":2}", "{\"n\":3}"}), client.bodies());
}

TEST_F(ATcpClientTest, LongPacketSpanningManyReceiptsIsDelivered) {
  connect(client, peer);
  const std::string body(200000, 'L');
  ASSERT_TRUE(peer.send(packetBytes(body) + packetBytes("{}")));
  ASSERT_TRUE(client.waitForCount(2));
  EXPECT_EQ((std::vector<std::string>{body, "{}"}), client.bodies());
}

TEST_F(ATcpClientTest, AfterTheServerClosesAReconnectReceivesAgain) {
  connect(client, peer);
  ASSERT_TRUE(peer.send(packetBytes("{\"first\":1}")));
  ASSERT_TRUE(client.waitForCount(1));
  peer.closeConnection();  // the receive thread ends by itself

  ASSERT_EQ(result::kOk, client.connectToServer(kLoopback, peer.port()));
  ASSERT_TRUE(peer.accept());
  ASSERT_TRUE(peer.send(packetBytes("{\"second\":1}")));
  ASSERT_TRUE(client.waitForCount(2));
  EXPECT_EQ((std::vector<std::string>{"{\"first\":1}", "{\"second\":1}"}), client.bodies());
}

// ---- The end of a connection -----------------------------------------------------------------

TEST_F(ATcpClientTest, ConnectionLostByAFailedReceiveIsReportedOnceAndTakesNoMoreWrites) {
  testsupport::LogCapture log;
  connect(client, peer);
  EXPECT_TRUE(client.isConnected());
  EXPECT_EQ(1, client.listener.up.load());
  platform::failNthCall(platform::Call::Recv, 1);
  ASSERT_TRUE(peer.send("x"));  // wakes the receive thread into the failing recv
  ASSERT_TRUE(waitUntil([&] { return client.listener.lost.load() == 1; }));
  EXPECT_FALSE(client.isConnected());
  EXPECT_EQ(1, client.linkDowns.load());
  // The socket is still open, yet nothing more goes into it.
  EXPECT_FALSE(write(client, "{\"lost\":1}"));
  EXPECT_EQ("", peer.receive(1, kQuietPeriod));
  // The system's words for the error follow; they differ between platforms.
  EXPECT_TRUE(log.contains("]-client: connection to 127.0.0.1:" + std::to_string(peer.port()) +
                           " lost: receive failed: "))
      << log.text();
  // Closing it afterwards is the owner's doing: nothing is reported twice.
  client.closeSocket();
  EXPECT_EQ(1, client.listener.lost.load());
  EXPECT_EQ(1, client.linkDowns.load());
}

TEST_F(ATcpClientTest, ServerCloseIsALossAndAnOwnersCloseIsNot) {
  testsupport::LogCapture log;
  connect(client, peer);
  peer.closeConnection();
  ASSERT_TRUE(waitUntil([&] { return client.listener.lost.load() == 1; }));
  EXPECT_TRUE(log.contains(" lost: closed by the server\n")) << log.text();

  connect(client, peer);
  EXPECT_TRUE(client.isConnected());
  EXPECT_EQ(2, client.listener.up.load());
  client.closeSocket();
  EXPECT_FALSE(client.isConnected());
  EXPECT_EQ(2, client.linkDowns.load());  // the owner's close releases waiters too
  EXPECT_FALSE(waitUntil([&] { return client.listener.lost.load() > 1; }, kQuietPeriod));
}

TEST_F(ATcpClientTest, StopReturnsPromptlyWhileTheServerKeepsSending) {
  connect(client, peer);
  std::atomic<bool> sending{true};
  std::atomic<int> chunks{0};
  std::thread flood([&] {
    const std::string chunk(1000, 'f');
    while (sending.load() && peer.send(chunk)) ++chunks;
  });
  ASSERT_TRUE(waitUntil([&] { return chunks.load() > 100; }));
  const auto start = Clock::now();
  client.stopDataRecvThrd();
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
  sending.store(false);
  client.closeSocket();  // a sender blocked on a full window now fails
  flood.join();
}

TEST_F(ATcpClientTest, HandlePackageMayWriteAnAnswerAndCloseStillJoins) {
  client.answerEachPacket();
  connect(client, peer);
  ASSERT_TRUE(peer.send(packetBytes("{\"push\":1}", "03130", 77)));
  const RecordingSink answers = parse(peer.receive(69));
  ASSERT_EQ(1u, answers.entries.size());
  EXPECT_EQ(3030, answers.entries[0].cmdId);
  EXPECT_EQ((std::vector<std::string>{"{\"ack\":1}"}), answers.bodies());
  client.closeSocket();
  EXPECT_TRUE(peer.waitForClose());
}

// ---- Log lines ----------------------------------------------------------------------------------

TEST(ATcpClientLog, ConnectionLifecycleIsLogged) {
  testsupport::LogCapture log;
  {
    RawPeer closed;
    const std::uint16_t port = closed.port();
    closed.closeListener();
    RecordingClient client;
    ASSERT_EQ(result::kConnectFailed, client.connectToServer(kLoopback, port));
    // The system's error code is logged, whatever its number on this platform, and its words.
    EXPECT_TRUE(log.contains("]-ip_addr=[127.0.0.1] connect failure,error_code=[")) << log.text();
    EXPECT_FALSE(log.contains("error_code=[0]"));
    EXPECT_TRUE(log.contains("[E]")) << log.text();
    EXPECT_TRUE(log.contains("]-client: connect to 127.0.0.1:" + std::to_string(port) + " failed: "))
        << log.text();

    RawPeer peer;
    ASSERT_EQ(result::kOk, client.connectToServer(kLoopback, peer.port()));
    ASSERT_TRUE(peer.accept());
    EXPECT_TRUE(log.contains("]-ip_addr=[127.0.0.1] connect successfully!\n"));
    EXPECT_TRUE(log.contains("]-data_recv thread start successfully,MvSrvIPAddr=[127.0.0.1]\n"));

    std::string bad = packetBytes("{}");
    bad[packet::kTimeOffset] ^= 0x01;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(peer.send(bad + packetBytes("{}")));
    const bool delivered = client.waitForCount(1);
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(delivered);
    EXPECT_TRUE(log.contains("[E]"));
    EXPECT_TRUE(log.contains("]-The data packed from server is bad!\n"));

    client.closeSocket();
    EXPECT_TRUE(log.contains("]-data_recv thread stop successfully,MvSrvIPAddr=[127.0.0.1]\n"));
  }
  platform::failNthCall(platform::Call::Socket, 1);
  RecordingClient client;
  EXPECT_EQ(result::kConnectFailed, client.connectToServer(kLoopback, 1));
  platform::clearFaults();
  EXPECT_TRUE(log.contains("]-Create Socket Failure,ErrCode=[")) << log.text();
  EXPECT_FALSE(log.contains("ErrCode=[0]"));
}

// ---- Writing ------------------------------------------------------------------------------------

TEST_F(ATcpClientTest, WrittenPacketCarriesTheBodyCommandAndSerial) {
  connect(client, peer);
  const std::string body = "{\"ReaderID\":\"1\"}";
  ASSERT_TRUE(client.writeData(body.data(), static_cast<long long>(body.size()), BufView<5>("03010"), 23456789,
                               soon()));
  const std::string bytes = peer.receive(body.size() + 60);
  ASSERT_EQ(body.size() + 60, bytes.size());
  const RecordingSink sink = parse(bytes);
  ASSERT_EQ(1u, sink.entries.size());
  EXPECT_EQ(3010, sink.entries[0].cmdId);
  EXPECT_EQ("23456789", sink.entries[0].message.substr(packet::kMessageSerialOffset, 8));
  EXPECT_EQ((std::vector<std::string>{body}), sink.bodies());
}

TEST_F(ATcpClientTest, EmptyBodyIsRefusedWithoutTouchingTheSocket) {
  connect(client, peer);
  // An armed fault is used up by any send; only this test's writes send.
  platform::failNthCall(platform::Call::Send, 1);
  EXPECT_FALSE(client.writeData("{}", 0, BufView<5>("03001"), 1, soon()));
  EXPECT_FALSE(client.writeData(nullptr, 2, BufView<5>("03001"), 1, soon()));
  EXPECT_FALSE(client.writeData("{}", -2, BufView<5>("03001"), 1, soon()));
  EXPECT_FALSE(write(client, "{}"));  // meets the still armed fault
  platform::clearFaults();
  EXPECT_EQ("", peer.receive(1, kQuietPeriod));
}

TEST_F(ATcpClientTest, OversizeBodyIsRefusedBeforeTheBodyIsRead) {
  connect(client, peer);
  const char one = '{';  // far shorter than claimed: reading it would overrun
  EXPECT_FALSE(client.writeData(&one, 99999940, BufView<5>("03001"), 1, soon()));
  EXPECT_FALSE(client.writeData(&one, 1LL << 33, BufView<5>("03001"), 1, soon()));
  EXPECT_EQ("", peer.receive(1, kQuietPeriod));
}

TEST_F(ATcpClientTest, DeadlineAlreadyPassedSendsNothing) {
  connect(client, peer);
  EXPECT_FALSE(client.writeData("{}", 2, BufView<5>("03001"), 1, Clock::now() - milliseconds(1)));
  ASSERT_TRUE(write(client, "{\"next\":1}"));
  // The first bytes on the wire are those of the later packet.
  EXPECT_EQ((std::vector<std::string>{"{\"next\":1}"}), parse(peer.receive(70)).bodies());
}

TEST_F(ATcpClientTest, SendFailureGivesFalse) {
  connect(client, peer);
  platform::failNthCall(platform::Call::Send, 1);
  EXPECT_FALSE(write(client, "{}"));
  EXPECT_TRUE(write(client, "{}"));
}

// Starts writes until one holds the write lock: each larger than the socket buffers, while the
// peer reads only its first bytes. On POSIX the first one blocks; Windows takes a whole
// non-blocking send into a queue of its own and reports it sent, so there the second one waits.
class BlockedWrite {
 public:
  BlockedWrite(ATcpClient& client, RawPeer& peer) : big_(kBeyondSocketBuffers, 'B') {
    writer_ = std::thread([this, &client] {
      for (int i = 0; i < kMaxWrites && result_; ++i) {
        result_ = client.writeData(big_.data(), static_cast<long long>(big_.size()), BufView<5>("03001"),
                                   1, Clock::now() + milliseconds(10000));
      }
    });
    underWay_ = !peer.receive(1, milliseconds(10000)).empty();
  }
  ~BlockedWrite() { join(); }
  BlockedWrite(const BlockedWrite&) = delete;
  BlockedWrite& operator=(const BlockedWrite&) = delete;

  bool underWay() const { return underWay_; }
  bool join() {
    if (writer_.joinable()) writer_.join();
    return result_.load();
  }

 private:
  static constexpr int kMaxWrites = 2;
  const std::string big_;
  std::atomic<bool> result_{true};
  bool underWay_ = false;
  std::thread writer_;
};

TEST_F(ATcpClientTest, WriteLockNotObtainedByTheDeadlineGivesFalse) {
  connect(client, peer);
  BlockedWrite blocked(client, peer);
  ASSERT_TRUE(blocked.underWay());
  const auto start = Clock::now();
  EXPECT_FALSE(client.writeData("{}", 2, BufView<5>("03001"), 2, Clock::now() + milliseconds(200)));
  const auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, milliseconds(190));
  EXPECT_LT(elapsed, milliseconds(200) + kSlack);
  client.closeSocket();
  EXPECT_FALSE(blocked.join());
}

TEST_F(ATcpClientTest, CloseDoesNotWaitForAWriteBlockedOnAFullWindow) {
  connect(client, peer);
  BlockedWrite blocked(client, peer);
  ASSERT_TRUE(blocked.underWay());
  const auto start = Clock::now();
  client.closeSocket();
  EXPECT_FALSE(blocked.join());
  EXPECT_LT(Clock::now() - start, milliseconds(1500));
}

TEST_F(ATcpClientTest, WritesFromSeveralThreadsNeverInterleave) {
  connect(client, peer);
  constexpr int kThreads = 4;
  constexpr int kPackets = 8;
  constexpr std::size_t kBody = 100000;
  std::atomic<int> failures{0};
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < kPackets; ++i) {
        const std::string body(kBody + static_cast<std::size_t>(i), static_cast<char>('a' + t));
        if (!client.writeData(body.data(), static_cast<long long>(body.size()), BufView<5>("03001"),
                              static_cast<unsigned>(t * 100 + i), Clock::now() + milliseconds(5000))) {
          ++failures;
        }
      }
    });
  }
  std::size_t total = 0;
  for (int i = 0; i < kPackets; ++i) total += kThreads * (kBody + static_cast<std::size_t>(i) + 60);
  const std::string bytes = peer.receive(total, milliseconds(10000));
  for (std::thread& w : writers) w.join();
  EXPECT_EQ(0, failures.load());
  ASSERT_EQ(total, bytes.size());

  std::size_t leftOver = 0;
  const RecordingSink sink = parse(bytes, &leftOver);
  EXPECT_EQ(0u, leftOver);
  EXPECT_EQ(0, sink.badCount());
  ASSERT_EQ(static_cast<std::size_t>(kThreads * kPackets), sink.entries.size());
  std::map<char, int> nextOfWriter;
  for (const RecordingSink::Entry& e : sink.entries) {
    const std::string body = transporttest::bodyOf(e.message);
    const char owner = body[0];
    EXPECT_EQ(std::string::npos, body.find_first_not_of(owner)) << "bytes of two packets mixed";
    const int i = nextOfWriter[owner]++;
    EXPECT_EQ(kBody + static_cast<std::size_t>(i), body.size());
    EXPECT_EQ(static_cast<long>((owner - 'a') * 100 + i),
              packet::readField(e.message.data() + packet::kMessageSerialOffset, 8));
  }
}

}  // namespace
