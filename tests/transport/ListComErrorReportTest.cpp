// A failed COM pass reaches the user through the owner's next list copy, never by making the
// worker wait on the host, and failures that pile up meanwhile give one box, not a stack.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "base/VirtualClock.h"
#include "tests/support/RecordingSink.h"
#include "transport/TListCOM.h"
#include "transport/TSerDev.h"

namespace {

using namespace std::chrono_literals;

// Fails its first `failures` passes, having listed one port each time, then lists two.
class FailingSource : public ComPortSource {
public:
    explicit FailingSource(int failures) : failures_(failures) {}
    Outcome Pass(PortEntries& entries) override {
        entries.Clear();
        entries.Add("/dev/ttyS0", "serial8250", "");
        if (failures_-- > 0) return Outcome::Failed;
        entries.Add("/dev/ttyUSB0", "FT232R USB UART", "");
        return Outcome::Rebuilt;
    }

private:
    int failures_;
};

bool WaitForPasses(TSerDev& dev, int passes) {
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (dev.ComWorker().PassCount() < passes)
        if (std::chrono::steady_clock::now() > end)
            return false;
        else
            std::this_thread::sleep_for(1ms);
    return true;
}

TEST(ListComErrorReport, AFailedPassIsShownOnceAtTheNextCopyWithWhatItBuilt) {
    VirtualClock clock;
    RecordingSink sink;
    TSerDev dev(clock, sink, platform::NativeSerialColumn(),
                std::make_shared<PortLists>(std::make_unique<FailingSource>(1)));
    ASSERT_TRUE(WaitForPasses(dev, 1));
    EXPECT_TRUE(sink.boxes.empty());  // nothing is shown from the worker's thread

    TextList names, descs, ids;
    EXPECT_EQ(dev.GetCOMList(names, descs, ids), 1);
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, "Error...");
    EXPECT_EQ(sink.boxes[0].text, "Error reading COM-List");
    EXPECT_EQ(sink.boxes[0].icon, MsgIcon::Information);
    EXPECT_EQ(names, (TextList{"/dev/ttyS0"}));

    names.clear();
    dev.GetCOMList(names, descs, ids);
    EXPECT_EQ(sink.boxes.size(), 1u);
}

TEST(ListComErrorReport, FailuresWhileNobodyCopiesGiveOneBox) {
    VirtualClock clock;
    RecordingSink sink;
    TSerDev dev(clock, sink, platform::NativeSerialColumn(),
                std::make_shared<PortLists>(std::make_unique<FailingSource>(1000)));
    // The worker goes on with its passes although no box was shown yet.
    ASSERT_TRUE(WaitForPasses(dev, 2));

    TextList names, descs, ids;
    EXPECT_EQ(dev.GetCOMList(names, descs, ids), 1);
    EXPECT_EQ(sink.boxes.size(), 1u);
}

}  // namespace
