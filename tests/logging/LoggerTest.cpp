#include "logging/Logger.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "TestSupport.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::ScratchDir;
using testsupport::writeFile;

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;

std::int64_t dayOf(std::uint64_t fileTime) {
  return static_cast<std::int64_t>(fileTime / Logger::kFileTimePerDay);
}

// Noon of a day number (days since 1601-01-01), written as a local time that converts to it.
platform::LocalTime stampOfDay(std::int64_t day) {
  const std::time_t unixSeconds =
      static_cast<std::time_t>(day * kSecondsPerDay - kSecondsFrom1601To1970 + 12 * 3600);
  const std::tm tm = *std::gmtime(&unixSeconds);
  platform::LocalTime t;
  t.year = tm.tm_year + 1900;
  t.month = tm.tm_mon + 1;
  t.day = tm.tm_mday;
  t.hour = tm.tm_hour;
  t.minute = tm.tm_min;
  t.second = tm.tm_sec;
  return t;
}

std::int64_t today() { return dayOf(platform::fileTimeOf(platform::localTimeNow())); }

std::set<std::string> filesIn(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
  return names;
}

std::string allLogText(const std::string& dir) {
  std::string text;
  for (const std::string& name : filesIn(dir)) text += readFile(dir + "/" + name);
  return text;
}

std::string hexThreadId() {
  char text[32];
  std::snprintf(text, sizeof text, "%lx", platform::currentThreadId());
  return text;
}

// "[I]YYYY-MM-DD HH:MM:SS[0x" + id + "]-"
std::size_t prefixLength() { return 3 + 19 + 3 + hexThreadId().size() + 2; }

struct LogLine {
  char level = 0;
  int year = 0;
  int month = 0;
  int day = 0;
  std::string threadHex;
  std::string message;
};

// Takes a line (without its line end) apart; false when its prefix has not the logger's shape.
bool splitLine(const std::string& line, LogLine& out) {
  const std::string shape = "[L]dddd-dd-dd dd:dd:dd[0x";
  if (line.size() < shape.size()) return false;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const bool digit = line[i] >= '0' && line[i] <= '9';
    if (shape[i] == 'd' ? !digit : shape[i] != 'L' && shape[i] != line[i]) return false;
  }
  const std::size_t close = line.find("]-", shape.size());
  if (close == std::string::npos || close == shape.size()) return false;
  out.threadHex = line.substr(shape.size(), close - shape.size());
  if (out.threadHex.find_first_not_of("0123456789abcdef") != std::string::npos) return false;
  out.level = line[1];
  out.year = std::stoi(line.substr(3, 4));
  out.month = std::stoi(line.substr(8, 2));
  out.day = std::stoi(line.substr(11, 2));
  out.message = line.substr(close + 2);
  return true;
}

std::vector<LogLine> splitLog(const std::string& text) {
  std::vector<LogLine> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    LogLine parsed;
    EXPECT_TRUE(splitLine(line, parsed)) << line;
    lines.push_back(parsed);
  }
  return lines;
}

}  // namespace

TEST(LoggerTest, FileNameJoinsDirectoryNameAndDate) {
  ScratchDir scratch;
  Logger logger("Marovex", scratch.path(), 30);
  platform::LocalTime t;
  t.year = 2026;
  t.month = 12;
  t.day = 6;
  t.hour = 17;
  EXPECT_EQ(logger.fileNameFor(t), scratch.path() + platform::pathSeparator() + "Marovex_20261206.log");
  t.year = 987;
  t.month = 1;
  t.day = 2;
  EXPECT_EQ(logger.fileNameFor(t), scratch.path() + platform::pathSeparator() + "Marovex_09870102.log");
}

TEST(LoggerTest, CreatesMissingDirectoryOneLevel) {
  ScratchDir scratch;
  Logger created("Marovex", scratch.file("logs"), 30);
  EXPECT_TRUE(created.valid());
  EXPECT_TRUE(fs::is_directory(scratch.file("logs")));

  Logger existing("Marovex", scratch.file("logs"), 30);
  EXPECT_TRUE(existing.valid());

  Logger nested("Marovex", scratch.file("a/b"), 30);
  EXPECT_FALSE(nested.valid());
  EXPECT_FALSE(fs::exists(scratch.file("a")));
}

TEST(LoggerTest, LineHasLevelLocalTimeAndThreadIdPrefix) {
  ScratchDir scratch;
  Logger logger("Marovex", scratch.path(), 30);
  const platform::LocalTime before = platform::localTimeNow();
  logger.log('I', "Login Success %d\n", 42);
  logger.log('E', "second\n");

  const std::set<std::string> files = filesIn(scratch.path());
  ASSERT_GE(files.size(), 1u);
  const std::string text = allLogText(scratch.path());
  const std::vector<LogLine> lines = splitLog(text);
  ASSERT_EQ(lines.size(), 2u) << text;
  EXPECT_EQ(lines[0].level, 'I');
  EXPECT_EQ(lines[0].threadHex, hexThreadId());
  EXPECT_EQ(lines[0].message, "Login Success 42");
  EXPECT_EQ(lines[0].year, before.year);
  EXPECT_EQ(lines[0].month, before.month);
  EXPECT_EQ(lines[0].day, before.day);
  EXPECT_EQ(lines[1].level, 'E');
  EXPECT_EQ(lines[1].message, "second");
  char expectedName[32];
  std::snprintf(expectedName, sizeof expectedName, "Marovex_%04d%02d%02d.log", before.year, before.month, before.day);
  EXPECT_EQ(files.count(expectedName), 1u);
}

TEST(LoggerTest, EachDayGetsItsOwnFileAndReopeningAppends) {
  ScratchDir scratch;
  const std::int64_t day = today();
  std::string name1;
  std::string name2;
  {
    Logger logger("Marovex", scratch.path(), 30);
    name1 = fs::path(logger.fileNameFor(stampOfDay(day + 1))).filename().string();
    name2 = fs::path(logger.fileNameFor(stampOfDay(day + 2))).filename().string();
    logger.writeText("a\n", stampOfDay(day + 1));
    logger.writeText("b\n", stampOfDay(day + 1));
    logger.writeText("c\n", stampOfDay(day + 2));
    logger.writeText("d\n", stampOfDay(day + 1));
  }
  {
    Logger again("Marovex", scratch.path(), 30);
    again.writeText("e\n", stampOfDay(day + 2));
  }
  EXPECT_EQ(filesIn(scratch.path()), (std::set<std::string>{name1, name2}));
  EXPECT_EQ(readFile(scratch.file(name1)), "a\nb\nd\n");
  EXPECT_EQ(readFile(scratch.file(name2)), "c\ne\n");
}

TEST(LoggerTest, NewDayRemovesOwnFilesOlderThanKeepDays) {
  ScratchDir scratch;
  for (const char* name : {"Marovex_20200101.log", "old_Marovex.log", "other.log", "marovex_lower.log",
                           "Marovex_note.txt"}) {
    writeFile(scratch.file(name), "x\n");
  }
  const std::vector<platform::DirEntry> entries = platform::listFiles(scratch.path(), ".log");
  ASSERT_EQ(entries.size(), 4u);
  std::int64_t created = dayOf(entries.front().creationFileTime);
  for (const auto& e : entries) created = std::max(created, dayOf(e.creationFileTime));

  constexpr unsigned kKeepDays = 3;
  Logger logger("Marovex", scratch.path(), kKeepDays);
  // Exactly keepDays later the files are not yet expired.
  logger.writeText("kept\n", stampOfDay(created + kKeepDays));
  const std::string keptName = fs::path(logger.fileNameFor(stampOfDay(created + kKeepDays))).filename().string();
  EXPECT_EQ(filesIn(scratch.path()),
            (std::set<std::string>{"Marovex_20200101.log", "old_Marovex.log", "other.log",
                                   "marovex_lower.log", "Marovex_note.txt", keptName}));

  // One day more and every .log holding "Marovex" goes, the new day's file remains.
  logger.writeText("next\n", stampOfDay(created + kKeepDays + 1));
  const std::string nextName = fs::path(logger.fileNameFor(stampOfDay(created + kKeepDays + 1))).filename().string();
  EXPECT_EQ(filesIn(scratch.path()),
            (std::set<std::string>{"other.log", "marovex_lower.log", "Marovex_note.txt", nextName}));
  EXPECT_EQ(readFile(scratch.file(nextName)), "next\n");
}

TEST(LoggerTest, DeleteExpiredMeasuresAgeFromTheDayOfTheOpenFile) {
  ScratchDir scratch;
  Logger logger("Marovex", scratch.path(), 1);
  writeFile(scratch.file("Marovex_fresh.log"), "x\n");
  logger.deleteExpired();
  EXPECT_TRUE(fs::exists(scratch.file("Marovex_fresh.log")));

  // A line stamped days ahead moves the reference day; files created now are then expired.
  const platform::LocalTime ahead = stampOfDay(today() + 5);
  logger.writeText("ahead\n", ahead);
  EXPECT_FALSE(fs::exists(scratch.file("Marovex_fresh.log")));
  writeFile(scratch.file("Marovex_later.log"), "x\n");
  logger.deleteExpired();
  EXPECT_FALSE(fs::exists(scratch.file("Marovex_later.log")));
}

TEST(LoggerTest, FailedOpenReportsOnStderrDropsLineAndRetries) {
  ScratchDir scratch;
  Logger logger("Marovex", scratch.file("missing/deeper"), 30);
  ASSERT_FALSE(logger.valid());
  const platform::LocalTime now = platform::localTimeNow();
  const std::string fileName = logger.fileNameFor(now);

  testing::internal::CaptureStderr();
  logger.writeText("lost\n", now);
  logger.writeText("lost too\n", now);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "File " + fileName + " create failed\nFile " + fileName + " create failed\n");

  // Once the directory appears, the next line opens the file.
  fs::create_directories(scratch.file("missing/deeper"));
  logger.writeText("kept\n", now);
  EXPECT_EQ(readFile(fileName), "kept\n");
}

TEST(LoggerTest, LongLinesAreCutAt4095Characters) {
  ScratchDir scratch;
  Logger logger("Marovex", scratch.path(), 30);
  const std::size_t room = Logger::kMaxLineLength - prefixLength();

  const std::string fits(room - 1, 'f');
  logger.log('I', "%s\n", fits.c_str());
  const std::string cut(room, 'c');
  logger.log('I', "%s\n", cut.c_str());
  logger.log('I', "%s", std::string(10000, 'z').c_str());
  logger.log('I', "end\n");

  const std::string text = allLogText(scratch.path());
  std::size_t pos = 0;
  // The line that fits exactly keeps its line end.
  ASSERT_EQ(text.substr(pos + prefixLength(), room), fits + "\n");
  pos += Logger::kMaxLineLength;
  // One more character and the line end is lost.
  ASSERT_EQ(text.substr(pos + prefixLength(), room), cut);
  pos += Logger::kMaxLineLength;
  ASSERT_EQ(text.substr(pos + prefixLength(), room), std::string(room, 'z'));
  pos += Logger::kMaxLineLength;
  EXPECT_EQ(text.substr(pos + prefixLength()), "end\n");
}

// No lock is held while a line is written, yet every line is whole, and in the file before the
// call that logged it returns (looked up for every kLookEvery-th line, to keep the test quick).
TEST(LoggerTest, ConcurrentLinesStayWholeAndAreInTheFileWhenTheCallReturns) {
  ScratchDir scratch;
  Logger logger("Marovex", scratch.path(), 30);
  constexpr int kThreads = 4;
  constexpr int kLines = 400;
  constexpr int kLookEvery = 25;
  const std::string payload(200, 'p');
  std::atomic<int> missing{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kLines; ++i) {
        logger.log('I', "t%d l%d %s\n", t, i, payload.c_str());
        if (i % kLookEvery != 0) continue;
        const std::string own = "]-t" + std::to_string(t) + " l" + std::to_string(i) + " " + payload + "\n";
        if (allLogText(scratch.path()).find(own) == std::string::npos) ++missing;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(0, missing.load());

  std::set<std::string> expected;
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kLines; ++i) expected.insert("t" + std::to_string(t) + " l" + std::to_string(i) + " " + payload);
  }
  const std::vector<LogLine> lines = splitLog(allLogText(scratch.path()));
  EXPECT_EQ(lines.size(), expected.size());
  for (const LogLine& line : lines) {
    EXPECT_EQ(line.level, 'I');
    EXPECT_EQ(expected.erase(line.message), 1u) << line.message;
  }
  EXPECT_TRUE(expected.empty());
}

// Lines of two days written at once: each day's file is reopened under the writers of the other,
// and every line still lands whole in the file of its own day.
TEST(LoggerTest, LinesOfTwoDaysWrittenAtOnceLandWholeInTheirOwnFiles) {
  ScratchDir scratch;
  Logger logger("Marovex", scratch.path(), 30);
  const std::int64_t day = today();
  constexpr int kLines = 150;
  const std::string payload(100, 'd');
  const platform::LocalTime stamps[] = {stampOfDay(day), stampOfDay(day - 1)};
  std::vector<std::thread> threads;
  for (int d = 0; d < 2; ++d) {
    threads.emplace_back([&, d] {
      const platform::LocalTime stamp = stamps[d];
      for (int i = 0; i < kLines; ++i) {
        logger.writeText(("day" + std::to_string(d) + " " + payload + "\n").c_str(), stamp);
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int d = 0; d < 2; ++d) {
    const std::string text = readFile(logger.fileNameFor(stampOfDay(day - d)));
    const std::string line = "day" + std::to_string(d) + " " + payload + "\n";
    std::size_t count = 0;
    for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++count;
    EXPECT_EQ(static_cast<std::size_t>(kLines), count) << d;
    EXPECT_EQ(kLines * line.size(), text.size()) << d;
  }
}

TEST(LoggerTest, LogLineWritesOnlyThroughTheGlobalLogger) {
  ScratchDir scratch;
  ASSERT_EQ(Logger::global(), nullptr);
  logLine('I', "dropped\n");

  Logger logger("Marovex", scratch.path(), 30);
  Logger::setGlobal(&logger);
  logLine('E', "%s=%d\n", "kept", 1);
  Logger other("Marovex", scratch.file("other"), 30);
  Logger::clearGlobal(&other);
  EXPECT_EQ(Logger::global(), &logger);
  Logger::clearGlobal(&logger);
  EXPECT_EQ(Logger::global(), nullptr);
  logLine('I', "dropped\n");

  const std::string text = allLogText(scratch.path());
  EXPECT_EQ(text.find("dropped"), std::string::npos);
  EXPECT_NE(text.find("]-kept=1\n"), std::string::npos);
  EXPECT_EQ(text.substr(0, 3), "[E]");
}
