#include "transport/PacketScanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "PacketBytes.h"

using transporttest::headMarker;
using transporttest::packetBytes;
using transporttest::RecordingSink;
using transporttest::setField;

namespace {

using Bodies = std::vector<std::string>;

std::size_t scan(const std::string& bytes, RecordingSink& sink) {
  return scanPackets(bytes.data(), bytes.size(), sink);
}

std::string withBadCheckCode(std::string pkt) {
  pkt[packet::kTimeOffset] ^= 0x01;
  return pkt;
}

TEST(PacketScan, TwoPacketsInOneBufferAreDeliveredInOrderInOneScan) {
  const std::string bytes = packetBytes("{\"n\":1}", "03101", 7) + packetBytes("{\"n\":2}", "03110", 8);
  RecordingSink sink;
  EXPECT_EQ(bytes.size(), scan(bytes, sink));
  ASSERT_EQ(2u, sink.entries.size());
  EXPECT_EQ(3101, sink.entries[0].cmdId);
  EXPECT_EQ(3110, sink.entries[1].cmdId);
  EXPECT_EQ((Bodies{"{\"n\":1}", "{\"n\":2}"}), sink.bodies());
  EXPECT_EQ("00000008", sink.entries[1].message.substr(packet::kMessageSerialOffset, 8));
}

TEST(PacketScan, PacketSplitAtEveryPositionIsDeliveredOnceWhenComplete) {
  // Garbage ahead of the packet, so that cuts inside the head marker are not at the buffer start.
  const std::string bytes = "noise" + packetBytes("{\"split\":true}");
  for (std::size_t cut = 1; cut < bytes.size(); ++cut) {
    PacketAccumulator acc;
    RecordingSink sink;
    acc.append(bytes.data(), cut);
    acc.scan(sink);
    EXPECT_TRUE(sink.entries.empty()) << "cut " << cut;
    acc.append(bytes.data() + cut, bytes.size() - cut);
    acc.scan(sink);
    EXPECT_EQ((Bodies{"{\"split\":true}"}), sink.bodies()) << "cut " << cut;
    EXPECT_EQ(0, sink.badCount()) << "cut " << cut;
    EXPECT_EQ(0u, acc.pending()) << "cut " << cut;
  }
}

TEST(PacketScan, PacketFedByteByByteIsDeliveredWithItsLastByte) {
  const std::string bytes = packetBytes("{}") + packetBytes("[]");
  PacketAccumulator acc;
  RecordingSink sink;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    acc.append(&bytes[i], 1);
    acc.scan(sink);
    const std::size_t expected = i + 1 >= bytes.size() ? 2 : (i + 1 >= 62 ? 1 : 0);
    ASSERT_EQ(expected, sink.entries.size()) << "after byte " << i;
  }
  EXPECT_EQ((Bodies{"{}", "[]"}), sink.bodies());
}

TEST(PacketScan, StartOfAHeadMarkerAtTheEndIsKept) {
  RecordingSink sink;
  EXPECT_EQ(4u, scan("abcd\xFF\xFE", sink));
  EXPECT_EQ(5u, scan("abcde\xFF", sink));
  EXPECT_EQ(5u, scan("abcd\xFF\xFF", sink));  // only the last one can still begin a marker
  EXPECT_EQ(5u, scan("abcd\xFE\xFF\xFE", sink));
  EXPECT_EQ(5u, scan("abcd\xFE\xFF", sink));
  EXPECT_EQ(6u, scan("abcd\xFF\xFD", sink));
  EXPECT_EQ(3u, scan("abc", sink));
  EXPECT_TRUE(sink.entries.empty());
}

TEST(PacketScan, KeptMarkerStartThatLeadsNowhereIsDroppedLater) {
  PacketAccumulator acc;
  RecordingSink sink;
  acc.append("xx\xFF", 3);
  acc.scan(sink);
  EXPECT_EQ(1u, acc.pending());
  acc.append("yy", 2);
  acc.scan(sink);
  EXPECT_EQ(0u, acc.pending());
  EXPECT_TRUE(sink.entries.empty());
}

TEST(PacketScan, GarbageBeforeAMarkerIsDroppedSilently) {
  const std::string bytes = std::string("garbage\xFF\xFE\xFD\xFE", 11) + packetBytes("{}");
  RecordingSink sink;
  testing::internal::CaptureStderr();
  EXPECT_EQ(bytes.size(), scan(bytes, sink));
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  EXPECT_EQ((Bodies{"{}"}), sink.bodies());
  EXPECT_EQ(0, sink.badCount());
}

TEST(PacketScan, BadCheckCodeIsReportedAndTheFollowingGoodPacketDeliveredInTheSameScan) {
  const std::string bytes = withBadCheckCode(packetBytes("{\"bad\":1}")) + packetBytes("{\"good\":1}");
  RecordingSink sink;
  testing::internal::CaptureStderr();
  EXPECT_EQ(bytes.size(), scan(bytes, sink));
  EXPECT_EQ("校验码错误！\n", testing::internal::GetCapturedStderr());
  ASSERT_EQ(2u, sink.entries.size());
  EXPECT_FALSE(sink.entries[0].good);
  EXPECT_EQ((Bodies{"{\"good\":1}"}), sink.bodies());
}

TEST(PacketScan, RejectedCandidateIsResumedRightAfterItsMarker) {
  // A packet hidden inside a rejected one is found, because the scan goes on 3 bytes after the
  // rejected marker rather than after its whole length.
  const std::string inner = packetBytes("{\"inner\":1}");
  RecordingSink sink;
  scan(withBadCheckCode(packetBytes(inner)), sink);
  EXPECT_EQ(1, sink.badCount());
  EXPECT_EQ((Bodies{"{\"inner\":1}"}), sink.bodies());
}

TEST(PacketScan, GoodPacketIsSkippedWhole) {
  // A marker inside a delivered packet's body is not looked at again.
  const std::string inner = packetBytes("{\"inner\":1}");
  RecordingSink sink;
  scan(packetBytes(inner), sink);
  EXPECT_EQ((Bodies{inner}), sink.bodies());
}

TEST(PacketScan, FalseHeadsAreSkippedWithoutAReport) {
  std::string shortLength = packetBytes("{}");
  setField(shortLength, packet::kLengthOffset, "00000059");
  std::string negativeLength = packetBytes("{}");
  setField(negativeLength, packet::kLengthOffset, "-0000062");
  std::string wrongTail = packetBytes("{}");
  wrongTail[wrongTail.size() - 1] = 'X';
  const std::string bytes = shortLength + negativeLength + wrongTail + packetBytes("{\"ok\":1}");
  RecordingSink sink;
  testing::internal::CaptureStderr();
  EXPECT_EQ(bytes.size(), scan(bytes, sink));
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  EXPECT_EQ(0, sink.badCount());
  EXPECT_EQ((Bodies{"{\"ok\":1}"}), sink.bodies());
}

TEST(PacketScan, IncompleteCandidateIsKeptFromItsMarker) {
  const std::string pkt = packetBytes(std::string(100, 'b'));
  RecordingSink sink;
  // Shorter than a header.
  EXPECT_EQ(4u, scan("junk" + pkt.substr(0, 59), sink));
  // Header complete, body still missing.
  EXPECT_EQ(4u, scan("junk" + pkt.substr(0, 150), sink));
  // A good packet, then the start of the next one.
  EXPECT_EQ(62u, scan(packetBytes("{}") + pkt.substr(0, 70), sink));
  EXPECT_EQ((Bodies{"{}"}), sink.bodies());
}

TEST(PacketScan, IncompleteHeadWhoseBodyLengthDisagreesIsSkippedAtOnce) {
  // A head promising the largest packet there is, but whose body length field cannot match it,
  // must not hold up the good packet behind it (it used to be kept until 100 MB had arrived).
  std::string falseHead = packetBytes(std::string(20, 'f'));
  setField(falseHead, packet::kLengthOffset, "99999999");
  const std::string good = packetBytes("{\"behind\":1}");
  RecordingSink sink;
  EXPECT_EQ(falseHead.size() + good.size(), scan(falseHead + good, sink));
  EXPECT_EQ((Bodies{"{\"behind\":1}"}), sink.bodies());
  EXPECT_EQ(0, sink.badCount());

  // One whose two length fields agree may still complete: it is kept, as before.
  std::string promising = falseHead;
  setField(promising, packet::kBodyLenOffset, "99999939");
  EXPECT_EQ(4u, scan("junk" + promising, sink));
}

// Counts where every byte of a stream went: into a delivered packet, or passed over.
class AccountingSink : public PacketSink {
 public:
  void onPacket(int, const char*, unsigned length) override { delivered += length + packet::kMessageOverhead; }
  void onBadPacket() override {}
  void onSkipped(const char*, std::size_t count, std::size_t, ScanSkip) override { skipped += count; }
  std::size_t delivered = 0;
  std::size_t skipped = 0;
};

TEST(PacketScan, EveryByteIsDeliveredSkippedOrKeptOnceHoweverTheStreamIsCut) {
  std::string shortLength = packetBytes("{}");
  setField(shortLength, packet::kLengthOffset, "00000007");
  std::string wrongTail = packetBytes("{}");
  wrongTail.back() = 'X';
  const std::string good = packetBytes("{\"n\":1}");
  const std::string bytes = "noise" + shortLength + good + wrongTail + withBadCheckCode(good) + good +
                            "\xFF\xFE" + packetBytes(std::string(100, 'b')).substr(0, 70);
  testing::internal::CaptureStderr();
  for (std::size_t piece : {bytes.size(), std::size_t(1), std::size_t(7), std::size_t(61)}) {
    PacketAccumulator acc;
    AccountingSink sink;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
      acc.append(bytes.data() + at, std::min(piece, bytes.size() - at));
      acc.scan(sink);
    }
    EXPECT_EQ(2 * good.size(), sink.delivered) << piece;
    EXPECT_EQ(70u, acc.pending()) << piece;
    EXPECT_EQ(bytes.size() - sink.delivered - acc.pending(), sink.skipped) << piece;
  }
  testing::internal::GetCapturedStderr();
}

TEST(PacketAccumulator, CompactsOncePerScanNotPerPacket) {
  const std::string p1 = packetBytes("{\"n\":1}");
  const std::string p2 = packetBytes("{\"n\":22}");
  const std::string p3 = packetBytes("{\"n\":333}");
  const std::string next = packetBytes("{\"n\":4444}");
  const std::string bytes = p1 + p2 + p3 + next.substr(0, 30);
  PacketAccumulator acc;
  acc.append(bytes.data(), bytes.size());
  const char* base = acc.data();
  const std::size_t capacity = acc.capacity();
  EXPECT_GE(capacity, 10240u);
  RecordingSink sink;
  acc.scan(sink);
  // Every message part is handed out where it was received: nothing moved between packets.
  ASSERT_EQ(3u, sink.entries.size());
  EXPECT_EQ(base + 28, sink.entries[0].where);
  EXPECT_EQ(base + p1.size() + 28, sink.entries[1].where);
  EXPECT_EQ(base + p1.size() + p2.size() + 28, sink.entries[2].where);
  // Afterwards only the incomplete packet is left, at the front, in the same storage.
  EXPECT_EQ(30u, acc.pending());
  EXPECT_EQ(0, std::string(acc.data(), 30).compare(next.substr(0, 30)));
  EXPECT_EQ(base, acc.data());
  EXPECT_EQ(capacity, acc.capacity());
  acc.append(next.data() + 30, next.size() - 30);
  acc.scan(sink);
  EXPECT_EQ((Bodies{"{\"n\":1}", "{\"n\":22}", "{\"n\":333}", "{\"n\":4444}"}), sink.bodies());
}

TEST(PacketAccumulator, PacketLongerThanTheReserveArrivesInReceiptSizedPieces) {
  const std::string body(3 * 10240 + 17, 'q');
  const std::string bytes = packetBytes(body) + packetBytes("{}");
  PacketAccumulator acc;
  RecordingSink sink;
  for (std::size_t at = 0; at < bytes.size(); at += 10240) {
    acc.append(bytes.data() + at, std::min<std::size_t>(10240, bytes.size() - at));
    acc.scan(sink);
  }
  EXPECT_EQ((Bodies{body, "{}"}), sink.bodies());
  EXPECT_EQ(0u, acc.pending());
}

}  // namespace
