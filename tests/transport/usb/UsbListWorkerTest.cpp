// The USB enumeration worker over the fake D2XX library: what it lists, what a failing
// library gives, and that it scans only when asked.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>

#include "base/VirtualClock.h"
#include "tests/transport/usb/UsbRig.h"
#include "transport/TListCOM.h"
#include "transport/TListUSB.h"
#include "transport/TSerDev.h"

using namespace usbrig;

namespace {

struct Listed {
    TextList names, descs, ids;
    int count = 0;
};

template <typename Source>
Listed ListOf(Source& source) {
    Listed l;
    l.count = source.Copy(l.names, l.descs, l.ids);
    return l;
}

// Clears Hold and waits until the worker has scanned again.
void Rescan(TListUSB& worker) {
    const int before = worker.ScanCount();
    worker.Hold.store(false);
    ASSERT_TRUE(WaitFor([&] { return worker.ScanCount() > before; }));
}

// Waits until the worker has looked at Hold at least once after this call and finished that
// turn: two more wake-ups.
void LetTheWorkerLookTwice(TListUSB& worker) {
    const int wakes = worker.WakeCount();
    ASSERT_TRUE(WaitFor([&] { return worker.WakeCount() >= wakes + 2; }));
}

class UsbListWorker : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"FAKE_D2XX_CREATE_STATUS", "FAKE_D2XX_GET_STATUS",
                                 "FAKE_D2XX_GET_FILL", "FAKE_D2XX_CREATE_COUNT"})
            FakeSetting(name, nullptr);
        FakeSetting("FAKE_D2XX_DEVICES", "FT01=Adapter one=/dev/null;FT02=Adapter two=/dev/null");
    }
    void TearDown() override { FakeSetting("FAKE_D2XX_DEVICES", nullptr); }

    // The first scan runs at once after construction.
    std::unique_ptr<TListUSB> StartWorker() {
        auto worker = std::make_unique<TListUSB>();
        EXPECT_TRUE(WaitFor([&] { return worker->ScanCount() >= 1; }));
        return worker;
    }
};

TEST_F(UsbListWorker, ListsEachDeviceBySerialNumberAndDescriptionAfterTheCallersEntries) {
    auto worker = StartWorker();
    Listed l;
    l.names = {"COM1"};
    l.descs = {"Serial port"};
    l.ids = {"ACPI\\PNP0501\\0"};
    EXPECT_EQ(worker->Copy(l.names, l.descs, l.ids), 2);
    EXPECT_EQ(l.names, (TextList{"COM1", "USB:FT01", "USB:FT02"}));
    EXPECT_EQ(l.descs, (TextList{"Serial port", "Adapter one", "Adapter two"}));
    EXPECT_EQ(l.ids, (TextList{"ACPI\\PNP0501\\0", "", ""}));
    EXPECT_TRUE(worker->Hold.load());
}

TEST_F(UsbListWorker, FieldsThatFillTheirWholeRecordAreReadOnlyToTheirEnd) {
    const std::string serial16 = "0123456789ABCDEF";
    const std::string desc64(64, 'd');
    FakeSetting("FAKE_D2XX_DEVICES",
                (serial16 + "=" + desc64 + "=/dev/null;NEXT=Next device=/dev/null").c_str());
    auto worker = StartWorker();
    const Listed l = ListOf(*worker);
    ASSERT_EQ(l.count, 2);
    EXPECT_EQ(l.names[0], "USB:" + serial16);
    EXPECT_EQ(l.descs[0], desc64);
    EXPECT_EQ(l.names[1], "USB:NEXT");
}

TEST_F(UsbListWorker, AFailingListFunctionEmptiesTheListUntilItSucceedsAgain) {
    auto worker = StartWorker();
    ASSERT_EQ(ListOf(*worker).count, 2);

    FakeSetting("FAKE_D2XX_CREATE_STATUS", "4");
    Rescan(*worker);
    EXPECT_EQ(ListOf(*worker).count, 0);

    FakeSetting("FAKE_D2XX_CREATE_STATUS", nullptr);
    Rescan(*worker);
    EXPECT_EQ(ListOf(*worker).count, 2);

    FakeSetting("FAKE_D2XX_GET_STATUS", "18");
    Rescan(*worker);
    const Listed l = ListOf(*worker);
    EXPECT_EQ(l.count, 0);
    EXPECT_TRUE(l.names.empty() && l.descs.empty() && l.ids.empty());
}

TEST_F(UsbListWorker, AnImpossibleDeviceCountListsNothingAndDoesNotExhaustMemory) {
    FakeSetting("FAKE_D2XX_CREATE_COUNT", "4000000000");
    auto worker = StartWorker();
    EXPECT_EQ(ListOf(*worker).count, 0);

    FakeSetting("FAKE_D2XX_CREATE_COUNT", nullptr);
    Rescan(*worker);
    EXPECT_EQ(ListOf(*worker).count, 2);
}

TEST_F(UsbListWorker, OnlyTheRecordsTheLibraryFilledAreListed) {
    FakeSetting("FAKE_D2XX_GET_FILL", "1");
    auto worker = StartWorker();
    const Listed l = ListOf(*worker);
    EXPECT_EQ(l.names, TextList{"USB:FT01"});
}

TEST_F(UsbListWorker, ScansOnlyWhenHoldIsCleared) {
    auto worker = StartWorker();
    FakeSetting("FAKE_D2XX_DEVICES", "FT03=Arrived later=/dev/null");
    LetTheWorkerLookTwice(*worker);
    EXPECT_EQ(worker->ScanCount(), 1);
    EXPECT_EQ(ListOf(*worker).names, (TextList{"USB:FT01", "USB:FT02"}));

    Rescan(*worker);
    EXPECT_EQ(ListOf(*worker).names, TextList{"USB:FT03"});
    EXPECT_TRUE(worker->Hold.load());
}

// A rescan asked for while a scan runs is not lost in it: another scan follows.
TEST_F(UsbListWorker, ARescanAskedForDuringAScanFollowsIt) {
    FakeSetting("FAKE_D2XX_CREATE_DELAY_MS", "600");
    auto worker = std::make_unique<TListUSB>();  // its first scan starts at once
    ASSERT_TRUE(WaitFor([&] { return worker->Busy.load(); }));
    worker->Hold.store(false);
    EXPECT_TRUE(WaitFor([&] { return worker->ScanCount() >= 2; }));
    FakeSetting("FAKE_D2XX_CREATE_DELAY_MS", nullptr);
}

// Fails its first pass, having listed one port; holds the list in its second until released.
struct HeldComSource : ComPortSource {
    Outcome Pass(PortEntries& entries) override {
        if (passes++ == 0) {
            entries.Add("/dev/ttyS0", "serial8250", "PNP0501");
            return Outcome::Failed;
        }
        held.set_value();
        // Bounded, so that a test that fails before releasing still ends.
        release.get_future().wait_for(std::chrono::milliseconds(kWaitLimitMs));
        return Outcome::Unchanged;
    }
    int passes = 0;
    std::promise<void> held, release;
};

TEST_F(UsbListWorker, TryGetPortListGivesUpAtOnceDuringAPassElseListsComThenUsb) {
    auto owned = std::make_unique<HeldComSource>();
    HeldComSource& source = *owned;
    VirtualClock clock;
    RecordingSink sink;
    TSerDev dev(clock, sink, platform::NativeSerialColumn(),
                std::make_shared<PortLists>(std::move(owned)));
    const auto limit = std::chrono::milliseconds(kWaitLimitMs);
    ASSERT_EQ(source.held.get_future().wait_for(limit), std::future_status::ready);
    ASSERT_TRUE(WaitFor([&] { return dev.UsbWorker().ScanCount() >= 1; }));

    PortEntries out;
    out.Add("stale", "", "");
    auto tried = std::async(std::launch::async, [&] { return dev.TryGetPortList(out); });
    const bool answered = tried.wait_for(limit) == std::future_status::ready;
    dev.ComWorker().Terminate();  // no pass after the held one
    source.release.set_value();
    ASSERT_TRUE(answered);
    EXPECT_FALSE(tried.get());
    EXPECT_EQ(out.Count(), 0);
    // The first pass's failure is shown although this copy gave up.
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].text, "Error reading COM-List");

    ASSERT_TRUE(WaitFor([&] { return dev.ComWorker().PassCount() >= 2; }));
    ASSERT_TRUE(dev.TryGetPortList(out));
    EXPECT_EQ(out.names, (TextList{"/dev/ttyS0", "USB:FT01", "USB:FT02"}));
    EXPECT_EQ(sink.boxes.size(), 1u);
}

// The same rule seen from the serial device: an open port holds the list.
class UsbRescan : public ::testing::Test {
protected:
    void SetUp() override {
        FakeSetting("FAKE_D2XX_DEVICES", ("PORT1=Open device=" + pty.Path()).c_str());
        dev = std::make_unique<TSerDev>(
            clock, sink, platform::NativeSerialColumn(),
            std::make_shared<PortLists>(std::make_unique<SteeredComSource>(rebuilds)));
        usb = &dev->UsbWorker();
        EXPECT_TRUE(WaitFor([&] { return usb->ScanCount() >= 1; }));
        dev->PortName = "USB:PORT1";
        EXPECT_TRUE(dev->Open());
        FakeSetting("FAKE_D2XX_DEVICES",
                    ("PORT1=Open device=" + pty.Path() + ";PORT2=Plugged in=/dev/null").c_str());
    }
    void TearDown() override {
        dev.reset();
        FakeSetting("FAKE_D2XX_DEVICES", nullptr);
    }
    TextList UsbNames() {
        Listed l;
        dev->GetUSBList(l.names, l.descs, l.ids);
        return l.names;
    }

    Pty pty;
    VirtualClock clock;
    RecordingSink sink;
    std::atomic<int> rebuilds{0};
    std::unique_ptr<TSerDev> dev;
    TListUSB* usb = nullptr;
};

const TextList kBefore{"USB:PORT1"};
const TextList kAfter{"USB:PORT1", "USB:PORT2"};

TEST_F(UsbRescan, AnOpenPortHoldsTheListUntilRescanUSB) {
    LetTheWorkerLookTwice(*usb);
    EXPECT_EQ(usb->ScanCount(), 1);
    EXPECT_EQ(UsbNames(), kBefore);

    dev->RescanUSB();
    EXPECT_TRUE(WaitFor([&] { return UsbNames() == kAfter; }));
    EXPECT_TRUE(dev->Opened);
    EXPECT_TRUE(usb->Hold.load());
    EXPECT_TRUE(sink.boxes.empty());
}

TEST_F(UsbRescan, AChangeOfTheComListRescansWhileOpen) {
    rebuilds.store(1);
    EXPECT_TRUE(WaitFor([&] { return UsbNames() == kAfter; }));
    EXPECT_TRUE(dev->Opened);
}

TEST_F(UsbRescan, ClosingThePortRescans) {
    dev->Close();
    EXPECT_TRUE(WaitFor([&] { return UsbNames() == kAfter; }));
    Listed l;
    EXPECT_EQ(dev->GetPortList(l.names, l.descs, l.ids), 2);
    EXPECT_EQ(l.descs, (TextList{"Open device", "Plugged in"}));
}

}  // namespace
