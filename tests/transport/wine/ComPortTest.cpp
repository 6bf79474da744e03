// The Win32 serial column and port list on a real Windows API, Wine's: the POSIX column's pty
// cases wherever Wine can do the same on a COM port mapped to a pty, the rest skipped with why.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "base/VirtualClock.h"
#include "platform/SerialPort.h"
#include "platform/SysError.h"
#include "tests/support/RecordingSink.h"
#include "tests/transport/wine/FarEnd.h"
#include "transport/TSerDev.h"

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The system's error codes, named here: its headers clash with the serial table's names.
constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kAccessDenied = 5;
constexpr std::uint32_t kInvalidParameter = 87;

// Column 0 as the system gives it, but keeping the handle TSerDev opened, so the test can ask
// the system what the port's line is set to now.
serial::Column Keeping(serial::HANDLE& opened) {
    serial::Column c = platform::NativeSerialColumn();
    c.CreateFile = [&opened](const char* name, serial::DWORD access, serial::DWORD share,
                             void* security, serial::DWORD creation, serial::DWORD flags,
                             serial::HANDLE templateFile) {
        opened = platform::NativeSerialColumn().CreateFile(name, access, share, security, creation,
                                                           flags, templateFile);
        return opened;
    };
    return c;
}

class ComPortOnWine : public ::testing::Test {
protected:
    ComPortOnWine() { dev.PortName = Env("WINE_TEST_COM"); }

    serial::DWORD Queued() {
        serial::DWORD errors = 1;
        serial::COMSTAT status{};
        EXPECT_TRUE(platform::NativeSerialColumn().ClearCommError(opened, &errors, &status));
        EXPECT_EQ(errors, 0u);
        return status.cbInQue;
    }
    bool WaitQueued(serial::DWORD n) {
        for (int i = 0; i < 5000 && Queued() < n; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return Queued() == n;
    }
    serial::DCB LineNow() {
        serial::DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        EXPECT_TRUE(platform::NativeSerialColumn().GetCommState(opened, &dcb));
        return dcb;
    }
    // Bytes cross the pty and the connection asynchronously: let the poll timer run until
    // `count` bytes reached the receive buffer, giving up after a generous real-time limit.
    bool WaitBuffered(std::size_t count) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (dev.Buffered() < count && std::chrono::steady_clock::now() < end) {
            clock.Advance(TSerDev::kPollIntervalMs);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return dev.Buffered() == count;
    }
    std::string Caption(const char* what) const {
        return std::string(what) + " Port(" + dev.PortName + ") Error...";
    }

    FarEnd far;
    VirtualClock clock;
    RecordingSink sink;
    serial::HANDLE opened = nullptr;
    TSerDev dev{clock, sink, Keeping(opened)};
};

std::string EveryByte() {
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    return all;
}

TEST_F(ComPortOnWine, OpensAndTheSpeedsReachTheLineWhileTheStopBitsStayAsFound) {
    // Someone set two stop bits before we opened; "...,1" must not undo them.
    const serial::Column& api = platform::NativeSerialColumn();
    const std::string device = platform::NativeDevicePath(dev.PortName);
    serial::HANDLE before =
        api.CreateFile(device.c_str(), serial::GENERIC_READ | serial::GENERIC_WRITE, 0, nullptr,
                       serial::OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(before, serial::InvalidHandle());
    serial::DCB found{};
    ASSERT_TRUE(api.GetCommState(before, &found));
    found.StopBits = serial::TWOSTOPBITS;
    ASSERT_TRUE(api.SetCommState(before, &found));
    api.CloseHandle(before);

    ASSERT_TRUE(dev.Open()) << (sink.boxes.empty() ? "" : sink.boxes[0].text);
    ASSERT_EQ(dev.LineSettings().StopBits, serial::TWOSTOPBITS);
    for (const char* settings :
         {"115200,N,8", "38400,N,8", "19200,N,8", "9600,N,8", "115200,N,8,1"}) {
        dev.SetParams(settings);
        const serial::DCB now = LineNow();
        EXPECT_EQ(now.BaudRate, std::stoul(settings)) << settings;
        EXPECT_EQ(now.StopBits, serial::TWOSTOPBITS) << settings;
    }
    EXPECT_EQ(dev.GetBaud(), 115200u);
    EXPECT_TRUE(sink.boxes.empty());
    EXPECT_TRUE(dev.Close());
    ASSERT_TRUE(dev.Open()) << "closing gives the port back";
}

TEST_F(ComPortOnWine, TheAdaptersOwnSpeedReachesTheLine) {
    if (UnderWine())
        GTEST_SKIP() << "Wine sets a rate outside the standard table through the serial "
                        "driver's custom divisor (TIOCSSERIAL), which a pseudo-terminal lacks: "
                        "the call succeeds and the line stays at 38400";
    ASSERT_TRUE(dev.Open());
    dev.SetParams("125000,N,8");
    EXPECT_EQ(LineNow().BaudRate, 125000u);
    EXPECT_TRUE(sink.boxes.empty());
}

TEST_F(ComPortOnWine, ModemLinesMoveAndReadBack) {
    if (UnderWine())
        GTEST_SKIP() << "Wine moves and reads RTS and DTR with TIOCMBIS and TIOCMGET, which a "
                        "pseudo-terminal lacks: EscapeCommFunction fails with "
                        "ERROR_NOT_SUPPORTED and GetCommState reports both lines on";
    ASSERT_TRUE(dev.Open());
    dev.SetRTS(false);
    dev.SetDTR(true);
    const serial::DCB now = LineNow();
    EXPECT_EQ(now.fRtsControl, serial::RTS_CONTROL_DISABLE);
    EXPECT_EQ(now.fDtrControl, serial::DTR_CONTROL_ENABLE);
}

// However the line takes the modem lines, the port goes on carrying bytes and shows nothing.
TEST_F(ComPortOnWine, ModemControlNeverStopsTheLine) {
    ASSERT_TRUE(dev.Open());
    dev.SetRTS(false);
    dev.SetDTR(true);
    dev.BeginUpdate();
    dev.SetRTS(true);
    dev.SetParams("38400,N,8");
    dev.EndUpdate();
    ASSERT_TRUE(dev.Write("still"));
    EXPECT_EQ(far.Receive(5), "still");
    EXPECT_EQ(LineNow().BaudRate, 38400u);
    EXPECT_TRUE(sink.boxes.empty());
}

TEST_F(ComPortOnWine, RefusalsLeaveTheirReasonAsTheLastError) {
    ASSERT_TRUE(dev.Open());
    const serial::Column& api = platform::NativeSerialColumn();
    EXPECT_FALSE(api.EscapeCommFunction(opened, 42));
    EXPECT_EQ(api.GetLastError(opened), kInvalidParameter);
    serial::DCB nine = LineNow();
    nine.ByteSize = 9;
    EXPECT_FALSE(api.SetCommState(opened, &nine));
    EXPECT_NE(api.GetLastError(opened), 0u);
}

TEST_F(ComPortOnWine, QueueCountsPurgesAndEveryByteValueBothWays) {
    ASSERT_TRUE(dev.Open());
    // Only the system's queue while the poll timer stands still.
    ASSERT_TRUE(far.Send(std::string("x\0y", 3)));
    ASSERT_TRUE(WaitQueued(3));
    dev.Purge(true, true);
    EXPECT_EQ(Queued(), 0u);

    const std::string all = EveryByte();
    ASSERT_TRUE(far.Send(all.substr(0, 100)));
    ASSERT_TRUE(WaitBuffered(100));
    ASSERT_TRUE(far.Send(all.substr(100)));
    ASSERT_TRUE(WaitBuffered(all.size())) << "bytes that arrive unread accumulate";
    EXPECT_EQ(dev.InCount(), all.size());
    Bytes got;
    ASSERT_TRUE(dev.Read(got, dev.InCount()));
    EXPECT_EQ(got, all);
    EXPECT_EQ(dev.InCount(), 0u);

    ASSERT_TRUE(dev.Write(all));
    EXPECT_EQ(far.Receive(all.size() + 1, 500), all) << "no byte added, none lost";
    EXPECT_TRUE(sink.boxes.empty());
}

TEST_F(ComPortOnWine, ASecondOpenIsRefusedWhileThePortIsHeld) {
    if (UnderWine())
        GTEST_SKIP() << "Wine checks share modes only on files and folders: a serial device "
                        "opened without sharing opens again";
    RecordingSink otherSink;
    TSerDev other(clock, otherSink);
    other.PortName = dev.PortName;
    ASSERT_TRUE(dev.Open());
    EXPECT_FALSE(other.Open());
    ASSERT_EQ(otherSink.boxes.size(), 1u);
    EXPECT_EQ(otherSink.boxes[0].caption, Caption("Open"));
    EXPECT_EQ(otherSink.boxes[0].text, platform::SystemErrorText(kAccessDenied));
    EXPECT_TRUE(dev.Opened) << "the refused opener leaves the holder alone";
    dev.Close();
    EXPECT_TRUE(other.Open()) << "closing gives the port back";
}

TEST_F(ComPortOnWine, TheFarEndVanishingLeavesAUsablePortObject) {
    ASSERT_TRUE(dev.Open());
    ASSERT_TRUE(far.Send("abc"));
    ASSERT_TRUE(WaitBuffered(3));
    far.Vanish();
    clock.Advance(1000);  // a hundred polls of a dead line

    EXPECT_EQ(dev.InCount(), 3u) << "what arrived before stays readable, nothing more";
    Bytes got;
    ASSERT_TRUE(dev.Read(got, dev.InCount()));
    EXPECT_EQ(got, "abc");

    // Lost, not failing: the write's error is the loss, which the reader tells.
    EXPECT_FALSE(dev.Write("x"));
    EXPECT_TRUE(dev.Lost());
    EXPECT_TRUE(sink.boxes.empty());
    EXPECT_TRUE(dev.Opened);
    EXPECT_TRUE(dev.Close());
}

TEST_F(ComPortOnWine, APortThatIsNotThereShowsTheSystemText) {
    dev.PortName = "COM99";
    EXPECT_FALSE(dev.Open());
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, Caption("Open"));
    EXPECT_EQ(sink.boxes[0].text, platform::SystemErrorText(kFileNotFound));
}

// The platform's own source reads the device map that Wine fills from its port mapping.
TEST(ComPortListOnWine, TheRegistryScanListsTheMappedPorts) {
    auto source = MakePlatformComPortSource();
    PortEntries entries;
    ASSERT_EQ(source->Pass(entries), ComPortSource::Outcome::Rebuilt);
    std::istringstream mapped(Env("WINE_TEST_MAPPED"));
    int found = 0;
    for (std::string port; mapped >> port; ++found) {
        const auto at = std::find(entries.names.begin(), entries.names.end(), port);
        ASSERT_NE(at, entries.names.end()) << port;
        // The map names each port's device: "\Device\Serial<n-1>" for COM<n>.
        EXPECT_EQ(entries.descs[at - entries.names.begin()],
                  "\\Device\\Serial" + std::to_string(std::stoi(port.substr(3)) - 1));
    }
    EXPECT_GE(found, 2);
    const PortEntries first = entries;
    EXPECT_EQ(source->Pass(entries), ComPortSource::Outcome::Unchanged) << "nothing was written";
    EXPECT_EQ(entries, first);
}

}  // namespace
