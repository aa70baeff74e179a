#include "logging/LogHelper.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"

namespace fs = std::filesystem;
using testsupport::CurrentDirGuard;
using testsupport::readFile;
using testsupport::ScratchDir;
using testsupport::writeFile;

namespace {

struct SettingsCase {
  const char* what;
  const char* content;
  bool on;
  const char* dir;
  unsigned keepDays;
};

const SettingsCase kSettingsCases[] = {
    {"no log keys gives defaults", "[Global]\nMvLaneNum=1\n", true, "MvClientLog", 30},
    {"empty file gives defaults", "", true, "MvClientLog", 30},
    {"both keys", "[Global]\nLogDir=mylogs\nLogKeepDays=7\n", true, "mylogs", 7},
    {"keys and section ignore case", "[gLoBaL]\nlogdir=low\nLOGKEEPDAYS=12\n", true, "low", 12},
    {"blank before = is part of the key", "[Global]\nLogDir =spaced\nLogKeepDays =5\n", true, "MvClientLog", 30},
    {"blank after = stays in the value", "[Global]\nLogDir= lead\n", true, " lead", 30},
    {"empty LogDir is the current directory", "[Global]\nLogDir=\n", true, ".", 30},
    {"LogDir of blanks is the current directory", "[Global]\nLogDir=  ; none\n", true, ".", 30},
    {"later LogDir replaces earlier", "[Global]\nLogDir=one\nLogDir=two\n", true, "two", 30},
    {"comments and outer blanks go", "  [Global]  ; c\n\tLogDir=d # c\nLogKeepDays=9;x\n", true, "d", 9},
    {"carriage returns are trimmed", "[Global]\r\nLogDir=crlf\r\nLogKeepDays=3\r\n", true, "crlf", 3},
    {"line without = is skipped", "[Global]\nLogDir\nLogKeepDays=4\n", true, "MvClientLog", 4},
    {"zero days ignored", "[Global]\nLogKeepDays=0\n", true, "MvClientLog", 30},
    {"31 days ignored", "[Global]\nLogKeepDays=31\n", true, "MvClientLog", 30},
    {"negative days ignored", "[Global]\nLogKeepDays=-5\n", true, "MvClientLog", 30},
    {"ignored value keeps the earlier one", "[Global]\nLogKeepDays=6\nLogKeepDays=40\n", true, "MvClientLog", 6},
    {"bounds accepted", "[Global]\nLogKeepDays=1\n", true, "MvClientLog", 1},
    {"leading number read", "[Global]\nLogKeepDays=7days\n", true, "MvClientLog", 7},
    {"sign and blanks read", "[Global]\nLogKeepDays= +30\n", true, "MvClientLog", 30},
    {"no number turns logging off", "[Global]\nLogKeepDays=abc\n", false, "", 0},
    {"empty number turns logging off", "[Global]\nLogKeepDays=\n", false, "", 0},
    {"out of int range turns logging off", "[Global]\nLogKeepDays=2147483648\n", false, "", 0},
    {"keys outside Global ignored", "[Other]\nLogDir=x\nLogKeepDays=abc\n[Global]\nLogKeepDays=2\n", true,
     "MvClientLog", 2},
    {"next header ends Global", "[Global]\nLogKeepDays=8\n[MvLane1]\nLogDir=x\n[Global]\nLogDir=y\n", true,
     "MvClientLog", 8},
    {"keys before any header ignored", "LogDir=x\n[Global]\n", true, "MvClientLog", 30},
    {"broken header stops reading", "[Global\nLogDir=x\nLogKeepDays=abc\n", true, "MvClientLog", 30},
    {"too short header stops reading", "[]\n[Global]\nLogDir=x\n", true, "MvClientLog", 30},
    {"byte-order mark before Global skipped", "\xEF\xBB\xBF[Global]\r\nLogDir=bom\r\n", true, "bom", 30},
    {"byte-order mark on a later line kept", "[Global]\n\xEF\xBB\xBFLogDir=x\n", true, "MvClientLog", 30},
    {"bytes above 127 are safe", "[Global]\n\xA0\xFFLogDir=\xE4\xB8\xAD\xA0\n", true, "MvClientLog", 30},
};

}  // namespace

TEST(LogHelperTest, ReadsGlobalSection) {
  ScratchDir scratch;
  for (const SettingsCase& c : kSettingsCases) {
    SCOPED_TRACE(c.what);
    writeFile(scratch.file("Marovex.ini"), c.content);
    LogHelper::Settings settings;
    ASSERT_EQ(LogHelper::readSettings(scratch.file("Marovex.ini"), settings), c.on);
    if (!c.on) continue;
    EXPECT_EQ(settings.dir, c.dir);
    EXPECT_EQ(settings.keepDays, c.keepDays);
  }
}

TEST(LogHelperTest, DefaultsLogIntoMvClientLogBelowCurrentDirectory) {
  ScratchDir scratch;
  writeFile(scratch.file("EtcConfig/Marovex.ini"), "[Global]\nMvLaneNum=1\n");
  CurrentDirGuard cwd(scratch.path());
  {
    LogHelper helper;
    ASSERT_NE(helper.logger(), nullptr);
    EXPECT_EQ(Logger::global(), helper.logger());
    EXPECT_TRUE(helper.logger()->valid());
    logLine('I', "hello\n");
    const std::string name = helper.logger()->fileNameFor(platform::localTimeNow());
    EXPECT_EQ(name.rfind(std::string("MvClientLog") + platform::pathSeparator() + "Marovex_", 0), 0u) << name;
  }
  EXPECT_EQ(Logger::global(), nullptr);
  ASSERT_TRUE(fs::is_directory(scratch.file("MvClientLog")));
  std::string text;
  for (const auto& e : fs::directory_iterator(scratch.file("MvClientLog"))) text += readFile(e.path().string());
  EXPECT_NE(text.find("]-hello\n"), std::string::npos);
}

TEST(LogHelperTest, ConfiguredDirectoryIsUsed) {
  ScratchDir scratch;
  writeFile(scratch.file("Marovex.ini"), "[Global]\nLogDir=" + scratch.file("mine") + "\n");
  LogHelper helper(scratch.file("Marovex.ini"));
  ASSERT_NE(helper.logger(), nullptr);
  EXPECT_TRUE(fs::is_directory(scratch.file("mine")));
}

TEST(LogHelperTest, EmptyDirectoryLogsIntoCurrentDirectory) {
  ScratchDir scratch;
  writeFile(scratch.file("EtcConfig/Marovex.ini"), "[Global]\nLogDir=\n");
  CurrentDirGuard cwd(scratch.path());
  {
    LogHelper helper;
    ASSERT_NE(helper.logger(), nullptr);
    EXPECT_TRUE(helper.logger()->valid());
    logLine('I', "here\n");
    const std::string name = helper.logger()->fileNameFor(platform::localTimeNow());
    EXPECT_EQ(name.rfind(std::string(".") + platform::pathSeparator() + "Marovex_", 0), 0u) << name;
    EXPECT_NE(readFile(scratch.file(name.substr(2))).find("]-here\n"), std::string::npos);
  }
}

TEST(LogHelperTest, MissingFileLeavesLoggingOffAndCreatesNothing) {
  ScratchDir scratch;
  CurrentDirGuard cwd(scratch.path());
  {
    LogHelper helper;
    EXPECT_EQ(helper.logger(), nullptr);
    EXPECT_EQ(Logger::global(), nullptr);
    logLine('I', "nowhere\n");
  }
  EXPECT_TRUE(fs::is_empty(scratch.path()));
}

TEST(LogHelperTest, UnreadableWorkingDirectoryLeavesLoggingOff) {
  ScratchDir scratch;
  const std::string gone = scratch.file("gone");
  ASSERT_TRUE(platform::createDirectory(gone));
  CurrentDirGuard cwd(gone);
  ASSERT_TRUE(std::filesystem::remove(gone));
  LogHelper helper;
  EXPECT_EQ(helper.logger(), nullptr);
  EXPECT_EQ(Logger::global(), nullptr);
}

TEST(LogHelperTest, UnreadableKeepDaysLeavesLoggingOff) {
  ScratchDir scratch;
  writeFile(scratch.file("EtcConfig/Marovex.ini"), "[Global]\nLogKeepDays=abc\n");
  CurrentDirGuard cwd(scratch.path());
  LogHelper helper;
  EXPECT_EQ(helper.logger(), nullptr);
  EXPECT_EQ(Logger::global(), nullptr);
  EXPECT_FALSE(fs::exists(scratch.file("MvClientLog")));
}

TEST(LogHelperTest, DestructorLeavesAnotherGlobalLoggerInPlace) {
  ScratchDir scratch;
  writeFile(scratch.file("Marovex.ini"), "[Global]\nLogDir=" + scratch.file("logs") + "\n");
  auto first = std::make_unique<LogHelper>(scratch.file("Marovex.ini"));
  LogHelper second(scratch.file("Marovex.ini"));
  ASSERT_EQ(Logger::global(), second.logger());
  first.reset();
  EXPECT_EQ(Logger::global(), second.logger());
}
