#include "base/EventLoop.h"

#include <gtest/gtest.h>

#include <thread>

TEST(EventLoop, RunsTimersUntilQuitAndReturnsTheCode) {
    EventLoop loop;
    auto t = loop.CreateTimer();
    int ticks = 0;
    t->SetCallback([&] {
        if (++ticks == 5) loop.Quit(7);
    });
    t->Start(1);
    EXPECT_EQ(loop.Run(), 7);
    EXPECT_EQ(ticks, 5);
}

TEST(EventLoop, WorkPostedFromAnotherThreadRunsOnTheLoop) {
    EventLoop loop;
    std::thread::id ranOn;
    std::thread poster([&] {
        loop.Post([&] {
            ranOn = std::this_thread::get_id();
            loop.Quit(0);
        });
    });
    EXPECT_EQ(loop.Run(), 0);
    poster.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(EventLoop, TimerMayBeDestroyedInsideItsOwnCallback) {
    EventLoop loop;
    auto t = loop.CreateTimer();
    auto other = loop.CreateTimer();
    int fired = 0;
    t->SetCallback([&] {
        ++fired;
        t.reset();
    });
    other->SetCallback([&] { loop.Quit(0); });
    t->Start(1);
    other->Start(20);
    loop.Run();
    EXPECT_EQ(fired, 1);
}
