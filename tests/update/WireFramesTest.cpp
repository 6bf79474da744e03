// The exact bytes the engine puts on the line and how it cuts the boot loader's frames.
#include "UpdateRig.h"

namespace {

class WireFrames : public UpdateRig {};

TEST(Checksum16, SumsUnsignedBytesModulo65536) {
    EXPECT_EQ(TFWUpdate::Checksum16("abc"), 0x0126);
    EXPECT_EQ(TFWUpdate::Checksum16(""), 0);
    EXPECT_EQ(TFWUpdate::Checksum16(Bytes(2, '\xFF')), 0x01FE);
    // 258 bytes of 0xFF: 65790, which wraps past 16 bits.
    EXPECT_EQ(TFWUpdate::Checksum16(Bytes(258, '\xFF')), (258 * 255) & 0xFFFF);
}

TEST_F(WireFrames, ConnectHeaderPagesAndEndMarkerAreExact) {
    const int pageSize = 16;
    ASSERT_TRUE(StartWith(Pattern(80 + 2 * pageSize)));
    // 115200 baud, no parity, 8 bits in one settings write; the stop bits stay as found.
    EXPECT_EQ(link_.LineCalls(),
              std::vector<std::string>{"SetCommState 115200,0,8 stop=2 rts=0 dtr=0"});
    ASSERT_EQ(link_.writes.size(), 1u);
    EXPECT_EQ(link_.writes[0], "<");
    EXPECT_EQ(view_.Status(), "Connecting...");

    // The first tick comes 100 ms after Start, the next ones every 10 ms.
    link_.Feed(Ack(0));
    clock_.Advance(TFWUpdate::kFirstTickMs - 1);
    EXPECT_EQ(link_.writes.size(), 1u);
    clock_.Advance(1);
    ASSERT_EQ(link_.writes.size(), 2u);
    const Bytes header = file_.substr(0, 80);
    EXPECT_EQ(link_.writes[1], "#" + Le16(TFWUpdate::Checksum16(header)) + header);
    EXPECT_EQ(link_.writes[1].size(), 83u);
    EXPECT_EQ(view_.Status(), "Send Header...");

    link_.Feed(Ack(pageSize) + Request(1));
    clock_.Advance(TFWUpdate::kTickMs - 1);
    EXPECT_EQ(link_.writes.size(), 2u);
    clock_.Advance(1);
    EXPECT_EQ(view_.max, 2);
    ASSERT_EQ(link_.writes.size(), 3u);
    EXPECT_EQ(link_.writes[2], PageFrame(1, pageSize));
    EXPECT_EQ(link_.writes[2].size(), 5u + pageSize);
    EXPECT_EQ(view_.Status(), "Writing Page #1");

    link_.Feed(Ack(1));
    Ticks(1);
    EXPECT_EQ(view_.pos, 1);
    EXPECT_EQ(view_.Status(), "Writing Page #1 : Ok");

    link_.Feed(Request(2));
    Ticks(1);
    ASSERT_EQ(link_.writes.size(), 4u);
    EXPECT_EQ(link_.writes[3], Bytes("@\xFF\xFF", 3));
    EXPECT_EQ(view_.Status(), "Updating firmware");
    EXPECT_EQ(engine_.Page(), 0xFFFF);

    link_.Feed(Ack(0xFFFF));
    Ticks(1);
    EXPECT_EQ(view_.Status(), "Updating firmware : Ok");
    EXPECT_EQ(view_.pos, 2);
    EXPECT_FALSE(engine_.IsActive());
    EXPECT_FALSE(dev_->Opened);
}

TEST_F(WireFrames, HeaderFrameIs83BytesWhateverTheFileSize) {
    for (const std::size_t size : {80u, 81u, 1000u}) {
        link_.writes.clear();
        ASSERT_TRUE(StartWith(Pattern(size)));
        link_.Feed(Ack(0));
        FirstTick();
        ASSERT_EQ(link_.writes.size(), 2u);
        EXPECT_EQ(link_.writes[1].size(), 83u) << size;
        engine_.Cancel();
    }
}

TEST_F(WireFrames, RemainderAfterLastWholePageIsNeverSent) {
    // 3 whole pages of 32 and 20 bytes more.
    ASSERT_TRUE(StartWith(Pattern(80 + 3 * 32 + 20)));
    link_.Feed(Ack(0));
    FirstTick();
    link_.Feed(Ack(32));
    Ticks(1);
    EXPECT_EQ(engine_.PageCount(), 3);
    EXPECT_EQ(view_.max, 3);
    link_.Feed(Request(2));
    Ticks(1);
    EXPECT_EQ(link_.writes.back(), PageFrame(2, 32));
    link_.Feed(Request(3));
    Ticks(1);
    EXPECT_EQ(link_.writes.back(), Bytes("@\xFF\xFF", 3));
}

TEST_F(WireFrames, OneTickAnswersEveryFrameInTheBuffer) {
    ASSERT_TRUE(StartWith(Pattern(80 + 4 * 8)));
    link_.Feed(Ack(0));
    FirstTick();
    link_.Feed(Ack(8) + Request(0) + Ack(0) + Request(1) + Ack(1) + Request(2));
    Ticks(1);
    ASSERT_EQ(link_.writes.size(), 5u);
    EXPECT_EQ(link_.writes[2], PageFrame(0, 8));
    EXPECT_EQ(link_.writes[3], PageFrame(1, 8));
    EXPECT_EQ(link_.writes[4], PageFrame(2, 8));
    EXPECT_EQ(view_.pos, 1);
}

TEST_F(WireFrames, NoiseIsDroppedByteByByteAndSplitFramesAreCompleted) {
    ASSERT_TRUE(StartWith(Pattern(80 + 2 * 16)));
    link_.Feed(Bytes("xyz\0\x01", 5) + Ack(0));
    FirstTick();
    EXPECT_EQ(view_.Status(), "Send Header...");
    // An acknowledgement and a request, each arriving a byte or two per tick, noise between.
    const Bytes pieces[] = {"+",   Bytes("\x02", 1), Bytes("\x10", 1), Bytes("\x00", 1),
                            "!!.", Bytes("\x01", 1), Bytes("\x00", 1)};
    std::size_t writes = link_.writes.size();
    for (const Bytes& p : pieces) {
        link_.Feed(p);
        Ticks(1);
        if (&p != &pieces[6]) {
            EXPECT_EQ(link_.writes.size(), writes) << "answered too early";
        }
    }
    ASSERT_EQ(link_.writes.size(), writes + 1);
    EXPECT_EQ(link_.writes.back(), PageFrame(1, 16));
    EXPECT_EQ(view_.max, 2);
}

TEST_F(WireFrames, AcknowledgementValueHasZerosForMissingBytes) {
    // Count 1: the value is the one byte that is there.
    ASSERT_TRUE(StartWith(Pattern(80 + 4 * 5)));
    link_.Feed(Ack(0));
    FirstTick();
    link_.Feed(Bytes("+\x01\x05", 3));
    Ticks(1);
    EXPECT_EQ(engine_.PageSize(), 5);
    EXPECT_EQ(engine_.PageCount(), 4);
    // Count 0 on a page acknowledgement: page 0.
    link_.Feed(Request(1) + Bytes("+\x00", 2));
    Ticks(1);
    EXPECT_EQ(view_.pos, 0);
    EXPECT_EQ(view_.Status(), "Writing Page #0 : Ok");
}

TEST(AckLength, SmallCountsAnnounceTheirBytesLargeOnesTheValueAlone) {
    struct Case {
        int count, length;
    };
    for (const Case c : {Case{0, 2}, Case{1, 3}, Case{2, 4}, Case{5, 7}, Case{0x7F, 0x81},
                         Case{0x80, 4}, Case{0x90, 4}, Case{0xFF, 4}})
        EXPECT_EQ(TFWUpdate::AckLength(c.count), c.length) << c.count;
}

TEST_F(WireFrames, LargeCountByteDoesNotStallTheBuffer) {
    // Counts of 0x80 and above come with the value alone; the frames behind them are read.
    ASSERT_TRUE(StartWith(Pattern(80 + 2 * 16)));
    link_.Feed(Ack(0));
    FirstTick();
    link_.Feed(Bytes("+\x90", 2) + Le16(16) + Request(0));
    Ticks(1);
    EXPECT_EQ(engine_.PageSize(), 16);
    EXPECT_EQ(link_.writes.back(), PageFrame(0, 16));
    link_.Feed(Bytes("+\xFF", 2) + Le16(0) + Request(1));
    Ticks(1);
    EXPECT_EQ(view_.pos, 0);
    EXPECT_EQ(link_.writes.back(), PageFrame(1, 16));
}

}  // namespace
