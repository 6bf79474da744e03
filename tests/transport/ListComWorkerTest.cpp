// The COM worker's thread: what each pass outcome does to the USB worker's Hold flag, the
// exclusion between a pass and a copy, and a prompt stop from any of its waits.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "transport/TListCOM.h"

namespace {

using Outcome = ComPortSource::Outcome;
using namespace std::chrono_literals;

constexpr auto kLimit = 10s;  // generous: only a hang goes past it

bool WaitFor(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + kLimit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Runs one pass per step the test allows, with the outcome the test gives.
class SteppedSource : public ComPortSource {
public:
    Outcome Pass(PortEntries& entries) override {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return stopped_ || !steps_.empty(); });
        if (stopped_) return Outcome::Unchanged;
        const Outcome outcome = steps_.front();
        steps_.erase(steps_.begin());
        entries.Clear();
        entries.Add("port" + std::to_string(++passes_), "", "");
        return outcome;
    }
    void Step(Outcome outcome) {
        std::lock_guard lock(mutex_);
        steps_.push_back(outcome);
        cv_.notify_all();
    }
    void Stop() {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        cv_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Outcome> steps_;
    bool stopped_ = false;
    int passes_ = 0;
};

TEST(ListComWorker, OnlyARebuildAsksForAUsbRescan) {
    std::atomic<bool> usbHold{true};
    auto owned = std::make_unique<SteppedSource>();
    SteppedSource& source = *owned;
    int errors = 0;
    std::mutex errorMutex;
    TListCOM worker(
        usbHold, std::move(owned),
        [&] {
            std::lock_guard lock(errorMutex);
            ++errors;
        },
        0, 0);

    const struct {
        Outcome outcome;
        bool holdAfter;
        int errorsAfter;
    } steps[] = {
        {Outcome::Unchanged, true, 0}, {Outcome::Rebuilt, false, 0},
        {Outcome::Failed, true, 1},    {Outcome::RebuiltThenPause, false, 1},
        {Outcome::Unchanged, true, 1},
    };
    for (const auto& step : steps) {
        usbHold.store(true);
        const int before = worker.PassCount();
        source.Step(step.outcome);
        ASSERT_TRUE(WaitFor([&] { return worker.PassCount() > before; }));
        EXPECT_EQ(usbHold.load(), step.holdAfter) << static_cast<int>(step.outcome);
        std::lock_guard lock(errorMutex);
        EXPECT_EQ(errors, step.errorsAfter);
    }
    source.Stop();
}

// Every pass rebuilds the list entry by entry into a new generation whose length depends on
// the generation, so a copy that overlapped a pass would see a mixture or a wrong length.
class GenerationSource : public ComPortSource {
public:
    Outcome Pass(PortEntries& entries) override {
        ++generation_;
        entries.Clear();
        const int n = 1 + generation_ % 7;
        for (int i = 0; i < n; ++i) {
            const std::string g = std::to_string(generation_);
            entries.names.push_back(g + "-" + std::to_string(i));
            std::this_thread::yield();
            entries.descs.push_back(g);
            entries.ids.push_back(g);
        }
        return generation_ % 3 == 0 ? Outcome::RebuiltThenPause : Outcome::Rebuilt;
    }

private:
    int generation_ = 0;
};

// The generation if the copy is one whole generation, else -1.
int WholeGeneration(const TextList& names, const TextList& descs, const TextList& ids) {
    if (names.empty() || names.size() != descs.size() || names.size() != ids.size()) return -1;
    const int g = std::stoi(descs[0]);
    if (static_cast<int>(names.size()) != 1 + g % 7) return -1;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string gs = std::to_string(g);
        if (names[i] != gs + "-" + std::to_string(i) || descs[i] != gs || ids[i] != gs) return -1;
    }
    return g;
}

TEST(ListComWorker, CopiesNeverSeeAHalfRebuiltList) {
    std::atomic<bool> usbHold{true};
    TListCOM worker(usbHold, std::make_unique<GenerationSource>(), nullptr, 1, 1);
    ASSERT_TRUE(WaitFor([&] { return worker.PassCount() > 0; }));

    int copies = 0;
    int torn = 0;
    int lastGeneration = 0;
    bool backwards = false;
    // Copies go on until the worker has rebuilt the list many times under them, however
    // slowly a loaded machine lets it: counted in passes, not in time.
    constexpr int kPassesUnderCopies = 50;
    const int startPasses = worker.PassCount();
    const auto end = std::chrono::steady_clock::now() + kLimit;
    while (worker.PassCount() < startPasses + kPassesUnderCopies || copies < kPassesUnderCopies) {
        ASSERT_LT(std::chrono::steady_clock::now(), end) << "the worker stopped rebuilding";
        TextList names{"kept"}, descs{"kept"}, ids{"kept"};
        const int n = worker.Copy(names, descs, ids);
        // A copy appends: what the caller had stays in front.
        names.erase(names.begin());
        descs.erase(descs.begin());
        ids.erase(ids.begin());
        const int g = WholeGeneration(names, descs, ids);
        if (g < 0 || n != static_cast<int>(names.size())) ++torn;
        if (g < lastGeneration) backwards = true;
        lastGeneration = std::max(lastGeneration, g);
        ++copies;
    }
    EXPECT_EQ(torn, 0) << "of " << copies << " copies";
    EXPECT_FALSE(backwards);
}

// Starts one pass that settles for a minute unless stopped.
class SettlingSource : public ComPortSource {
public:
    Outcome Pass(PortEntries& entries) override {
        entries.Clear();
        entries.Add("/dev/ttyUSB0", "new", "");
        entries.Add("/dev/ttyUSB1", "new", "");
        inPass.store(true);
        return Outcome::RebuiltThenPause;
    }
    std::atomic<bool> inPass{false};
};

TEST(ListComWorker, ACopyDuringTheSettlingWaitsAndStoppingWakesTheSettling) {
    std::atomic<bool> usbHold{true};
    auto owned = std::make_unique<SettlingSource>();
    SettlingSource& source = *owned;
    auto worker = std::make_unique<TListCOM>(usbHold, std::move(owned), nullptr, 60000, 60000);
    ASSERT_TRUE(WaitFor([&] { return source.inPass.load(); }));

    TextList names, descs, ids;
    auto copy = std::async(std::launch::async, [&] { return worker->Copy(names, descs, ids); });
    // Still settling: the copy may not get in (a slow machine only makes this easier).
    EXPECT_EQ(copy.wait_for(100ms), std::future_status::timeout);

    worker->Terminate();
    ASSERT_EQ(copy.wait_for(kLimit), std::future_status::ready);
    EXPECT_EQ(copy.get(), 2);
    EXPECT_EQ(names, (TextList{"/dev/ttyUSB0", "/dev/ttyUSB1"}));
    EXPECT_FALSE(usbHold.load());

    auto join = std::async(std::launch::async, [&] { worker.reset(); });
    EXPECT_EQ(join.wait_for(kLimit), std::future_status::ready);
}

TEST(ListComWorker, DestructionWakesTheLongPause) {
    std::atomic<bool> usbHold{true};
    auto worker = std::make_unique<TListCOM>(usbHold, std::make_unique<GenerationSource>(), nullptr,
                                             60000, 0);
    ASSERT_TRUE(WaitFor([&] { return worker->PassCount() > 0; }));
    auto join = std::async(std::launch::async, [&] { worker.reset(); });
    EXPECT_EQ(join.wait_for(kLimit), std::future_status::ready);
    EXPECT_EQ(worker, nullptr);
}

}  // namespace
