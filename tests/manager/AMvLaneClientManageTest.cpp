#include "manager/AMvLaneClientManage.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "../session/SessionTestSupport.h"
#include "LaneSimulator.h"
#include "RawPeer.h"
#include "TestSupport.h"
#include "common/JsonText.h"

namespace {

using namespace std::chrono_literals;
using sessiontest::LogCapture;
using testsupport::waitUntil;

constexpr auto kPacketWait = 3000ms;

std::string laneSection(int index, unsigned short port, int laneNo) {
  return "[MvLane" + std::to_string(index) + "]\n" +
         "IpAddr=127.0.0.1\n"
         "Port=" + std::to_string(port) + "\n" +
         "UserName=operator\n"
         "PassWord=PassWord\n"
         "ProvinceNo=44\n"
         "CityNo=1\n"
         "AreaNo=101\n"
         "GateNo=2\n"
         "LaneNo=" + std::to_string(laneNo) + "\n" +
         "HeartBeatTime=1\n"
         "TimeOut=1\n"
         "RSUID=-1\n"
         "ReaderID=-1\n"
         "AutoLogout=0\n";
}

class ManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(simA.start(sessiontest::kLoopback));
    ASSERT_TRUE(simB.start(sessiontest::kLoopback));
  }
  void TearDown() override {
    manager.reset();  // stops the sessions before the simulators go
    simA.stop();
    simB.stop();
  }

  // Writes a configuration of two lanes, LaneNo 7 at index 0 and 8 at index 1, and reads it.
  void configure(unsigned short portA, unsigned short portB) {
    testsupport::writeFile(dir.file("EtcConfig/Marovex.ini"),
                           "[Global]\nMvLaneNum=2\n" + laneSection(0, portA, 7) +
                               laneSection(1, portB, 8));
    std::string conf;
    ASSERT_TRUE(manager->readMvLaneConf(conf)) << conf;
    Json::Value lanes;
    ASSERT_TRUE(jsontext::parse(conf, lanes));
    ASSERT_EQ(2u, lanes.size());
  }

  int listQuery(int lane) {
    std::shared_ptr<AMvLaneClientOper> oper = manager->getOper(lane);
    if (!oper) return -1000;
    std::string out;
    return oper->ListQuery("{}", out);
  }

  LogCapture log;  // outlives every thread of the sessions under test
  testsupport::ScratchDir dir;
  testsupport::CurrentDirGuard cwd{dir.path()};
  LaneSimulator simA;
  LaneSimulator simB;
  std::unique_ptr<AMvLaneClientManage> manager = std::make_unique<AMvLaneClientManage>();
};

TEST_F(ManagerTest, BothLanesStartAndAreFoundByLaneNo) {
  configure(simA.port(), simB.port());
  EXPECT_TRUE(manager->initalize());
  ASSERT_NE(nullptr, manager->getOper(7));
  ASSERT_NE(nullptr, manager->getOper(8));
  EXPECT_EQ(nullptr, manager->getOper(0));
  EXPECT_EQ(nullptr, manager->getOper(-1));

  EXPECT_EQ(0, listQuery(7));
  EXPECT_EQ(0, listQuery(8));
  SimPacket a;
  SimPacket b;
  ASSERT_TRUE(simA.waitForPacket("03014", kPacketWait, &a, 1));
  ASSERT_TRUE(simB.waitForPacket("03014", kPacketWait, &b, 1));
  EXPECT_EQ("07", a.json["LaneNo"].asString());
  EXPECT_EQ("08", b.json["LaneNo"].asString());
}

TEST_F(ManagerTest, FailingLaneIsLoggedBySectionIndexAndOtherLaneServes) {
  configure(simA.port(), testsupport::closedPort());
  EXPECT_FALSE(manager->initalize());
  EXPECT_EQ(1, log.count("Lane 1 Initialize failure, ErrorCode=-1\n"));
  EXPECT_EQ(0, log.count("Lane 0 Initialize failure, ErrorCode=-1\n"));
  EXPECT_EQ(nullptr, manager->getOper(8));
  EXPECT_EQ(0, listQuery(7));
}

TEST_F(ManagerTest, SecondInitalizeReplacesRunningSessions) {
  configure(simA.port(), simB.port());
  ASSERT_TRUE(manager->initalize());
  std::weak_ptr<AMvLaneClientOper> first = manager->getOper(7);
  ASSERT_TRUE(manager->initalize());
  EXPECT_TRUE(first.expired());
  EXPECT_NE(nullptr, manager->getOper(7));
  EXPECT_TRUE(waitUntil([&] { return simA.connectionCount() == 1; }));
  EXPECT_EQ(0, listQuery(7));
}

TEST_F(ManagerTest, LaneThatFailsToRestartKeepsItsEarlierSession) {
  configure(simA.port(), simB.port());
  ASSERT_TRUE(manager->initalize());
  std::shared_ptr<AMvLaneClientOper> before = manager->getOper(8);
  simB.stop();
  EXPECT_FALSE(manager->initalize());
  EXPECT_EQ(before, manager->getOper(8));
}

TEST_F(ManagerTest, UninitStopsEverythingAndMayRepeat) {
  manager->uninit();  // nothing started yet
  configure(simA.port(), simB.port());
  ASSERT_TRUE(manager->initalize());
  std::weak_ptr<AMvLaneClientOper> lane7 = manager->getOper(7);
  manager->uninit();
  EXPECT_TRUE(lane7.expired());
  EXPECT_EQ(nullptr, manager->getOper(7));
  EXPECT_EQ(nullptr, manager->getOper(8));
  manager->uninit();

  // The table stays: a later initalize starts the lanes again.
  EXPECT_TRUE(manager->initalize());
  EXPECT_EQ(0, listQuery(8));
}

TEST_F(ManagerTest, FailedConfigurationReadKeepsPreviousTable) {
  configure(simA.port(), simB.port());
  testsupport::writeFile(dir.file("EtcConfig/Marovex.ini"), "[Global]\nMvLaneNum=3\n");
  std::string conf;
  EXPECT_FALSE(manager->readMvLaneConf(conf));
  EXPECT_EQ("invalid MvLaneNum", conf);
  EXPECT_TRUE(manager->initalize());
  EXPECT_NE(nullptr, manager->getOper(8));
}

TEST_F(ManagerTest, UnreadableWorkingDirectoryFailsWithThatReasonAndKeepsPreviousTable) {
  configure(simA.port(), simB.port());
  testsupport::ScratchDir scratch;
  const std::string gone = scratch.file("gone");
  ASSERT_TRUE(platform::createDirectory(gone));
  {
    testsupport::CurrentDirGuard inside(gone);
    ASSERT_TRUE(std::filesystem::remove(gone));
    std::string conf;
    // Not a path below the file-system root, and no file read from anywhere else.
    EXPECT_FALSE(manager->readMvLaneConf(conf));
    EXPECT_EQ("Parse File failed! : the working directory could not be read\n", conf);
  }
  EXPECT_TRUE(manager->initalize());
  EXPECT_NE(nullptr, manager->getOper(8));
}

TEST_F(ManagerTest, UninitDuringOperationKeepsSessionUntilItReturns) {
  configure(simA.port(), simB.port());
  ASSERT_TRUE(manager->initalize());
  CommandBehaviour slow;
  slow.delayMs = 300;
  simA.setBehaviour("03014", slow);

  std::shared_ptr<AMvLaneClientOper> oper = manager->getOper(7);
  std::weak_ptr<AMvLaneClientOper> watch = oper;
  std::atomic<bool> done{false};
  std::thread caller([&, held = std::move(oper)]() mutable {
    std::string out;
    held->ListQuery("{}", out);
    held.reset();
    done = true;
  });
  ASSERT_TRUE(simA.waitForPacket("03014", kPacketWait, nullptr, 1));
  manager->uninit();
  EXPECT_EQ(nullptr, manager->getOper(7));
  EXPECT_TRUE(done || !watch.expired());
  caller.join();
  EXPECT_TRUE(watch.expired());
}

TEST_F(ManagerTest, UninitDuringASlowInitalizeLeavesNoLaneRunning) {
  configure(simA.port(), simB.port());
  CommandBehaviour slowLogin;
  slowLogin.delayMs = 600;
  simA.setBehaviour("03001", slowLogin);
  simB.setBehaviour("03001", slowLogin);
  std::thread starting([&] { EXPECT_TRUE(manager->initalize()); });
  ASSERT_TRUE(simA.waitForPacket("03001", kPacketWait));
  manager->uninit();  // the lanes are still logging in
  EXPECT_EQ(nullptr, manager->getOper(7));
  EXPECT_EQ(nullptr, manager->getOper(8));
  starting.join();
  EXPECT_EQ(nullptr, manager->getOper(7));
  EXPECT_EQ(nullptr, manager->getOper(8));
  EXPECT_TRUE(waitUntil([&] { return simA.connectionCount() + simB.connectionCount() == 0; }));
}

TEST_F(ManagerTest, OperationsRaceWithUninitAndInitalize) {
  configure(simA.port(), simB.port());
  ASSERT_TRUE(manager->initalize());
  std::atomic<bool> stop{false};
  std::atomic<int> served{0};
  std::atomic<int> unexpected{0};
  std::vector<std::thread> callers;
  for (int t = 0; t < 4; ++t) {
    callers.emplace_back([&, t] {
      const int lane = t % 2 == 0 ? 7 : 8;
      while (!stop) {
        std::shared_ptr<AMvLaneClientOper> oper = manager->getOper(lane);
        if (!oper) {
          std::this_thread::yield();
          continue;
        }
        std::string out;
        const int r = t < 2 ? oper->ListQuery("{}", out) : oper->ETCStatusQuery("", out);
        // Answered, timed out, or not written on a connection that a stop closed.
        if (r == 0) ++served;
        else if (r != 2 && r != 6) ++unexpected;
      }
    });
  }
  for (int round = 0; round < 3; ++round) {
    manager->uninit();
    EXPECT_TRUE(manager->initalize());
  }
  ASSERT_TRUE(waitUntil([&] { return served > 10; }));
  stop = true;
  for (std::thread& caller : callers) caller.join();
  EXPECT_EQ(0, unexpected.load());
  manager->uninit();
  EXPECT_EQ(nullptr, manager->getOper(7));
}

}  // namespace
