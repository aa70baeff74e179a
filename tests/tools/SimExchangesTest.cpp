#include "SimExchanges.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const SimExchanges::Clock::time_point t0{};

TEST(SimExchangesTest, TimesEachAnswerByItsRequestAndFlagsWhatMatchesNothing) {
  SimSummary summary;
  SimExchanges pair(1, "#1", summary);
  pair.fromLane("03014", 5, "{}", t0);
  pair.fromLane("03014", 6, "{}", t0 + 10ms);
  pair.fromLane("03029", 7, "{\"NonCashTsSn\":\"T1\"}", t0 + 20ms);
  pair.fromLane("03030", 8, "{}", t0 + 20ms);  // an acknowledgement waits for nothing

  EXPECT_EQ("30ms", pair.fromServer("03114", 6, "{}", t0 + 40ms).latency);
  EXPECT_EQ("45ms", pair.fromServer("03114", 5, "{}", t0 + 45ms).latency);
  EXPECT_EQ("80ms", pair.fromServer("03130", 7, "{\"NonCashTsSn\":\"T1\"}", t0 + 100ms).latency);

  const SimExchanges::Remark twice = pair.fromServer("03114", 5, "{}", t0 + 50ms);
  EXPECT_THAT(twice.latency, IsEmpty());
  EXPECT_THAT(twice.flags, ElementsAre("flag #1 server->lane 03114 ListQuery-answer serial 00000005 matches no "
                                       "waiting request"));
  EXPECT_THAT(pair.fromServer("03130", 9, "{\"NonCashTsSn\":\"T2\"}", t0).flags,
              ElementsAre("flag #1 server->lane 03130 NonCashPayResult 00000009 for NonCashTsSn \"T2\" that no "
                          "payment request started"));
  EXPECT_THAT(pair.fromServer("03118", 9, "{}", t0).flags, IsEmpty());  // no answer of a request

  pair.badPacket("03121");
  pair.badPacket("");
  EXPECT_THAT(summary.lines(),
              ElementsAre(::testing::StartsWith("summary pair  command"),
                          "summary #1    stream                                0        0        -        -      1",
                          "summary #1    03014 ListQuery                       2        2     30ms     45ms      1",
                          "summary #1    03021 HeartBeat                       0        0        -        -      1",
                          "summary #1    03029 SendNonCashPay                  1        0        -        -      1"));
}

TEST(SimExchangesTest, FlagsARequestLeftWithoutAnswerOnceAndStillTimesItsLateAnswer) {
  SimSummary summary;
  SimExchanges pair(2, "#2", summary);
  pair.fromLane("03021", 1, "{}", t0);
  pair.fromLane("03021", 2, "{}", t0 + 1s);
  EXPECT_THAT(pair.overdue(t0 + 2999ms), IsEmpty());
  EXPECT_THAT(pair.overdue(t0 + 3s), ElementsAre("flag #2 no answer to 03021 HeartBeat 00000001 after 3000 ms"));
  EXPECT_THAT(pair.overdue(t0 + 3500ms), IsEmpty());
  EXPECT_EQ("3600ms", pair.fromServer("03121", 1, "{}", t0 + 3600ms).latency);
  EXPECT_THAT(pair.overdue(t0 + 4s), ElementsAre("flag #2 no answer to 03021 HeartBeat 00000002 after 3000 ms"));
}

}  // namespace
