#include "control/ReplyFraming.h"

#include <gtest/gtest.h>

namespace {
struct Framer {
    Bytes buffer;
    bool started = false;
    Bytes last;
    bool Feed(const Bytes& bytes) {
        buffer += bytes;
        return TakeReply(buffer, started, last);
    }
};
}  // namespace

TEST(TakeReply, DropsNoiseAndCutsTheBodyBetweenTheMarkers) {
    Framer f;
    EXPECT_TRUE(f.Feed("\x01noise\xff\r\nCR:text\r\nSN:000123\r\nID:ABCD\r\n\r\n"));
    EXPECT_EQ(f.last, "CR:text\r\nSN:000123\r\nID:ABCD");
    EXPECT_EQ(f.buffer, "");
    EXPECT_FALSE(f.started);
}

TEST(TakeReply, SplitReplyCompletesOnlyWithTheEndMarkersLastByte) {
    Framer f;
    const Bytes reply = "junk\r\nUSB-Adapter\r\nFW:1.0\r\n\r\n";
    for (std::size_t i = 0; i + 1 < reply.size(); ++i) {
        ASSERT_FALSE(f.Feed(reply.substr(i, 1))) << "complete after byte " << i;
    }
    EXPECT_TRUE(f.started);
    EXPECT_TRUE(f.Feed(reply.substr(reply.size() - 1) + "\r\nCR:next"));
    EXPECT_EQ(f.last, "USB-Adapter\r\nFW:1.0");
    // What follows the end marker waits for the next call.
    EXPECT_EQ(f.buffer, "\r\nCR:next");
}

TEST(TakeReply, CrMarkerWinsOverAnEarlierUsbMarker) {
    Framer f;
    EXPECT_TRUE(f.Feed("\r\nUSB-first\r\nCR:second\r\nSN:1\r\n\r\n"));
    EXPECT_EQ(f.last, "CR:second\r\nSN:1");
}

TEST(TakeReply, NoStartMarkerIsNoReplyAndNoEndMarkerWaits) {
    Framer f;
    EXPECT_FALSE(f.Feed("SN:1\r\n\r\nID:2\r\n\r\n"));
    EXPECT_FALSE(f.started);
    EXPECT_FALSE(f.Feed("\r\nCR:x\r\nSN:1\r\n"));
    EXPECT_TRUE(f.started);
    EXPECT_EQ(f.buffer, "\r\nCR:x\r\nSN:1\r\n");
}

TEST(TakeReply, ALineThatChattersWithoutAMarkerKeepsOnlyWhatMayBeginOne) {
    Framer f;
    for (int i = 0; i < 100000; ++i)
        ASSERT_FALSE(f.Feed("noise \r\n CR USB"));
    EXPECT_LT(f.buffer.size(), 6u);
    // A marker split between two reads after the noise is still found, whole.
    EXPECT_FALSE(f.Feed("-\r\nU"));
    EXPECT_FALSE(f.started);
    EXPECT_FALSE(f.Feed("SB-A\r\nFW:1\r"));
    EXPECT_TRUE(f.started);
    EXPECT_TRUE(f.Feed("\n\r\n"));
    EXPECT_EQ(f.last, "USB-A\r\nFW:1");
}

TEST(TakeReply, TwoRepliesInOneBufferComeOutOneByOne) {
    Framer f;
    EXPECT_TRUE(f.Feed("\r\nCR:a\r\n\r\n\r\nCR:b\r\n\r\n"));
    EXPECT_EQ(f.last, "CR:a");
    EXPECT_TRUE(f.Feed(""));
    EXPECT_EQ(f.last, "CR:b");
    EXPECT_FALSE(f.Feed(""));
}

TEST(TakeReply, ZeroBytesInsideTheBodyAreKept) {
    Framer f;
    const Bytes body("CR:a\0b", 6);
    EXPECT_TRUE(f.Feed("\r\n" + body + "\r\n\r\n"));
    EXPECT_EQ(f.last, body);
}

TEST(PendingEndMarker, CountsTheTailThatMayStillBecomeTheEndMarker) {
    EXPECT_EQ(PendingEndMarker(""), 0u);
    EXPECT_EQ(PendingEndMarker("abc"), 0u);
    EXPECT_EQ(PendingEndMarker("abc\r"), 1u);
    EXPECT_EQ(PendingEndMarker("abc\r\n"), 2u);
    EXPECT_EQ(PendingEndMarker("abc\r\n\r"), 3u);
    EXPECT_EQ(PendingEndMarker("abc\r\n\n"), 0u);
    EXPECT_EQ(PendingEndMarker("\r\r"), 1u);
}

TEST(SplitReplyLines, SplitsAtCrLfOnlyAndKeepsLongLinesWhole) {
    const Bytes longLine(300, 'x');
    EXPECT_EQ(SplitReplyLines("CR:a\r\nSN:" + longLine + "\r\nx\ry\nz"),
              (std::vector<Bytes>{"CR:a", "SN:" + longLine, "x\ry\nz"}));
    EXPECT_EQ(SplitReplyLines(""), (std::vector<Bytes>{""}));
}
