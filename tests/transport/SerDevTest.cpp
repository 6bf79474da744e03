// TSerDev over a scripted line: what reaches the device, in which order and how often, and
// which boxes the user sees. The real line is exercised in SerDevPtyTest.
#include <gtest/gtest.h>

#include <cerrno>

#include "base/VirtualClock.h"
#include "platform/SysError.h"
#include "tests/NativePort.h"
#include "tests/support/FakePort.h"
#include "tests/support/QuietPortLists.h"
#include "tests/support/RecordingSink.h"
#include "transport/TSerDev.h"

namespace {
#define PORT NATIVE_PORT("/dev/ttyS7", "COM7")
const char kPort[] = PORT;
const char kOpenCaption[] = "Open Port(" PORT ") Error...";
const char kWriteCaption[] = "Write Port(" PORT ") Error...";

class SerDevTest : public ::testing::Test {
protected:
    SerDevTest() { dev.PortName = kPort; }

    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (const auto& c : line.calls)
            rows.push_back(c.row);
        return rows;
    }
    // Lets the poll timer run `ticks` times.
    void Tick(int ticks = 1) { clock.Advance(ticks * TSerDev::kPollIntervalMs); }

    VirtualClock clock;
    RecordingSink sink;
    FakePort line;
    TSerDev dev{clock, sink, line.Column(), QuietPortLists()};
};
}  // namespace

TEST_F(SerDevTest, OpenLoadsTheDeviceSettingsThenPreparesTheQueues) {
    ASSERT_TRUE(dev.Open());
    EXPECT_TRUE(dev.Opened);
    EXPECT_EQ(line.created.name, NATIVE_DEVICE("/dev/ttyS7", "COM7"));
    EXPECT_EQ(line.created.access, serial::GENERIC_READ | serial::GENERIC_WRITE);
    EXPECT_EQ(line.created.share, 0u) << "nobody else may hold the port meanwhile";
    EXPECT_FALSE(line.created.security);
    EXPECT_EQ(line.created.creation, serial::OPEN_EXISTING);
    EXPECT_EQ(line.created.flags, 0x20000080u);
    EXPECT_FALSE(line.created.templateFile);
    EXPECT_EQ(Rows(),
              (std::vector<std::string>{"CreateFile", "GetCommState", "SetupComm", "PurgeComm"}));
    EXPECT_EQ(line.calls[2].arg, 4096u);
    EXPECT_EQ(line.calls[2].arg2, 14u);
    EXPECT_EQ(line.calls[3].arg, serial::PURGE_RXCLEAR | serial::PURGE_TXCLEAR);
    EXPECT_EQ(dev.GetBaud(), 9600u);
    EXPECT_EQ(dev.LineSettings().StopBits, serial::TWOSTOPBITS);
    EXPECT_TRUE(sink.boxes.empty());
}

TEST_F(SerDevTest, OpenWhileOpenClosesTheFirstPortAndClosedIsReopenable) {
    ASSERT_TRUE(dev.Open());
    line.ClearCalls();
    ASSERT_TRUE(dev.Open());
    ASSERT_GE(line.calls.size(), 2u);
    EXPECT_EQ(line.calls[0].row, "CloseHandle");
    EXPECT_EQ(line.calls[1].row, "CreateFile");
    EXPECT_TRUE(dev.Close());
    EXPECT_FALSE(dev.Opened);
    EXPECT_TRUE(dev.Close()) << "closing a closed port is harmless";
    EXPECT_EQ(line.CallsOf("CloseHandle").size(), 2u);
    EXPECT_TRUE(dev.Open());
}

TEST_F(SerDevTest, SettingsGivenWhileClosedAreStoredButOpenReloadsTheDevices) {
    dev.SetParams("57600,E,7");
    EXPECT_EQ(dev.GetBaud(), 57600u);
    EXPECT_TRUE(line.calls.empty()) << "nothing reaches a closed port";
    ASSERT_TRUE(dev.Open());
    EXPECT_EQ(dev.GetBaud(), 9600u);
    EXPECT_EQ(dev.GetParity(), serial::NOPARITY);
    EXPECT_EQ(dev.GetDataBits(), 8);
}

TEST_F(SerDevTest, SetParamsIsOneSettingsWriteThatKeepsTheReportedStopBits) {
    struct Row {
        const char* settings;
        serial::DWORD baud;
        serial::BYTE parity;
        serial::BYTE bits;
    };
    const Row rows[] = {
        {"115200,N,8", 115200, serial::NOPARITY, 8}, {"115200,N,8,1", 115200, serial::NOPARITY, 8},
        {"125000,N,8", 125000, serial::NOPARITY, 8}, {"19200,E,7", 19200, serial::EVENPARITY, 7},
        {"9600,O,8", 9600, serial::ODDPARITY, 8},    {"4800,M,7", 4800, serial::MARKPARITY, 7},
        {"2400,X,6", 2400, serial::NOPARITY, 6},    // an unknown letter means none
        {"38400,e,8", 38400, serial::NOPARITY, 8},  // letters are upper case only
    };
    ASSERT_TRUE(dev.Open());
    for (const Row& row : rows) {
        line.ClearCalls();
        dev.SetParams(row.settings);
        const auto writes = line.CallsOf("SetCommState");
        ASSERT_EQ(writes.size(), 1u) << row.settings;
        const serial::DCB& dcb = writes[0].dcb;
        EXPECT_EQ(dcb.BaudRate, row.baud) << row.settings;
        EXPECT_EQ(dcb.Parity, row.parity) << row.settings;
        EXPECT_EQ(dcb.fParity, row.parity != serial::NOPARITY ? 1u : 0u) << row.settings;
        EXPECT_EQ(dcb.ByteSize, row.bits) << row.settings;
        EXPECT_EQ(dcb.StopBits, serial::TWOSTOPBITS) << row.settings;
        EXPECT_FALSE(dev.Updating());
    }
}

TEST_F(SerDevTest, MalformedSettingsKeepTheFieldsTheyCannotGive) {
    ASSERT_TRUE(dev.Open());
    dev.SetParams("19200,E,7");
    dev.SetParams("38400");
    EXPECT_EQ(dev.GetBaud(), 38400u);
    EXPECT_EQ(dev.GetParity(), serial::EVENPARITY);
    EXPECT_EQ(dev.GetDataBits(), 7);
    dev.SetParams("fast,N,8");
    EXPECT_EQ(dev.GetBaud(), 38400u);
    EXPECT_EQ(dev.GetParity(), serial::EVENPARITY);
    EXPECT_FALSE(dev.Updating());
}

TEST_F(SerDevTest, SingleSettersWriteAtOnceAndSpaceParityIsReachableDirectly) {
    ASSERT_TRUE(dev.Open());
    line.ClearCalls();
    EXPECT_EQ(dev.SetParity(serial::SPACEPARITY), serial::SPACEPARITY);
    EXPECT_EQ(dev.SetDataBits(7), 7);
    EXPECT_EQ(dev.SetBaud(250000), 250000u);
    const auto writes = line.CallsOf("SetCommState");
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[2].dcb.Parity, serial::SPACEPARITY);
    EXPECT_EQ(writes[2].dcb.fParity, 1u);
    EXPECT_EQ(writes[2].dcb.ByteSize, 7);
    EXPECT_EQ(writes[2].dcb.BaudRate, 250000u);
}

TEST_F(SerDevTest, ModemLinesMoveAtOnceOutsideAnUpdateBracket) {
    dev.SetRTS(true);
    EXPECT_TRUE(line.calls.empty()) << "nothing while closed";
    ASSERT_TRUE(dev.Open());
    line.ClearCalls();
    dev.SetRTS(false);
    dev.SetDTR(true);
    dev.SetRTS(true);
    dev.SetDTR(false);
    std::vector<serial::DWORD> codes;
    for (const auto& c : line.CallsOf("EscapeCommFunction"))
        codes.push_back(c.arg);
    EXPECT_EQ(codes, (std::vector<serial::DWORD>{serial::CLRRTS, serial::SETDTR, serial::SETRTS,
                                                 serial::CLRDTR}));
    EXPECT_TRUE(line.CallsOf("SetCommState").empty());
    EXPECT_EQ(dev.LineSettings().fRtsControl, serial::RTS_CONTROL_ENABLE);
    EXPECT_EQ(dev.LineSettings().fDtrControl, serial::DTR_CONTROL_DISABLE);
}

TEST_F(SerDevTest, AnUpdateBracketGivesExactlyOneWriteCarryingLinesAndFormat) {
    ASSERT_TRUE(dev.Open());
    dev.SetRTS(false);
    dev.SetDTR(false);
    line.ClearCalls();
    dev.BeginUpdate();
    dev.SetRTS(true);
    dev.SetDTR(true);
    dev.SetBaud(125000);
    dev.SetParity(serial::ODDPARITY);
    dev.SetDataBits(7);
    EXPECT_TRUE(line.calls.empty()) << "a bracket only stores";
    dev.EndUpdate();
    ASSERT_EQ(line.calls.size(), 1u);
    const serial::DCB& dcb = line.calls[0].dcb;
    EXPECT_EQ(line.calls[0].row, "SetCommState");
    EXPECT_EQ(dcb.fRtsControl, serial::RTS_CONTROL_ENABLE);
    EXPECT_EQ(dcb.fDtrControl, serial::DTR_CONTROL_ENABLE);
    EXPECT_EQ(dcb.BaudRate, 125000u);
    EXPECT_EQ(dcb.Parity, serial::ODDPARITY);
    EXPECT_EQ(dcb.fParity, 1u);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_FALSE(dev.Updating());
    dev.EndUpdate();
    EXPECT_EQ(line.calls.size(), 1u) << "an unopened bracket writes nothing";
}

TEST_F(SerDevTest, CloseEndsAnUpdateBracketWithoutWriting) {
    dev.BeginUpdate();
    EXPECT_TRUE(dev.Close());
    EXPECT_FALSE(dev.Updating());
    ASSERT_TRUE(dev.Open());
    dev.BeginUpdate();
    dev.SetBaud(19200);
    line.ClearCalls();
    EXPECT_TRUE(dev.Close());
    EXPECT_FALSE(dev.Updating());
    EXPECT_EQ(Rows(), (std::vector<std::string>{"CloseHandle"}));
}

TEST_F(SerDevTest, ReceivedBytesAccumulateUntilReadAndReadsAskOnlyForWhatIsQueued) {
    ASSERT_TRUE(dev.Open());
    line.input = std::string("a\0b", 3);
    Tick();
    EXPECT_EQ(dev.Buffered(), 3u);
    line.input = std::string("\0\xff", 2);
    EXPECT_EQ(dev.InCount(), 5u) << "buffered plus still queued in the driver";
    Tick();
    EXPECT_EQ(dev.Buffered(), 5u);
    for (const auto& c : line.CallsOf("ReadFile"))
        EXPECT_NE(c.arg, 0u);
    EXPECT_EQ(line.CallsOf("ReadFile").size(), 2u) << "an empty driver is never read";
    Bytes out = "stale";
    ASSERT_TRUE(dev.Read(out, 4));
    EXPECT_EQ(out, std::string("a\0b\0", 4));
    ASSERT_TRUE(dev.Read(out, dev.InCount()));
    EXPECT_EQ(out, "\xff");
    EXPECT_EQ(dev.InCount(), 0u);
}

TEST_F(SerDevTest, CloseDropsWhatWasReceivedAndAClosedPortYieldsNothing) {
    ASSERT_TRUE(dev.Open());
    line.input = "abc";
    Tick();
    ASSERT_EQ(dev.Buffered(), 3u);
    line.outQueue = 7;
    EXPECT_EQ(dev.OutCount(), 7u);
    dev.Close();
    EXPECT_EQ(dev.Buffered(), 0u);
    Bytes out = "untouched";
    EXPECT_TRUE(dev.Read(out, 10));
    EXPECT_EQ(out, "untouched");
    EXPECT_EQ(dev.InCount(), 0u);
    EXPECT_EQ(dev.OutCount(), 0u);
}

// A device that vanished fails its status query; what it left in the receive buffer must stay
// readable, and no phantom input may be counted or read from the dead handle.
TEST_F(SerDevTest, AFailingStatusQueryCountsNoPhantomInput) {
    ASSERT_TRUE(dev.Open());
    line.input = "abc";
    Tick();
    ASSERT_EQ(dev.Buffered(), 3u);
    line.failStatus = true;
    line.ClearCalls();
    Tick(50);
    EXPECT_EQ(dev.InCount(), 3u);
    EXPECT_EQ(dev.OutCount(), 0u);
    EXPECT_TRUE(line.CallsOf("ReadFile").empty());
    Bytes out;
    ASSERT_TRUE(dev.Read(out, dev.InCount()));
    EXPECT_EQ(out, "abc");
    EXPECT_EQ(dev.InCount(), 0u);
}

TEST_F(SerDevTest, WriteSendsEverythingAcrossPartialWritesAndEmptyIsDone) {
    ASSERT_TRUE(dev.Open());
    line.writeChunk = 3;
    const Bytes data("\0\x01hello\0world", 13);
    EXPECT_TRUE(dev.Write(data));
    EXPECT_EQ(line.Sent(), data);
    EXPECT_EQ(line.CallsOf("WriteFile").size(), 5u);
    line.ClearCalls();
    EXPECT_TRUE(dev.Write(""));
    EXPECT_TRUE(line.calls.empty());
    EXPECT_TRUE(sink.boxes.empty());
}

TEST_F(SerDevTest, WriteWhileClosedFailsQuietly) {
    EXPECT_FALSE(dev.Write("x"));
    EXPECT_TRUE(dev.Write(""));
    EXPECT_TRUE(line.calls.empty());
    EXPECT_TRUE(sink.boxes.empty());
}

TEST_F(SerDevTest, AFailedWriteShowsTheSystemTextAndLeavesThePortOpen) {
    ASSERT_TRUE(dev.Open());
    line.failWrite = true;
    line.lastError = EIO;
    EXPECT_FALSE(dev.Write("abc"));
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, kWriteCaption);
    EXPECT_EQ(sink.boxes[0].text, platform::SystemErrorText(EIO));
    EXPECT_EQ(sink.boxes[0].icon, MsgIcon::Information);
    EXPECT_TRUE(dev.Opened);
    line.failWrite = false;
    EXPECT_TRUE(dev.Write("def"));
    EXPECT_EQ(line.Sent(), "def") << "the failed bytes were dropped";
}

// Each call succeeds without taking a byte: the write ends, and the user learns of it whether
// or not the device has an error code to give.
TEST_F(SerDevTest, ALineThatKeepsAcceptingNothingEndsTheWriteWithABox) {
    ASSERT_TRUE(dev.Open());
    line.writeChunk = 0;
    line.lastError = EAGAIN;
    EXPECT_FALSE(dev.Write("abc"));
    EXPECT_EQ(line.CallsOf("WriteFile").size(), static_cast<std::size_t>(TSerDev::kMaxEmptyWrites));
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, kWriteCaption);
    EXPECT_EQ(sink.boxes[0].text, platform::SystemErrorText(EAGAIN));

    line.lastError = 0;
    EXPECT_FALSE(dev.Write("abc"));
    ASSERT_EQ(sink.boxes.size(), 2u);
    EXPECT_EQ(sink.boxes[1].caption, kWriteCaption);
    EXPECT_EQ(sink.boxes[1].text, TSerDev::kStalledText);
    EXPECT_EQ(sink.boxes[1].icon, MsgIcon::Information);

    // The port stays open and takes the next write once the line moves again.
    line.writeChunk = 2;
    EXPECT_TRUE(dev.Write("abcdef"));
    EXPECT_EQ(line.Sent(), "abcdef");
    EXPECT_EQ(sink.boxes.size(), 2u);
}

TEST_F(SerDevTest, UnknownPortNamesAreRefusedWithoutTouchingAnyDevice) {
    for (const char* name : {"com3", "ttyS0", "", "dev/ttyS0"}) {
        sink.boxes.clear();
        dev.PortName = name;
        EXPECT_FALSE(dev.Open()) << name;
        EXPECT_FALSE(dev.Opened);
        ASSERT_EQ(sink.boxes.size(), 1u) << name;
        EXPECT_EQ(sink.boxes[0].caption, std::string("Open Port(") + name + ") Error...");
        EXPECT_EQ(sink.boxes[0].text, "Error: Can not to open unknown device.");
    }
    EXPECT_TRUE(line.calls.empty());
}

TEST_F(SerDevTest, AFailedOpenShowsTheSystemTextAndCanBeRetried) {
    line.failCreate = true;
    line.lastError = ENOENT;
    EXPECT_FALSE(dev.Open());
    EXPECT_FALSE(dev.Opened);
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, kOpenCaption);
    EXPECT_EQ(sink.boxes[0].text, platform::SystemErrorText(ENOENT));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"CreateFile"})) << "no setup on a failed open";

    line.lastError = 0;
    EXPECT_FALSE(dev.Open());
    EXPECT_EQ(sink.boxes.size(), 1u) << "no box without an error code";

    line.failCreate = false;
    EXPECT_TRUE(dev.Open());
}
