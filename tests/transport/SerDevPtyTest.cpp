// TSerDev over the real POSIX serial column and a pseudo-terminal: the test holds the master
// and plays the far end. The master reports the slave's line settings (the kernel answers
// termios requests on a master for its slave), so no second descriptor on the port is needed
// to see what the device set.
#include <asm/termbits.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "base/EventLoop.h"
#include "base/VirtualClock.h"
#include "platform/SysError.h"
#include "tests/support/RecordingSink.h"
#include "tests/transport/PtyPair.h"
#include "transport/TSerDev.h"

namespace {
class SerDevPtyTest : public ::testing::Test {
protected:
    SerDevPtyTest() { dev.PortName = pty.SlavePath(); }

    termios2 LineSettings() const {
        termios2 t{};
        EXPECT_EQ(ioctl(pty.MasterFd(), TCGETS2, &t), 0);
        return t;
    }

    // Bytes cross a pty asynchronously: let the poll timer run until `count` bytes reached the
    // receive buffer, giving up after a generous real-time limit.
    bool WaitBuffered(std::size_t count) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (dev.Buffered() < count && std::chrono::steady_clock::now() < end) {
            clock.Advance(TSerDev::kPollIntervalMs);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return dev.Buffered() == count;
    }

    std::string OpenCaption() const { return "Open Port(" + pty.SlavePath() + ") Error..."; }
    std::string WriteCaption() const { return "Write Port(" + pty.SlavePath() + ") Error..."; }

    PtyPair pty;
    VirtualClock clock;
    RecordingSink sink;
    TSerDev dev{clock, sink};
};

std::string EveryByte() {
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    return all;
}
}  // namespace

TEST_F(SerDevPtyTest, OpensTheLineRawAndReopensAfterClose) {
    ASSERT_TRUE(dev.Open()) << (sink.boxes.empty() ? "" : sink.boxes[0].text);
    const termios2 t = LineSettings();
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON), 0u);
    EXPECT_TRUE(dev.Close());
    ASSERT_TRUE(dev.Open());
    EXPECT_TRUE(dev.Close());
    EXPECT_TRUE(sink.boxes.empty());
}

TEST_F(SerDevPtyTest, ASecondOpenIsRefusedWhileThePortIsHeld) {
    RecordingSink otherSink;
    TSerDev other(clock, otherSink);
    other.PortName = pty.SlavePath();
    ASSERT_TRUE(dev.Open());
    EXPECT_FALSE(other.Open());
    ASSERT_EQ(otherSink.boxes.size(), 1u);
    EXPECT_EQ(otherSink.boxes[0].caption, OpenCaption());
    EXPECT_EQ(otherSink.boxes[0].text, platform::SystemErrorText(EBUSY));
    EXPECT_TRUE(dev.Opened) << "the refused opener leaves the holder alone";

    dev.Close();
    EXPECT_TRUE(other.Open()) << "closing gives the port back";
    other.Close();
    // The terminal outlives our descriptors while the master is held; it must not stay
    // exclusive, or the next non-root program could not open the port.
    const int fd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int exclusive = -1;
    EXPECT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    close(fd);
}

TEST_F(SerDevPtyTest, LineSettingsReachTheLineAndTheStopBitsStayAsFound) {
    // The far end set two stop bits before we opened; "…,1" must not undo them.
    termios2 before = LineSettings();
    before.c_cflag |= CSTOPB;
    ASSERT_EQ(ioctl(pty.MasterFd(), TCSETS2, &before), 0);
    ASSERT_TRUE(dev.Open());
    ASSERT_EQ(dev.LineSettings().StopBits, serial::TWOSTOPBITS);

    struct Row {
        const char* settings;
        unsigned baud;
    };
    const Row rows[] = {{"115200,N,8", 115200}, {"38400,N,8", 38400},   {"19200,N,8", 19200},
                        {"9600,N,8", 9600},     {"125000,N,8", 125000}, {"115200,N,8,1", 115200}};
    for (const Row& row : rows) {
        dev.SetParams(row.settings);
        const termios2 t = LineSettings();
        EXPECT_EQ(t.c_ospeed, row.baud) << row.settings;
        EXPECT_EQ(t.c_ispeed, row.baud) << row.settings;
        EXPECT_NE(t.c_cflag & CSTOPB, 0u) << row.settings;
        EXPECT_EQ(dev.GetBaud(), row.baud);
    }
    EXPECT_TRUE(sink.boxes.empty());
}

TEST_F(SerDevPtyTest, EveryByteValueCrossesTheLineUntouchedBothWays) {
    ASSERT_TRUE(dev.Open());
    const std::string all = EveryByte();
    ASSERT_TRUE(pty.Send(all));
    ASSERT_TRUE(WaitBuffered(all.size()));
    Bytes got;
    ASSERT_TRUE(dev.Read(got, dev.InCount()));
    EXPECT_EQ(got, all);

    ASSERT_TRUE(dev.Write(all));
    EXPECT_EQ(pty.Receive(all.size() + 1, 500), all) << "no byte added, none lost";
    EXPECT_TRUE(sink.boxes.empty());
}

TEST_F(SerDevPtyTest, BytesThatArriveUnreadAccumulate) {
    ASSERT_TRUE(dev.Open());
    ASSERT_TRUE(pty.Send(std::string("one\0", 4)));
    ASSERT_TRUE(WaitBuffered(4));
    ASSERT_TRUE(pty.Send("two"));
    ASSERT_TRUE(WaitBuffered(7));
    EXPECT_EQ(dev.InCount(), 7u);
    Bytes got;
    ASSERT_TRUE(dev.Read(got, dev.InCount()));
    EXPECT_EQ(got, std::string("one\0two", 7));
    EXPECT_EQ(dev.InCount(), 0u);
}

TEST_F(SerDevPtyTest, TheFarEndVanishingLeavesAUsablePortObject) {
    ASSERT_TRUE(dev.Open());
    ASSERT_TRUE(pty.Send("abc"));
    ASSERT_TRUE(WaitBuffered(3));
    pty.CloseMaster();
    clock.Advance(1000);  // a hundred polls of a dead line

    EXPECT_EQ(dev.InCount(), 3u) << "what arrived before stays readable, nothing more";
    Bytes got;
    ASSERT_TRUE(dev.Read(got, dev.InCount()));
    EXPECT_EQ(got, "abc");
    EXPECT_EQ(dev.InCount(), 0u);

    // Lost, not failing: the write's error is the loss, which the reader tells.
    EXPECT_TRUE(dev.Lost());
    EXPECT_FALSE(dev.Write("x"));
    EXPECT_TRUE(sink.boxes.empty());
    EXPECT_TRUE(dev.Opened);
    EXPECT_TRUE(dev.Close());
}

TEST_F(SerDevPtyTest, ALineThatStopsTakingBytesFailsTheWrite) {
    ASSERT_TRUE(dev.Open());
    // Nobody reads the master: once the pty's buffers are full, the line takes nothing.
    const Bytes flood(4 << 20, '\x55');
    EXPECT_FALSE(dev.Write(flood));
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, WriteCaption());
    EXPECT_EQ(sink.boxes[0].text, platform::SystemErrorText(EAGAIN));
    EXPECT_TRUE(dev.Opened);
}

TEST(SerDevOpen, AMissingDeviceShowsTheSystemText) {
    VirtualClock clock;
    RecordingSink sink;
    TSerDev dev(clock, sink);
    dev.PortName = "/dev/no-such-serial-port";
    EXPECT_FALSE(dev.Open());
    EXPECT_FALSE(dev.Opened);
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, "Open Port(/dev/no-such-serial-port) Error...");
    EXPECT_EQ(sink.boxes[0].text, platform::SystemErrorText(ENOENT));
}

// Paths under /dev/ that name no serial line: a device that is no terminal, a folder.
TEST(SerDevOpen, ADevicePathThatIsNoSerialLineIsRefused) {
    VirtualClock clock;
    for (const auto& [path, code] : {std::pair{"/dev/null", ENOTTY}, std::pair{"/dev/", EISDIR}}) {
        RecordingSink sink;
        TSerDev dev(clock, sink);
        dev.PortName = path;
        EXPECT_FALSE(dev.Open()) << path;
        EXPECT_FALSE(dev.Opened);
        ASSERT_EQ(sink.boxes.size(), 1u) << path;
        EXPECT_EQ(sink.boxes[0].text, platform::SystemErrorText(code)) << path;
    }
}

// A path that names a terminal is a serial port wherever it lies (a link, as udev makes in
// /dev/serial/by-id/); a path to anything else is no port at all.
TEST(SerDevOpen, ALinkToATerminalIsASerialPortAndAPlainFileIsNone) {
    PtyPair pty;
    VirtualClock clock;
    RecordingSink sink;
    TSerDev dev(clock, sink);
    const std::string dir = ::testing::TempDir();
    const std::string link = dir + "/port-link-" + std::to_string(getpid());
    const std::string file = dir + "/plain-file-" + std::to_string(getpid());
    ASSERT_EQ(symlink(pty.SlavePath().c_str(), link.c_str()), 0);
    std::FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    dev.PortName = link;
    EXPECT_TRUE(dev.Open());
    EXPECT_EQ(dev.Kind(), 0);
    dev.Close();
    dev.PortName = file;
    EXPECT_FALSE(dev.Open());
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].text, "Error: Can not to open unknown device.");
    unlink(link.c_str());
    unlink(file.c_str());
}

// Under a loop that watches ports, input wakes the reader at once; a line hung up at the far
// end reads as ready for ever, so the watch is dropped rather than spun on, and the device
// counts as lost.
TEST(SerDevWatch, InputWakesTheReaderAndAHungUpLineEndsTheWatch) {
    PtyPair pty;
    EventLoop loop;
    RecordingSink sink;
    TSerDev dev(loop, sink);
    dev.PortName = pty.SlavePath();
    ASSERT_TRUE(dev.Open());
    ASSERT_TRUE(dev.WatchingInput());
    int arrivals = 0;
    dev.OnArrival = [&] {
        ++arrivals;
        loop.Quit(0);
    };
    auto limit = loop.CreateTimer();
    limit->SetCallback([&] { loop.Quit(1); });
    limit->Start(5000);
    ASSERT_TRUE(pty.Send("hi"));
    EXPECT_EQ(loop.Run(), 0);
    EXPECT_EQ(arrivals, 1);
    EXPECT_EQ(dev.Buffered(), 2u);

    EXPECT_FALSE(dev.Lost());
    pty.CloseMaster();
    limit->Start(200);
    EXPECT_EQ(loop.Run(), 1);
    EXPECT_FALSE(dev.WatchingInput());
    EXPECT_TRUE(dev.Lost());
    EXPECT_TRUE(dev.Close());
}
