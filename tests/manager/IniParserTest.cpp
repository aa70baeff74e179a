#include "manager/IniParser.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace {

// Every callback of one walk, as text: "[name]" for a header, "key|value" for a key line.
struct Walked {
  bool complete = false;
  std::vector<std::string> events;
};

Walked walk(const std::string& text) {
  std::istringstream in(text);
  Walked w;
  w.complete = vark::AIniWalker::walk(
      in, [&](auto b, auto e) { w.events.push_back("[" + std::string(b, e) + "]"); },
      [&](auto kb, auto ke, auto vb, auto ve) {
        w.events.push_back(std::string(kb, ke) + "|" + std::string(vb, ve));
      });
  return w;
}

vark::IniDocument parse(const std::string& text) {
  std::istringstream in(text);
  vark::IniDocument document;
  EXPECT_TRUE(vark::AIniParserBase::parse(in, document));
  return document;
}

using Events = std::vector<std::string>;

}  // namespace

TEST(IniParserTest, HashFoldsAsciiCaseWith133) {
  const vark::CIStringHash hash;
  EXPECT_EQ(hash(""), 0u);
  EXPECT_EQ(hash("ab"), 65u * 133u + 66u);
  EXPECT_EQ(hash("ab"), hash("AB"));
  EXPECT_EQ(hash("MvLane0"), hash("mvLANE0"));
  // Wraps in 32 bits.
  const std::string longText(40, 'z');
  std::uint32_t expected = 0;
  for (std::size_t i = 0; i < longText.size(); ++i) expected = expected * 133u + 'Z';
  EXPECT_EQ(hash(longText), expected);
}

TEST(IniParserTest, EqualityFoldsOnlyAsciiLetters) {
  const vark::CIStringEqual eq;
  EXPECT_TRUE(eq("Global", "gLOBAL"));
  EXPECT_FALSE(eq("Global", "Global "));
  EXPECT_FALSE(eq("Port", "Port "));
  EXPECT_FALSE(eq("a_b", "a-b"));
  EXPECT_FALSE(eq("@", "`"));  // neighbours of the letters are not letters
  EXPECT_FALSE(eq("[", "{"));
  EXPECT_FALSE(eq("\xE9", "\xC9"));  // bytes above 127 are never folded
  EXPECT_TRUE(eq("\xE9x", "\xE9X"));
}

TEST(IniParserTest, WalkReportsHeadersAndKeyLinesAsWritten) {
  const Walked w = walk("[ Sec A ]\nkey=value\n k = v \nempty=\n=novalue\nnoequals\na=b=c\n");
  EXPECT_TRUE(w.complete);
  EXPECT_EQ(w.events, (Events{"[ Sec A ]", "key|value", "k | v", "empty|", "|novalue", "a|b=c"}));
}

TEST(IniParserTest, WalkCutsCommentsAndTrimsWhiteSpace) {
  const Walked w = walk("# whole line\n; also\n\t [S] ;c\n\v\fk=v#c\r\nu=abc;def\n   \n\r\n#[broken\n");
  EXPECT_TRUE(w.complete);
  EXPECT_EQ(w.events, (Events{"[S]", "k|v", "u|abc"}));
}

TEST(IniParserTest, WalkKeepsBytesAbove127) {
  const Walked w = walk("\xA0k\xE4=\xFF\xA0\n");
  EXPECT_EQ(w.events, (Events{"\xA0k\xE4|\xFF\xA0"}));
}

TEST(IniParserTest, WalkSkipsByteOrderMarkOnlyBeforeTheFirstLine) {
  EXPECT_EQ(walk("\xEF\xBB\xBF[S]\nk=\xEF\xBB\xBFv\n").events, (Events{"[S]", "k|\xEF\xBB\xBFv"}));
  EXPECT_EQ(walk("\xEF\xBB\xBFk=v\n").events, (Events{"k|v"}));
  // Anywhere else the mark is text: here it keeps the header from being one.
  EXPECT_EQ(walk("a=1\n\xEF\xBB\xBF[S]\n").events, (Events{"a|1"}));
}

TEST(IniParserTest, WalkStopsAtMalformedHeader) {
  EXPECT_EQ(walk("a=1\n[S\nb=2\n").events, (Events{"a|1"}));
  EXPECT_FALSE(walk("a=1\n[S\nb=2\n").complete);
  EXPECT_FALSE(walk("[]\n").complete);
  EXPECT_FALSE(walk("[x] trailing\n").complete);
  EXPECT_TRUE(walk("[x]\n").complete);
}

TEST(IniParserTest, WalkReadsLastLineWithoutNewline) {
  EXPECT_EQ(walk("[S]\nlast=1").events, (Events{"[S]", "last|1"}));
}

TEST(IniParserTest, ParseBuildsSectionsWithCaseInsensitiveLookup) {
  const vark::IniDocument d = parse("top=1\n[Global]\nMvLaneNum=2\n[MvLane0]\nPort=1\nport=2\n");
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(d.at("").at("top"), "1");
  EXPECT_EQ(d.at("GLOBAL").at("mvlanenum"), "2");
  ASSERT_EQ(d.at("mvlane0").size(), 1u);
  EXPECT_EQ(d.at("MvLane0").at("PORT"), "2");  // a later value of a key replaces the earlier
}

TEST(IniParserTest, ParseKeepsFirstOccurrenceOfSection) {
  const vark::IniDocument d = parse("[A]\nx=1\n[B]\ny=2\n[a]\nx=3\nz=4\n");
  EXPECT_EQ(d.at("A").at("x"), "1");
  EXPECT_EQ(d.at("A").count("z"), 0u);
  EXPECT_EQ(d.at("B").at("y"), "2");
}

TEST(IniParserTest, ParseKeepsWhatWasReadBeforeMalformedHeader) {
  const vark::IniDocument d = parse("[A]\nx=1\n[B\ny=2\n[C]\nz=3\n");
  ASSERT_EQ(d.size(), 2u);  // the empty leading section and A
  EXPECT_EQ(d.at("A").at("x"), "1");
  EXPECT_EQ(d.count("C"), 0u);
}

TEST(IniParserTest, ParseRejectsOnlyUnopenedFile) {
  vark::IniDocument d = parse("[Keep]\nk=v\n");
  std::ifstream missing("/nonexistent-dir/none.ini");
  EXPECT_FALSE(vark::AIniParserBase::parse(missing, d));
  EXPECT_EQ(d.at("Keep").at("k"), "v");

  std::istringstream empty("");
  EXPECT_TRUE(vark::AIniParserBase::parse(empty, d));
  EXPECT_EQ(d.size(), 1u);  // only the empty leading section
  EXPECT_EQ(d.count("Keep"), 0u);
}
