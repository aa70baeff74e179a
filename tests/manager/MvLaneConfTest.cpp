#include "manager/MvLaneConf.h"

#include <gtest/gtest.h>

#include <map>

#include "LogCapture.h"
#include "TestSupport.h"
#include "common/JsonText.h"

using testsupport::ScratchDir;
using testsupport::writeFile;

namespace {

std::string fixture(const std::string& name) { return std::string(MAROVEX_FIXTURES_DIR) + "/" + name; }

struct ReadResult {
  bool ok = false;
  std::vector<stMvLaneInfo_t> lanes;
  std::string conf;
};

// Reads with a sentinel table in place, so that a failure can be seen to leave it alone.
ReadResult readTable(const std::string& path) {
  ReadResult r;
  stMvLaneInfo_t sentinel;
  sentinel.IpAddr = "sentinel";
  r.lanes.push_back(sentinel);
  r.ok = readMvLaneTable(path, r.lanes, r.conf);
  return r;
}

void expectFailure(const std::string& path, const std::string& reason) {
  SCOPED_TRACE(path);
  const ReadResult r = readTable(path);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.conf, reason);
  ASSERT_EQ(r.lanes.size(), 1u);
  EXPECT_EQ(r.lanes[0].IpAddr, "sentinel");
}

const char* const kKeys[] = {"IpAddr",     "Port",   "UserName", "PassWord",      "ProvinceNo",
                             "CityNo",     "AreaNo", "GateNo",   "LaneNo",        "HeartBeatTime",
                             "TimeOut",    "RSUID",  "ReaderID", "AutoLogout"};

// One valid lane written to a scratch file, with one key's value replaced.
class OneLaneFile {
 public:
  std::string with(const std::string& key, const std::string& value) {
    std::map<std::string, std::string> values = {
        {"IpAddr", "127.0.0.1"}, {"Port", "2000"},  {"UserName", "u"},       {"PassWord", "p"},
        {"ProvinceNo", "1"},     {"CityNo", "2"},   {"AreaNo", "3"},         {"GateNo", "4"},
        {"LaneNo", "5"},         {"HeartBeatTime", "10"}, {"TimeOut", "3"},  {"RSUID", "1"},
        {"ReaderID", "1"},       {"AutoLogout", "0"}};
    values[key] = value;
    std::string text = "[Global]\nMvLaneNum=1\n[MvLane0]\n";
    for (const auto& kv : values) text += kv.first + "=" + kv.second + "\n";
    writeFile(scratch_.file("lane.ini"), text);
    return scratch_.file("lane.ini");
  }

 private:
  ScratchDir scratch_;
};

}  // namespace

TEST(MvLaneConfTest, ReadsTwoLanesWithEveryField) {
  const ReadResult r = readTable(fixture("two_lanes.ini"));
  ASSERT_TRUE(r.ok) << r.conf;
  ASSERT_EQ(r.lanes.size(), 2u);
  const stMvLaneInfo_t& a = r.lanes[0];
  EXPECT_EQ(a.IpAddr, "192.168.1.10");
  EXPECT_EQ(a.Port, 2000);
  EXPECT_EQ(a.UserName, "lane01");
  EXPECT_EQ(a.PassWord, "s3cret");
  EXPECT_EQ(a.ProvinceNo, 44);
  EXPECT_EQ(a.CityNo, 1);
  EXPECT_EQ(a.AreaNo, 1234);
  EXPECT_EQ(a.GateNo, 5);
  EXPECT_EQ(a.LaneNo, 1);
  EXPECT_EQ(a.HeartBeatTime, 30);
  EXPECT_EQ(a.TimeOut, 5);
  EXPECT_EQ(a.RSUID, 0);
  EXPECT_EQ(a.ReaderID, 1);
  EXPECT_EQ(a.AutoLogout, 1);
  const stMvLaneInfo_t& b = r.lanes[1];
  EXPECT_EQ(b.IpAddr, "10.0.0.1:8080");
  EXPECT_EQ(b.Port, 65535);
  EXPECT_EQ(b.UserName, "");
  EXPECT_EQ(b.AreaNo, 9999);
  EXPECT_EQ(b.LaneNo, 99);
  EXPECT_EQ(b.HeartBeatTime, 120);
  EXPECT_EQ(b.RSUID, -1);
  EXPECT_EQ(b.ReaderID, -1);
  EXPECT_EQ(b.AutoLogout, 0);
}

TEST(MvLaneConfTest, SummaryHoldsValueTextsAsWrittenIncludingPassword) {
  const ReadResult r = readTable(fixture("two_lanes.ini"));
  ASSERT_TRUE(r.ok) << r.conf;
  Json::Value summary;
  ASSERT_TRUE(jsontext::parse(r.conf, summary));
  ASSERT_TRUE(summary.isArray());
  ASSERT_EQ(summary.size(), 2u);
  for (const Json::Value& lane : summary) {
    EXPECT_EQ(lane.size(), 14u);
    for (const char* key : kKeys) EXPECT_TRUE(lane[key].isString()) << key;
  }
  EXPECT_EQ(summary[0]["PassWord"].asString(), "s3cret");
  EXPECT_EQ(summary[0]["Port"].asString(), "2000");
  EXPECT_EQ(summary[1]["IpAddr"].asString(), "10.0.0.1:8080");
  EXPECT_EQ(summary[1]["RSUID"].asString(), "-1");
  EXPECT_EQ(r.conf, jsontext::styled(summary));
}

TEST(MvLaneConfTest, LogsStartAndSuccessWithPasswordsMasked) {
  testsupport::LogCapture capture;
  const ReadResult r = readTable(fixture("two_lanes.ini"));
  ASSERT_TRUE(r.ok) << r.conf;

  const std::string log = capture.text();
  EXPECT_NE(log.find("]-ReadMvLaneConf start...\n"), std::string::npos);
  Json::Value masked;
  ASSERT_TRUE(jsontext::parse(r.conf, masked));
  for (Json::Value& lane : masked) lane["PassWord"] = "******";
  EXPECT_NE(log.find("]-ReadMvLaneConf Success,MvLaneConf=[" + jsontext::styled(masked) + "],MvLaneNum=[2]\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("s3cret"), std::string::npos);
  EXPECT_EQ(log.find("pw2"), std::string::npos);
}

TEST(MvLaneConfTest, SectionsAndKeysIgnoreLetterCase) {
  const ReadResult r = readTable(fixture("case_insensitive.ini"));
  ASSERT_TRUE(r.ok) << r.conf;
  ASSERT_EQ(r.lanes.size(), 1u);
  EXPECT_EQ(r.lanes[0].TimeOut, 7);
  EXPECT_EQ(r.lanes[0].RSUID, 1);
  // The summary uses the canonical member names whatever the file's spelling.
  Json::Value summary;
  ASSERT_TRUE(jsontext::parse(r.conf, summary));
  EXPECT_EQ(summary[0]["HeartBeatTime"].asString(), "6");
}

TEST(MvLaneConfTest, BlanksAroundEqualsBelongToKeyAndValue) {
  expectFailure(fixture("blanks_around_equals.ini"), "Port does not exists");
  OneLaneFile file;
  const ReadResult r = readTable(file.with("UserName", "  padded"));
  ASSERT_TRUE(r.ok) << r.conf;
  EXPECT_EQ(r.lanes[0].UserName, "  padded");
}

TEST(MvLaneConfTest, CommentsStartAnywhere) {
  const ReadResult r = readTable(fixture("comments_anywhere.ini"));
  ASSERT_TRUE(r.ok) << r.conf;
  EXPECT_EQ(r.lanes[0].UserName, "abc");
  EXPECT_EQ(r.lanes[0].PassWord, "pa");
}

TEST(MvLaneConfTest, ByteOrderMarkBeforeTheFirstHeaderIsSkipped) {
  const ReadResult r = readTable(fixture("byte_order_mark.ini"));
  ASSERT_TRUE(r.ok) << r.conf;
  EXPECT_EQ(r.lanes[0].LaneNo, 5);
}

TEST(MvLaneConfTest, CrLfLinesAndLastLineWithoutNewline) {
  const ReadResult r = readTable(fixture("crlf_no_final_newline.ini"));
  ASSERT_TRUE(r.ok) << r.conf;
  EXPECT_EQ(r.lanes[0].AutoLogout, 1);
  EXPECT_EQ(r.lanes[0].IpAddr, "127.0.0.1");
}

TEST(MvLaneConfTest, LaneCountMustBeOneOrTwo) {
  for (const char* name : {"lane_count_zero.ini", "lane_count_three.ini", "lane_count_not_number.ini",
                           "lane_count_missing.ini", "global_missing.ini"}) {
    expectFailure(fixture(name), "invalid MvLaneNum");
  }
  const ReadResult r = readTable(fixture("lane_count_with_text.ini"));
  EXPECT_TRUE(r.ok) << r.conf;
  EXPECT_EQ(r.lanes.size(), 1u);
}

TEST(MvLaneConfTest, MissingSectionsAndKeysAreNamed) {
  expectFailure(fixture("second_lane_missing.ini"), "IpAddr does not exists");
  expectFailure(fixture("sections_from_one.ini"), "IpAddr does not exists");
  expectFailure(fixture("key_missing.ini"), "TimeOut does not exists");
}

TEST(MvLaneConfTest, FirstOccurrenceOfRepeatedSectionWins) {
  const ReadResult r = readTable(fixture("repeated_section.ini"));
  ASSERT_TRUE(r.ok) << r.conf;
  EXPECT_EQ(r.lanes[0].Port, 2000);
}

TEST(MvLaneConfTest, BrokenHeaderEndsReading) {
  expectFailure(fixture("broken_header.ini"), "IpAddr does not exists");
}

TEST(MvLaneConfTest, DuplicateLaneNumbersAreRejected) {
  expectFailure(fixture("duplicate_lane_no.ini"), "Dumplicate LaneNo detected!");
}

TEST(MvLaneConfTest, MissingFileReportsFullPath) {
  ScratchDir scratch;
  expectFailure(scratch.file("none.ini"), "Parse File failed! : [" + scratch.file("none.ini") + "]\n");
  const std::string longPath = scratch.path() + "/" + std::string(600, 'd') + "/Marovex.ini";
  expectFailure(longPath, "Parse File failed! : [" + longPath + "]\n");
}

TEST(MvLaneConfTest, NumericRangesAreCheckedOnTheFullNumber) {
  struct Case {
    const char* key;
    const char* value;
    const char* reason;  // null: accepted
  };
  const Case cases[] = {
      {"Port", "1023", "Port : out of range: 1023"},
      {"Port", "1024", nullptr},
      {"Port", "65535", nullptr},
      {"Port", "65536", "Port : out of range: 65536"},
      {"Port", "67536", "Port : out of range: 67536"},
      {"Port", "-63536", "Port : out of range: -63536"},
      {"Port", "99999999999999999999", "Port : out of range: 99999999999999999999"},
      {"Port", "abc", "Port : invalid integer: abc"},
      {"Port", "", "Port : invalid integer: "},
      {"Port", "-", "Port : invalid integer: -"},
      {"ProvinceNo", "99", nullptr},
      {"ProvinceNo", "100", "ProvinceNo : out of range: 100"},
      {"ProvinceNo", "-1", "ProvinceNo : out of range: -1"},
      {"CityNo", "100", "CityNo : out of range: 100"},
      {"AreaNo", "9999", nullptr},
      {"AreaNo", "10000", "AreaNo : out of range: 10000"},
      {"AreaNo", "x1", "AreaNo : invalid integer: x1"},
      {"GateNo", "100", "GateNo : out of range: 100"},
      {"LaneNo", "0", nullptr},
      {"LaneNo", "100", "LaneNo : out of range: 100"},
      {"LaneNo", "65541", "LaneNo : out of range: 65541"},
      {"HeartBeatTime", "0", "HeartBeatTime : out of range: 0"},
      {"HeartBeatTime", "120", nullptr},
      {"HeartBeatTime", "121", "HeartBeatTime : out of range: 121"},
      {"TimeOut", "0", "TimeOut : out of range: 0"},
      {"TimeOut", "121", "TimeOut : out of range: 121"},
      {"RSUID", "-1", nullptr},
      {"RSUID", "2", "RSUID : out of range: 2"},
      {"RSUID", "-2", "RSUID : out of range: -2"},
      {"RSUID", "65535", "RSUID : out of range: 65535"},
      {"ReaderID", "0", nullptr},
      {"ReaderID", "2", "ReaderID : out of range: 2"},
      {"ReaderID", "65536", "ReaderID : out of range: 65536"},
      {"AutoLogout", "1", nullptr},
      {"AutoLogout", "2", "AutoLogout : out of range: 2"},
      {"AutoLogout", "65536", "AutoLogout : out of range: 65536"},
  };
  OneLaneFile file;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + c.value);
    if (c.reason != nullptr) {
      expectFailure(file.with(c.key, c.value), c.reason);
    } else {
      const ReadResult r = readTable(file.with(c.key, c.value));
      EXPECT_TRUE(r.ok) << r.conf;
    }
  }
}

TEST(MvLaneConfTest, NumbersAreReadLikeStrtol) {
  OneLaneFile file;
  ReadResult r = readTable(file.with("Port", "2000abc"));
  ASSERT_TRUE(r.ok) << r.conf;
  EXPECT_EQ(r.lanes[0].Port, 2000);
  r = readTable(file.with("Port", "\t+3000"));
  ASSERT_TRUE(r.ok) << r.conf;
  EXPECT_EQ(r.lanes[0].Port, 3000);
  r = readTable(file.with("RSUID", "-1x"));
  ASSERT_TRUE(r.ok) << r.conf;
  EXPECT_EQ(r.lanes[0].RSUID, -1);
  // The summary keeps the text as written.
  Json::Value summary;
  ASSERT_TRUE(jsontext::parse(r.conf, summary));
  EXPECT_EQ(summary[0]["RSUID"].asString(), "-1x");
}

TEST(MvLaneConfTest, IpAddressNeedsFourNumbersUpTo255) {
  struct Case {
    const char* value;
    bool ok;
  };
  const Case cases[] = {
      {"0.0.0.0", true},          {"255.255.255.255", true}, {"10.0.0.1:2000", true},
      {"1.2.3.4.5", true},        {"192.168.1.256", false},  {"1.2.3", false},
      {"-1.2.3.4", false},        {"a.b.c.d", false},        {"", false},
      {"1,2,3,4", false},         {"99999999999.1.1.1", false}, {"1.2.3.4294967297", false},
  };
  OneLaneFile file;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const ReadResult r = readTable(file.with("IpAddr", c.value));
    EXPECT_EQ(r.ok, c.ok) << r.conf;
    if (c.ok) {
      EXPECT_EQ(r.lanes[0].IpAddr, c.value);
    } else {
      EXPECT_EQ(r.conf, "invalid ip format");
    }
  }
}

TEST(MvLaneConfTest, FirstFailingKeyIsReported) {
  // Keys are checked in a fixed order: the address before the port.
  ScratchDir scratch;
  writeFile(scratch.file("lane.ini"), "[Global]\nMvLaneNum=1\n[MvLane0]\nIpAddr=1.2.3\nPort=1\n");
  expectFailure(scratch.file("lane.ini"), "invalid ip format");
  writeFile(scratch.file("lane.ini"), "[Global]\nMvLaneNum=1\n[MvLane0]\nIpAddr=1.2.3.4\nPort=1\n");
  expectFailure(scratch.file("lane.ini"), "UserName does not exists");
}

// Init's reason stays as it is; one log line beside it says where the file went wrong and what
// stands there instead.
TEST(MvLaneConfTest, RefusalLogsWhereTheFileWentWrong) {
  struct Case {
    std::string path;
    const char* reason;
    const char* where;
  };
  OneLaneFile badIp;
  OneLaneFile badNumber;
  ScratchDir scratch;
  const Case cases[] = {
      {fixture("blank_before_equals_second_lane.ini"), "Port does not exists",
       "key 'Port ' with a blank before '=' in [MvLane1] line 20"},
      {fixture("second_lane_missing.ini"), "IpAddr does not exists",
       "no section [MvLane1]; the file has [Global] line 1, [MvLane0] line 3"},
      {fixture("sections_from_one.ini"), "IpAddr does not exists",
       "no section [MvLane0]; the file has [Global] line 1, [MvLane1] line 3, [MvLane2] line 18"},
      {fixture("section_name_blank.ini"), "IpAddr does not exists",
       "no section [MvLane1]; line 18 has '[MvLane1 ]' with a blank in the name"},
      {fixture("broken_header.ini"), "IpAddr does not exists",
       "no section [MvLane0]; line 3: '[MvLane0' has no ']', the rest of the file was not read"},
      {fixture("key_missing.ini"), "TimeOut does not exists", "no key 'TimeOut' in [MvLane0] line 3"},
      {fixture("key_under_repeated_section.ini"), "TimeOut does not exists",
       "no key 'TimeOut' in [MvLane0] line 3; line 20 has it under the repeated header [MVLANE0] "
       "line 19, which is not read"},
      {fixture("port_out_of_range.ini"), "Port : out of range: 70000",
       "Port '70000' in [MvLane1] line 21 is out of range 1024 to 65535"},
      {badNumber.with("RSUID", "one"), "RSUID : invalid integer: one",
       "RSUID 'one' in [MvLane0] line 14 is not a number"},
      {badIp.with("IpAddr", "10.0.0"), "invalid ip format",
       "IpAddr '10.0.0' in [MvLane0] line 9 is not four numbers of 0 to 255"},
      {fixture("duplicate_lane_no.ini"), "Dumplicate LaneNo detected!",
       "LaneNo '5' in [MvLane1] line 27 repeats LaneNo '5' in [MvLane0] line 12"},
      {fixture("lane_count_three.ini"), "invalid MvLaneNum", "MvLaneNum '3' in [Global] line 2 is not 1 or 2"},
      {fixture("global_missing.ini"), "invalid MvLaneNum", "no section [Global]; the file has [MvLane0] line 1"},
      {scratch.file("none.ini"), nullptr, "the file cannot be opened"},
  };
  for (const Case& c : cases) {
    testsupport::LogCapture capture;
    const std::string reason = c.reason != nullptr ? c.reason : "Parse File failed! : [" + c.path + "]\n";
    expectFailure(c.path, reason);
    EXPECT_EQ(capture.count("]-Configuration " + c.path + " refused: " + c.where + "\n"), 1) << capture.text();
    const std::string log = capture.text();
    EXPECT_EQ(log.find("[E]"), log.rfind("[E]")) << "one 'E' line only";
  }
  testsupport::LogCapture capture;
  ASSERT_TRUE(readTable(fixture("two_lanes.ini")).ok);
  EXPECT_FALSE(capture.contains("refused")) << capture.text();
}
