#include "base/VirtualClock.h"

#include <gtest/gtest.h>

#include <vector>

TEST(VirtualClock, PeriodicTimerFiresEveryIntervalUntilStopped) {
    VirtualClock clock;
    auto t = clock.CreateTimer();
    std::vector<std::int64_t> at;
    t->SetCallback([&] {
        at.push_back(clock.Now());
        if (at.size() == 3) t->Stop();
    });
    t->Start(10);
    clock.Advance(100);
    EXPECT_EQ(at, (std::vector<std::int64_t>{10, 20, 30}));
    EXPECT_FALSE(t->IsActive());
}

TEST(VirtualClock, RestartInsideCallbackRestartsThePeriod) {
    VirtualClock clock;
    auto t = clock.CreateTimer();
    std::vector<std::int64_t> at;
    t->SetCallback([&] {
        at.push_back(clock.Now());
        t->Stop();
        t->Start(at.size() == 1 ? 100 : 10);  // a first tick of 100 ms changes to 10 ms
    });
    t->Start(100);
    clock.Advance(230);
    EXPECT_EQ(at, (std::vector<std::int64_t>{100, 200, 210, 220, 230}));
}

TEST(VirtualClock, TimersDueTogetherFireInStartOrder) {
    VirtualClock clock;
    auto a = clock.CreateTimer();
    auto b = clock.CreateTimer();
    std::string order;
    a->SetCallback([&] { order += 'a'; });
    b->SetCallback([&] { order += 'b'; });
    b->Start(10);
    a->Start(10);
    clock.Advance(20);
    EXPECT_EQ(order, "baba");
}

TEST(VirtualClock, TimerMayBeDestroyedInsideItsOwnCallback) {
    VirtualClock clock;
    auto t = clock.CreateTimer();
    int fired = 0;
    t->SetCallback([&] {
        ++fired;
        t.reset();
    });
    t->Start(5);
    clock.Advance(50);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(t, nullptr);
}

TEST(VirtualClock, RunUntilStopsWhenThePredicateHoldsOrTheLimitPasses) {
    VirtualClock clock;
    auto t = clock.CreateTimer();
    int ticks = 0;
    t->SetCallback([&] { ++ticks; });
    t->Start(10);
    EXPECT_TRUE(clock.RunUntil([&] { return ticks == 4; }, 1000));
    EXPECT_EQ(clock.Now(), 40);
    EXPECT_FALSE(clock.RunUntil([] { return false; }, 25));
    EXPECT_EQ(clock.Now(), 65);
}
