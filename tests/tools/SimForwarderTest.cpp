// The forwarder in-process, between test clients and a raw peer or the simulator on loopback.
#include "SimForwarder.h"

#include <chrono>
#include <condition_variable>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "LaneSimulator.h"
#include "RawPeer.h"
#include "SimClient.h"
#include "TestSupport.h"
#include "../transport/PacketBytes.h"

using namespace std::chrono_literals;

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using transporttest::headMarker;
using transporttest::packetBytes;

// Bytes of every value, head and tail markers included, from a seed.
std::string noise(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(rng() & 0xFF);
  return bytes;
}

class SimForwarderTest : public ::testing::Test {
 protected:
  // A forwarder to 127.0.0.1:port, logging into log_.
  void forwardTo(std::uint16_t port, std::chrono::milliseconds connectTimeout = SimForwarder::kConnectTimeout) {
    forwarder_ = std::make_unique<SimForwarder>("127.0.0.1", port, connectTimeout);
    forwarder_->setEcho(&log_);
    ASSERT_TRUE(forwarder_->start());
  }
  std::unique_ptr<SimClient> lane() {
    auto c = std::make_unique<SimClient>();
    EXPECT_TRUE(c->connect(forwarder_->port()));
    return c;
  }
  // The log, once the forwarder has stopped.
  std::string logAfterStop() {
    forwarder_->stop();
    return log_.str();
  }

 private:
  std::ostringstream log_;  // declared first: it outlives the forwarder, which writes to it

 protected:
  std::unique_ptr<SimForwarder> forwarder_;
};

TEST_F(SimForwarderTest, EveryBytePassesUnchangedBothWaysAndAnOrderlyCloseIsPassedOn) {
  testsupport::RawPeer server;
  forwardTo(server.port());
  auto client = lane();
  ASSERT_TRUE(server.accept());

  // Noise, false heads and a packet split over many sends, on the way to the server.
  const std::string packet = packetBytes("{\"UserName\":\"u\"}", "03001", 5);
  const std::string up = noise(5000, 1) + headMarker() + "00000007" + packet + noise(300, 2);
  for (std::size_t at = 0; at < up.size(); at += 97) ASSERT_TRUE(client->sendRaw(up.substr(at, 97)));
  EXPECT_EQ(up, server.receive(up.size()));

  // Much more than the socket buffers hold, on the way back; then the server closes.
  const std::string down = noise(3 << 20, 3) + packetBytes("{}", "03101", 5);
  ASSERT_TRUE(server.send(down));
  server.closeConnection();
  ASSERT_TRUE(client->waitClosed(10s));
  EXPECT_FALSE(client->wasReset());
  EXPECT_TRUE(client->rawReceived() == down) << client->rawReceived().size() << " of " << down.size();

  const std::string log = logAfterStop();
  EXPECT_THAT(log, HasSubstr("lane->server #1 03001 LaneLogin 00000005 {\"UserName\":\"u\"}\n"));
  EXPECT_THAT(log, HasSubstr("server->lane #1 03101 LaneLogin-answer 00000005 "));
  EXPECT_THAT(log, HasSubstr("ms {}\n"));
  EXPECT_THAT(log, HasSubstr("skip #1 server->lane 3145728 bytes that are no packet\n"));
  EXPECT_THAT(log, HasSubstr("note #1 the server closed the connection; closing the other side\n"));
  EXPECT_THAT(log, ::testing::EndsWith("close #1\n"));
}

TEST_F(SimForwarderTest, EachRequestIsPrintedBeforeItsAnswer) {
  LaneSimulator server;
  ASSERT_TRUE(server.start());
  forwardTo(server.port());
  auto client = lane();
  for (unsigned serial = 1; serial <= 20; ++serial) {
    ASSERT_TRUE(client->send("03014", serial, "{}"));
    SimPacket answer;
    ASSERT_TRUE(client->next(&answer, 1s)) << serial;
  }
  const std::string log = logAfterStop();
  for (unsigned serial = 1; serial <= 20; ++serial) {
    char id[9];
    std::snprintf(id, sizeof id, "%08u", serial);
    const auto request = log.find(std::string("lane->server #1 03014 ListQuery ") + id);
    const auto answer = log.find(std::string("server->lane #1 03114 ListQuery-answer ") + id);
    ASSERT_NE(std::string::npos, request) << serial;
    ASSERT_NE(std::string::npos, answer) << serial;
    EXPECT_LT(request, answer) << serial;
  }
}

TEST_F(SimForwarderTest, AResetByTheServerResetsTheLane) {
  LaneSimulator server;
  SimFaultPlan resetAtOnce;
  resetAtOnce.cutAfterBytes = 0;
  resetAtOnce.reset = true;
  server.setFaults(resetAtOnce);
  ASSERT_TRUE(server.start());
  forwardTo(server.port());
  auto client = lane();
  ASSERT_TRUE(client->send("03021", 1, "{}"));
  ASSERT_TRUE(client->waitClosed());
  EXPECT_TRUE(client->wasReset());
  EXPECT_THAT(logAfterStop(), HasSubstr("note #1 the server reset the connection; resetting the other side"));
}

TEST_F(SimForwarderTest, AnUnreachableServerClosesTheLaneAtOnce) {
  const std::uint16_t deadPort = testsupport::closedPort();
  forwardTo(deadPort);
  auto client = lane();
  EXPECT_TRUE(client->waitClosed(1s));
  EXPECT_TRUE(testsupport::waitUntil([&] { return forwarder_->connectionCount() == 0; }));
  EXPECT_THAT(logAfterStop(), HasSubstr("note #1 cannot reach the server 127.0.0.1:" + std::to_string(deadPort) +
                                        ": connect failed"));
}

TEST_F(SimForwarderTest, AServerThatDoesNotAnswerTheConnectClosesTheLaneAtTheConnectTimeOut) {
  testsupport::RawPeer server;
  ASSERT_TRUE(server.saturateBacklog());
  forwardTo(server.port(), 300ms);
  const auto start = std::chrono::steady_clock::now();
  auto client = lane();
  ASSERT_TRUE(client->waitClosed(3s));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 300ms);
  EXPECT_LT(took, 2s);
  EXPECT_THAT(logAfterStop(), HasSubstr("note #1 cannot reach the server 127.0.0.1:" + std::to_string(server.port()) +
                                        ": no answer within 300 ms; closing the lane's connection\n"));
}

TEST_F(SimForwarderTest, StopWhileConnectingToTheServerReturnsAtOnceWithoutANote) {
  testsupport::RawPeer server;
  ASSERT_TRUE(server.saturateBacklog());
  forwardTo(server.port(), 10s);
  auto client = lane();
  ASSERT_TRUE(testsupport::waitUntil([&] { return forwarder_->connectionCount() == 1; }));
  const auto start = std::chrono::steady_clock::now();
  const std::string log = logAfterStop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_TRUE(client->waitClosed(1s));
  EXPECT_THAT(log, Not(HasSubstr("cannot reach")));
  EXPECT_THAT(log, HasSubstr("close #1\n"));
}

// A lane that stops reading is given up after the send limit; meanwhile the other lanes' traffic
// goes on as usual.
TEST_F(SimForwarderTest, ALaneThatStopsReadingHoldsUpNoOtherLane) {
  LaneSimulator server;
  ASSERT_TRUE(server.start());
  forwardTo(server.port());
  auto deaf = lane();
  ASSERT_TRUE(deaf->send("03021", 1, "{}"));
  ASSERT_TRUE(server.waitForPacket("03021", 3s));
  server.sendRawToAll(noise(16 << 20, 4));

  auto other = lane();
  for (unsigned serial = 1; serial <= 20; ++serial) {
    ASSERT_TRUE(other->send("03014", serial, "{}"));
    SimPacket answer;
    ASSERT_TRUE(other->next(&answer, 1s)) << serial;
    EXPECT_EQ(serial, answer.serial);
  }
  EXPECT_TRUE(testsupport::waitUntil([&] { return server.connectionCount() == 1; }, 15s));
  // The server can see its side closed before the forwarder has let go of the pair.
  EXPECT_TRUE(testsupport::waitUntil([&] { return forwarder_->connectionCount() == 1; }));
  EXPECT_THAT(logAfterStop(), HasSubstr("lost #1 the lane took nothing for 2000 ms; closing both sides"));
}

// A stream that may be read while it is written, and that can take nothing until it is let go,
// as a paused pager does.
class SharedStream : public std::streambuf {
 public:
  explicit SharedStream(bool stalled = false) : stalled_(stalled) {}
  void letGo() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stalled_ = false;
    }
    cond_.notify_all();
  }
  std::string text() {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }
  bool waitFor(const std::string& part, std::chrono::milliseconds deadline) {
    return testsupport::waitUntil([&] { return text().find(part) != std::string::npos; }, deadline);
  }

 protected:
  std::streamsize xsputn(const char* data, std::streamsize size) override {
    std::unique_lock<std::mutex> lock(mutex_);
    cond_.wait_for(lock, 20s, [this] { return !stalled_; });
    text_.append(data, static_cast<std::size_t>(size));
    return size;
  }
  int_type overflow(int_type c) override {
    const char ch = static_cast<char>(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cond_;
  bool stalled_;
  std::string text_;
};

// A forwarder to `server` with its lines in `log`, and a lane connected to it.
class ForwardedLane {
 public:
  ForwardedLane(const LaneSimulator& server, SharedStream& log)
      : out_(&log), forwarder_("127.0.0.1", server.port()) {
    forwarder_.setEcho(&out_);
    EXPECT_TRUE(forwarder_.start());
    EXPECT_TRUE(client.connect(forwarder_.port()));
  }
  void stop() { forwarder_.stop(); }

  SimClient client;

 private:
  std::ostream out_;
  SimForwarder forwarder_;
};

TEST(SimForwarderOutputTest, OutputThatIsNotReadHoldsUpNoPair) {
  LaneSimulator server;
  ASSERT_TRUE(server.start());
  SharedStream stalled(true);
  ForwardedLane lane(server, stalled);
  SimClient& client = lane.client;
  for (unsigned serial = 1; serial <= 5; ++serial) {
    ASSERT_TRUE(client.send("03014", serial, "{}"));
    SimPacket answer;
    ASSERT_TRUE(client.next(&answer, 1s)) << serial;
  }
  stalled.letGo();
  lane.stop();
  EXPECT_THAT(stalled.text(), HasSubstr("server->lane #1 03114 ListQuery-answer 00000005"));
}

// Every line begins with the local time; an answer carries the time since its request; an answer
// to no waiting request, a push of a payment nobody started and a request left unanswered are
// flagged as they happen.
TEST(SimForwarderOutputTest, TellsTimesLatenciesAndFlagsAsTheyHappen) {
  LaneSimulator server;
  CommandBehaviour wrongSerial;
  wrongSerial.wrongSerial = true;
  server.setBehaviour("03013", wrongSerial);
  CommandBehaviour late;
  late.delayMs = 30;
  server.setBehaviour("03014", late);
  CommandBehaviour silent;
  silent.noAnswer = true;
  server.setBehaviour("03032", silent);
  ASSERT_TRUE(server.start());
  SharedStream log;
  ForwardedLane lane(server, log);
  SimClient& client = lane.client;
  SimPacket answer;
  ASSERT_TRUE(client.send("03014", 1, "{}") && client.next(&answer));
  ASSERT_TRUE(client.send("03013", 2, "{}") && client.next(&answer));
  ASSERT_TRUE(client.send("03032", 4, "{}"));
  server.sendToAll("03130", 9, "{\"NonCashTsSn\":\"T9\"}");
  EXPECT_TRUE(log.waitFor("flag #1 no answer to 03032 QueryTransDetail 00000004 after 3000 ms\n", 5s));
  lane.stop();

  const std::string text = log.text();
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    ASSERT_GE(line.size(), 13u);
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(line[0])) && line[2] == ':' && line[5] == ':' &&
                line[8] == '.' && line[12] == ' ')
        << line;
  }
  const std::string answered = "server->lane #1 03114 ListQuery-answer 00000001 ";
  const auto at = text.find(answered);
  ASSERT_NE(std::string::npos, at);
  const int latency = std::atoi(text.c_str() + at + answered.size());
  EXPECT_EQ("ms {", text.substr(text.find_first_not_of("0123456789", at + answered.size()), 4));
  EXPECT_GE(latency, 30);
  EXPECT_LT(latency, 1000);
  EXPECT_THAT(log.text(), HasSubstr(" flag #1 server->lane 03113 ListUpLoad-answer serial 00000003 matches no "
                                    "waiting request\n"));
  EXPECT_THAT(log.text(), HasSubstr(" flag #1 server->lane 03130 NonCashPayResult 00000009 for NonCashTsSn "
                                    "\"T9\" that no payment request started\n"));
}

// Faults, for what goes to the lanes, and ServerFaults, for what goes to the server, each reach
// their own direction: a cut after 5 bytes toward the lane, after 20 toward the server.
TEST_F(SimForwarderTest, TakesDeliveryFaultsForEachDirectionAndNothingElse) {
  testsupport::RawPeer server;
  forwardTo(server.port());
  Json::Value scenario;
  scenario["Faults"]["CutAfterBytes"] = 5;
  scenario["ServerFaults"]["CutAfterBytes"] = 20;
  std::string error;
  ASSERT_TRUE(forwarder_->loadScenario(scenario, &error)) << error;
  const std::string packet = packetBytes("{}", "03101", 1);

  auto first = lane();
  ASSERT_TRUE(server.accept());
  ASSERT_TRUE(server.send(packet));
  ASSERT_TRUE(first->waitClosed());
  EXPECT_EQ(packet.substr(0, 5), first->rawReceived());

  auto second = lane();
  ASSERT_TRUE(server.accept());
  ASSERT_TRUE(second->sendRaw(packet));
  EXPECT_EQ(packet.substr(0, 20), server.receive(packet.size(), 1s));
  EXPECT_TRUE(second->waitClosed());

  Json::Value packetFault;
  packetFault["ServerFaults"]["BadCheckCode"] = 1;
  EXPECT_FALSE(forwarder_->loadScenario(packetFault, &error));
  EXPECT_EQ("ServerFaults.BadCheckCode acts on packets the simulator makes, not on forwarded bytes", error);
}

}  // namespace
