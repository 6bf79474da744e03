// Incomplete or missing D2XX installations. Each suite runs in its own process with its own
// LD_LIBRARY_PATH (see CMakeLists.txt): a loaded library stays for the life of the process.
#include <gtest/gtest.h>

#include <memory>

#include "base/VirtualClock.h"
#include "platform/DynLib.h"
#include "tests/transport/usb/UsbRig.h"
#include "transport/TListUSB.h"
#include "transport/TSerDev.h"

using namespace usbrig;

namespace {

class UsbLibraryVariant : public ::testing::Test {
protected:
    // Before any worker runs: the fake library reads its settings from the environment.
    void SetUp() override {
        SetEnv("FAKE_D2XX_DEVICES", ("SERIAL1=First device=" + pty.Path()).c_str());
    }
    std::unique_ptr<TSerDev> MakeDevice() {
        auto dev = std::make_unique<TSerDev>(
            clock, sink, platform::NativeSerialColumn(),
            std::make_shared<PortLists>(std::make_unique<SteeredComSource>(rebuilds)));
        EXPECT_TRUE(WaitFor([&] { return dev->UsbWorker().ScanCount() >= 1; }));
        return dev;
    }
    int UsbCount(TSerDev& dev) {
        TextList n, d, i;
        return dev.GetUSBList(n, d, i);
    }

    Pty pty;
    CallLog log;
    VirtualClock clock;
    RecordingSink sink;
    std::atomic<int> rebuilds{0};
};

const std::string kFtdiLibrary = platform::LibraryFileName("ftd2xx");
const char* const kLibrary = kFtdiLibrary.c_str();

// Our vendor build and FTDI's own library, both complete, both on the path.
using UsbVendorLibrary = UsbLibraryVariant;

TEST_F(UsbVendorLibrary, IsPreferredForListingAndForTheDevice) {
    auto dev = MakeDevice();
    EXPECT_EQ(UsbCount(*dev), 1);
    dev->PortName = "USB:SERIAL1";
    ASSERT_TRUE(dev->Open());
    EXPECT_TRUE(dev->Write("v"));
    EXPECT_EQ(pty.Receive(1), "v");
    EXPECT_EQ(log.Count("load rpd2xx"), 1);
    EXPECT_EQ(log.Count("load ftd2xx"), 0);
    EXPECT_FALSE(IsResident(kLibrary));
}

// No FT_W32_SetupComm and no FT_GetDeviceInfoList.
using UsbBrokenLibrary = UsbLibraryVariant;

TEST_F(UsbBrokenLibrary, OpenAsksForTheDriversAndReleasesTheLibrary) {
    auto dev = MakeDevice();
    EXPECT_EQ(UsbCount(*dev), 0);
    EXPECT_FALSE(IsResident(kLibrary));

    dev->PortName = "USB:SERIAL1";
    EXPECT_FALSE(dev->Open());
    EXPECT_FALSE(dev->Opened);
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, "Open Port(USB:SERIAL1) Error...");
    EXPECT_EQ(sink.boxes[0].text, "Reinstall drivers, please.");
    EXPECT_EQ(log.Count("CreateFile"), 0);
    EXPECT_FALSE(IsResident(kLibrary));

    // Nothing was kept, so the next open tries the library again.
    const int loads = log.Count("load");
    EXPECT_FALSE(dev->Open());
    EXPECT_EQ(log.Count("load"), loads + 1);
    ASSERT_EQ(sink.boxes.size(), 2u);
    EXPECT_EQ(sink.boxes[1].text, "Reinstall drivers, please.");
}

TEST_F(UsbBrokenLibrary, TheWorkerReleasesItAndTriesAgainAtTheNextScan) {
    TListUSB worker;
    ASSERT_TRUE(WaitFor([&] { return worker.ScanCount() >= 1; }));
    EXPECT_FALSE(IsResident(kLibrary));
    EXPECT_EQ(log.Count("load"), 1);
    EXPECT_EQ(log.Count("unload"), 1);
    // FT_CreateDeviceInfoList is there but must not be called without its partner.
    EXPECT_EQ(log.Count("CreateDeviceInfoList"), 0);

    worker.Hold.store(false);
    ASSERT_TRUE(WaitFor([&] { return worker.ScanCount() >= 2; }));
    EXPECT_EQ(log.Count("load"), 2);
    TextList n, d, i;
    EXPECT_EQ(worker.Copy(n, d, i), 0);
}

// Every serial function, but no FT_CreateDeviceInfoList.
using UsbNoListFunction = UsbLibraryVariant;

TEST_F(UsbNoListFunction, TheListStaysEmptyButTheDeviceStillOpens) {
    auto dev = MakeDevice();
    EXPECT_EQ(UsbCount(*dev), 0);
    EXPECT_TRUE(sink.boxes.empty());

    dev->PortName = "USB:SERIAL1";
    ASSERT_TRUE(dev->Open());
    EXPECT_TRUE(dev->Write("still here"));
    EXPECT_EQ(pty.Receive(10), "still here");
    dev->Close();

    // Close asks for a scan, which again finds no list function.
    ASSERT_TRUE(WaitFor([&] { return dev->UsbWorker().ScanCount() >= 2; }));
    EXPECT_EQ(UsbCount(*dev), 0);
    EXPECT_TRUE(sink.boxes.empty());
}

// No D2XX library on the path at all.
using UsbNoLibrary = UsbLibraryVariant;

TEST_F(UsbNoLibrary, TheListIsEmptyAndOpenAsksForTheDrivers) {
    if (IsResident(kLibrary) || Loadable(kLibrary))
        GTEST_SKIP() << "a D2XX library is installed on this machine";
    auto dev = MakeDevice();
    EXPECT_EQ(UsbCount(*dev), 0);
    EXPECT_TRUE(sink.boxes.empty());

    dev->PortName = "USB:SERIAL1";
    EXPECT_FALSE(dev->Open());
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, "Open Port(USB:SERIAL1) Error...");
    EXPECT_EQ(sink.boxes[0].text, "Reinstall drivers, please.");
}

}  // namespace
