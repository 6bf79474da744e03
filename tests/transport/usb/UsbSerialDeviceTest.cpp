// A "USB:" port driven for real through the fake D2XX library, found by the product's own
// dlopen on LD_LIBRARY_PATH; each fake device's bytes travel through a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "base/VirtualClock.h"
#include "tests/transport/usb/UsbRig.h"
#include "transport/TListUSB.h"
#include "transport/TSerDev.h"

using namespace usbrig;

namespace {

class UsbSerialDevice : public ::testing::Test {
protected:
    void SetUp() override {
        FakeSetting("FAKE_D2XX_DEVICES", ("SERIAL1=First device=" + pty.Path()).c_str());
        dev = std::make_unique<TSerDev>(
            clock, sink, platform::NativeSerialColumn(),
            std::make_shared<PortLists>(std::make_unique<SteeredComSource>(rebuilds)));
    }
    void TearDown() override {
        dev.reset();
        FakeSetting("FAKE_D2XX_DEVICES", nullptr);
    }

    bool OpenPort(const std::string& name) {
        dev->PortName = name;
        return dev->Open();
    }
    // Everything the device has received so far, once `count` bytes are there.
    Bytes ReadAll(std::uint32_t count) {
        WaitFor([&] { return dev->InCount() >= count; });
        Bytes out;
        dev->Read(out, dev->InCount());
        return out;
    }

    Pty pty;
    CallLog log;
    VirtualClock clock;
    RecordingSink sink;
    std::atomic<int> rebuilds{0};
    std::unique_ptr<TSerDev> dev;
};

const Bytes kWithZeros("\x00\x55\x00\xff\r\n\x00tail", 10);

TEST_F(UsbSerialDevice, OpensBySerialNumberAndCarriesZeroBytesBothWays) {
    ASSERT_TRUE(OpenPort("USB:SERIAL1"));
    EXPECT_TRUE(dev->Opened);
    EXPECT_EQ(dev->Kind(), 1);
    // The device's own calls, in order (the list worker writes to the same log meanwhile).
    std::vector<std::string> calls;
    for (const std::string& line : log.Lines())
        if (line.rfind("CreateDevice", 0) != 0 && line.rfind("load", 0) != 0) calls.push_back(line);
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "CreateFile SERIAL1 access=0xc0000000 share=0 creation=3 flags=0x81",
                         "GetCommState", "SetupComm 4096 14", "PurgeComm 12",
                         // Small answers are handed over at once while the device is open.
                         "GetLatencyTimer SERIAL1 16", "SetLatencyTimer SERIAL1 1"}));

    EXPECT_TRUE(dev->Write(kWithZeros));
    EXPECT_EQ(pty.Receive(kWithZeros.size()), kWithZeros);

    pty.Send(kWithZeros);
    EXPECT_EQ(ReadAll(kWithZeros.size()), kWithZeros);
    EXPECT_EQ(dev->InCount(), 0u);
    // A D2XX read waits for every byte asked for: only what is queued may be asked.
    const auto reads = log.Matching("ReadFile");
    EXPECT_FALSE(reads.empty());
    for (const std::string& line : reads) {
        unsigned asked = 0, queued = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "ReadFile %u of %u", &asked, &queued), 2);
        EXPECT_LE(asked, queued) << line;
    }

    EXPECT_TRUE(dev->Close());
    EXPECT_FALSE(dev->Opened);
    EXPECT_EQ(log.Count("CloseHandle SERIAL1"), 1);
    // ... and the device's own setting is given back before it is closed.
    const auto lines = log.Lines();
    const auto restore = std::find(lines.begin(), lines.end(), "SetLatencyTimer SERIAL1 16");
    EXPECT_TRUE(restore != lines.end() &&
                std::find(restore, lines.end(), "CloseHandle SERIAL1") != lines.end());
    EXPECT_TRUE(sink.boxes.empty());
}

// The channels of dual and quad chips carry a letter after eight characters: a device is
// opened by its whole serial number, and by the first eight only when that names none.
TEST_F(UsbSerialDevice, ALongSerialNumberOpensItsOwnDeviceElseTheOneOfItsFirstEight) {
    Pty longer;
    FakeSetting("FAKE_D2XX_DEVICES",
                ("ABCDEFGHIJ=Long=" + longer.Path() + ";ABCDEFGH=Short=" + pty.Path()).c_str());
    ASSERT_TRUE(OpenPort("USB:ABCDEFGHIJ"));
    EXPECT_TRUE(dev->Write("ping"));
    EXPECT_EQ(longer.Receive(4), "ping");
    EXPECT_EQ(pty.Receive(1, 100), "");
    dev->Close();

    FakeSetting("FAKE_D2XX_DEVICES", ("ABCDEFGH=Short=" + pty.Path()).c_str());
    ASSERT_TRUE(OpenPort("USB:ABCDEFGHIJ"));
    EXPECT_EQ(log.Count("CreateFile ABCDEFGHIJ "), 2);
    EXPECT_EQ(log.Count("CreateFile ABCDEFGH "), 1);
    EXPECT_TRUE(dev->Write("pong"));
    EXPECT_EQ(pty.Receive(4), "pong");
    EXPECT_EQ(sink.boxes.size(), 0u);
}

TEST_F(UsbSerialDevice, LineSettingsReachTheDeviceAndKeepWhatItReported) {
    ASSERT_TRUE(OpenPort("USB:SERIAL1"));
    EXPECT_EQ(log.Count("GetCommState"), 1);

    dev->SetRTS(false);
    dev->SetDTR(true);
    EXPECT_EQ(log.Matching("EscapeCommFunction"),
              (std::vector<std::string>{"EscapeCommFunction 4", "EscapeCommFunction 5"}));

    // The fake device reports 9600,E,7 with two stop bits, CTS flow control and XON 0x11.
    dev->SetParams("115200,N,8,1");
    EXPECT_EQ(log.Matching("SetCommState"),
              std::vector<std::string>{"SetCommState baud=115200 bits=8 parity=0 fParity=0 "
                                       "stop=2 rts=0 dtr=1 cts=1 xon=17 length=28"});

    dev->BeginUpdate();
    dev->SetRTS(true);
    dev->SetDTR(true);
    dev->SetParams("19200,O,7");
    dev->EndUpdate();
    EXPECT_EQ(log.Count("EscapeCommFunction"), 2);
    const auto states = log.Matching("SetCommState");
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(states[1],
              "SetCommState baud=19200 bits=7 parity=1 fParity=1 stop=2 rts=1 dtr=1 cts=1 "
              "xon=17 length=28");
}

TEST_F(UsbSerialDevice, AnUnknownSerialNumberShowsDeviceIsNotFound) {
    EXPECT_FALSE(OpenPort("USB:NOSUCH99"));
    EXPECT_FALSE(dev->Opened);
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, "Open Port(USB:NOSUCH99) Error...");
    EXPECT_EQ(sink.boxes[0].text, "USB Device Error: 2 (Device is not found)");

    // A failed open leaves the object ready for the next one.
    EXPECT_TRUE(OpenPort("USB:SERIAL1"));
    EXPECT_EQ(sink.boxes.size(), 1u);
}

TEST_F(UsbSerialDevice, AnErrorCodeWithoutANameIsShownAsUnknown) {
    FakeSetting("FAKE_D2XX_DEVICES", "FAULTY19=Faulty=!19");
    EXPECT_FALSE(OpenPort("USB:FAULTY19"));
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, "Open Port(USB:FAULTY19) Error...");
    EXPECT_EQ(sink.boxes[0].text, "USB Device Error: 19 (Unknown error)");
}

TEST_F(UsbSerialDevice, AWriteToADeviceThatWentAwayShowsTheIoErrorAndStaysOpen) {
    ASSERT_TRUE(OpenPort("USB:SERIAL1"));
    pty.Close();
    EXPECT_FALSE(dev->Write("lost"));
    EXPECT_TRUE(dev->Opened);
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, "Write Port(USB:SERIAL1) Error...");
    EXPECT_EQ(sink.boxes[0].text, "USB Device Error: 4 (IO Error)");
}

TEST_F(UsbSerialDevice, OpenWhileOpenClosesTheFirstDevice) {
    Pty second;
    FakeSetting("FAKE_D2XX_DEVICES",
                ("SERIAL1=One=" + pty.Path() + ";SERIAL2=Two=" + second.Path()).c_str());
    ASSERT_TRUE(OpenPort("USB:SERIAL1"));
    ASSERT_TRUE(OpenPort("USB:SERIAL2"));
    EXPECT_EQ(log.Count("CloseHandle SERIAL1"), 1);
    EXPECT_TRUE(dev->Write("two"));
    EXPECT_EQ(second.Receive(3), "two");
    EXPECT_EQ(pty.Receive(1, 100), "");
    dev->Close();
    EXPECT_EQ(log.Count("CloseHandle SERIAL2"), 1);
}

}  // namespace
