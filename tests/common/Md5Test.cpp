#include <gtest/gtest.h>

#include "common/Md5.h"

TEST(Md5, KnownAnswersOfRfc1321) {
  EXPECT_EQ(md5(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(md5("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(md5("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(md5("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(md5("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, IncrementalUpdatesAcrossBlockBoundariesMatchOneUpdate) {
  std::string text(200, 'x');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  for (std::size_t split : {1u, 55u, 56u, 63u, 64u, 65u, 128u}) {
    MD5 digest;
    digest.update(text.substr(0, split));
    digest.update(text.substr(split));
    EXPECT_EQ(digest.hexdigest(), md5(text)) << "split at " << split;
  }
}

TEST(Md5, HandlesBytesAbove127) {
  EXPECT_EQ(md5(std::string("\xff\x00\x80", 3)).size(), 32u);
  EXPECT_NE(md5(std::string("\xff\x00\x80", 3)), md5(std::string("\xff\x00", 2)));
}
