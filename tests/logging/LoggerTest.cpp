#include "logging/Logger.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <regex>
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

}  // namespace

TEST(LoggerTest, FileNameJoinsDirectoryNameAndDate) {
  ScratchDir scratch;
  Logger logger("Marovex", scratch.path(), 30);
  platform::LocalTime t;
  t.year = 2026;
  t.month = 12;
  t.day = 6;
  t.hour = 17;
  EXPECT_EQ(logger.fileNameFor(t), scratch.path() + "/Marovex_20261206.log");
  t.year = 987;
  t.month = 1;
  t.day = 2;
  EXPECT_EQ(logger.fileNameFor(t), scratch.path() + "/Marovex_09870102.log");
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
  const std::regex line("\\[I\\](\\d{4})-(\\d{2})-(\\d{2}) \\d{2}:\\d{2}:\\d{2}\\[0x" + hexThreadId() +
                        "\\]-Login Success 42\n\\[E\\].*\\]-second\n");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(text, m, line)) << text;
  EXPECT_EQ(std::stoi(m[1]), before.year);
  EXPECT_EQ(std::stoi(m[2]), before.month);
  EXPECT_EQ(std::stoi(m[3]), before.day);
  EXPECT_EQ(files.count("Marovex_" + m[1].str() + m[2].str() + m[3].str() + ".log"), 1u);
}

TEST(LoggerTest, EachDayGetsItsOwnFileAndReopeningAppends) {
  ScratchDir scratch;
  const std::int64_t day = today();
  {
    Logger logger("Marovex", scratch.path(), 30);
    logger.writeText("a\n", stampOfDay(day + 1));
    logger.writeText("b\n", stampOfDay(day + 1));
    logger.writeText("c\n", stampOfDay(day + 2));
    logger.writeText("d\n", stampOfDay(day + 1));
  }
  {
    Logger again("Marovex", scratch.path(), 30);
    again.writeText("e\n", stampOfDay(day + 2));
  }
  const std::string name1 = fs::path(Logger("Marovex", scratch.path(), 30).fileNameFor(stampOfDay(day + 1))).filename();
  const std::string name2 = fs::path(Logger("Marovex", scratch.path(), 30).fileNameFor(stampOfDay(day + 2))).filename();
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
  const std::string keptName = fs::path(logger.fileNameFor(stampOfDay(created + kKeepDays))).filename();
  EXPECT_EQ(filesIn(scratch.path()),
            (std::set<std::string>{"Marovex_20200101.log", "old_Marovex.log", "other.log",
                                   "marovex_lower.log", "Marovex_note.txt", keptName}));

  // One day more and every .log holding "Marovex" goes, the new day's file remains.
  logger.writeText("next\n", stampOfDay(created + kKeepDays + 1));
  const std::string nextName = fs::path(logger.fileNameFor(stampOfDay(created + kKeepDays + 1))).filename();
  EXPECT_EQ(filesIn(scratch.path()),
            (std::set<std::string>{"other.log", "marovex_lower.log", "Marovex_note.txt", nextName}));
  EXPECT_EQ(readFile(scratch.file(nextName)), "next\n");
}

TEST(LoggerTest, ExplicitDeleteExpiredUsesReferenceDay) {
  ScratchDir scratch;
  writeFile(scratch.file("Marovex_1.log"), "x\n");
  Logger logger("Marovex", scratch.path(), 1);
  logger.deleteExpired();
  EXPECT_TRUE(fs::exists(scratch.file("Marovex_1.log")));
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

TEST(LoggerTest, ConcurrentLinesStayWhole) {
  ScratchDir scratch;
  Logger logger("Marovex", scratch.path(), 30);
  constexpr int kThreads = 4;
  constexpr int kLines = 400;
  const std::string payload(200, 'p');
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kLines; ++i) logger.log('I', "t%d l%d %s\n", t, i, payload.c_str());
    });
  }
  for (auto& th : threads) th.join();

  std::istringstream in(allLogText(scratch.path()));
  const std::regex line("\\[I\\]\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\[0x[0-9a-f]+\\]-t(\\d) l(\\d+) p{200}");
  std::set<std::pair<int, int>> seen;
  std::string text;
  int count = 0;
  while (std::getline(in, text)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, line)) << text;
    seen.insert({std::stoi(m[1]), std::stoi(m[2])});
    ++count;
  }
  EXPECT_EQ(count, kThreads * kLines);
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
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
