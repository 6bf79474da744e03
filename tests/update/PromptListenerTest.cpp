// Listening for a boot loader's prompt on a line of its own in virtual time: heard however the
// input comes (woken on arrival, or only at a tick), never past its limit however much the
// line chatters, and never a byte sent.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "base/VirtualClock.h"
#include "tests/NativePort.h"
#include "tests/support/FakePort.h"
#include "tests/support/QuietPortLists.h"
#include "tests/support/RecordingSink.h"
#include "transport/TSerDev.h"
#include "update/PromptListener.h"

namespace {

TEST(PromptListener, HearsAPromptHoweverItComesAndEndsAtItsLimitWhateverTheLineSays) {
    struct Input {
        std::int64_t atMs;
        Bytes bytes;
    };
    const struct {
        const char* name;
        bool arrivals;  // input wakes the listener, or waits for its next tick
        std::vector<Input> input;
        bool heard;
        std::int64_t endMs;
    } cases[] = {
        {"woken by the prompt", true, {{300, ">"}}, true, 300},
        {"the prompt at the next tick", false, {{305, ">"}}, true, 310},
        {"a prompt among other bytes", true, {{200, "ab"}, {400, "x>y"}}, true, 400},
        {"silence", true, {}, false, 1000},
        // A line that never falls quiet still ends at the limit.
        {"chatter", true,
         [] {
             std::vector<Input> v;
             for (int t = 5; t < 2000; t += 7)
                 v.push_back({t, "+."});
             return v;
         }(),
         false, 1000},
        {"a prompt too late", true, {{1001, ">"}}, false, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualClock clock;
        FakePort link(&clock);
        RecordingSink sink;
        TSerDev dev(clock, sink, link.Column(), QuietPortLists());
        dev.PortName = NATIVE_PORT("/dev/ttyScripted", "COM8");
        link.SetArrivals(c.arrivals);
        PromptListener listener(clock, dev);
        std::optional<bool> heard;
        std::int64_t endMs = -1;
        ASSERT_TRUE(listener.Start(1000, [&](bool h) {
            heard = h;
            endMs = clock.Now();
        }));
        EXPECT_EQ(dev.LineSettings().BaudRate, 115200u);
        for (const Input& in : c.input)
            link.Schedule(in.atMs, in.bytes);
        clock.Advance(2500);
        ASSERT_TRUE(heard.has_value());
        EXPECT_EQ(*heard, c.heard);
        EXPECT_EQ(endMs, c.endMs);
        EXPECT_TRUE(link.Sent().empty()) << "nothing may be sent to a boot loader listened to";
        EXPECT_FALSE(link.open) << "the port is given back";
        EXPECT_FALSE(listener.Active());
    }
}

}  // namespace
