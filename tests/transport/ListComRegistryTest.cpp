// The COM worker over the registry scan: an arrival that rewrites an enumerator key reaches
// the copied list and asks the USB worker for a rescan; a quiet registry asks for nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/RegistryComPortSource.h"
#include "tests/platform/ComSourceMemoryRegistry.h"
#include "transport/TListCOM.h"

namespace {

using namespace std::chrono_literals;

// The worker reads the registry while the test writes it, as the system does.
class SharedRegistry : public RegistryReader {
public:
    template <typename Fn>
    void Write(Fn fn) {
        std::lock_guard lock(mutex_);
        fn(registry_);
    }
    bool Open(const std::string& path, Key& key) override {
        std::lock_guard lock(mutex_);
        return registry_.Open(path, key);
    }
    void Close(Key key) override {
        std::lock_guard lock(mutex_);
        registry_.Close(key);
    }
    bool LastWriteTime(Key key, std::uint64_t& time) override {
        std::lock_guard lock(mutex_);
        return registry_.LastWriteTime(key, time);
    }
    bool ReadInt(Key key, const std::string& name, std::uint32_t& value) override {
        std::lock_guard lock(mutex_);
        return registry_.ReadInt(key, name, value);
    }
    bool ReadText(Key key, const std::string& name, std::string& value) override {
        std::lock_guard lock(mutex_);
        return registry_.ReadText(key, name, value);
    }
    bool ListTexts(Key key, std::vector<NamedText>& values) override {
        std::lock_guard lock(mutex_);
        return registry_.ListTexts(key, values);
    }

private:
    std::mutex mutex_;
    MemoryRegistry registry_;
};

// Owns nothing: the test keeps the registry alive longer than the worker.
class ScanOf : public ComPortSource {
public:
    explicit ScanOf(RegistryReader& registry) : scan_(registry, 10) {}
    Outcome Pass(PortEntries& entries) override { return scan_.Pass(entries); }

private:
    RegistryComPortSource scan_;
};

bool WaitFor(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

void Arrive(MemoryRegistry& r, const std::string& instance, const std::string& port,
            std::uint32_t index) {
    const std::string device = std::string(RegistryComPortSource::kEnumRoot) + instance;
    r.SetText(device, "FriendlyName", "USB Serial Port (" + port + ")");
    r.SetText(device + "\\Device Parameters", "PortName", port);
    r.SetText(RegistryComPortSource::kUsbserKey, std::to_string(index), instance);
    r.SetInt(RegistryComPortSource::kUsbserKey, "Count", index + 1);
}

TEST(ListComRegistry, AnArrivalIsListedAndRescansUsbAQuietRegistryIsNot) {
    SharedRegistry registry;
    registry.Write([](MemoryRegistry& r) { Arrive(r, "USB\\VID_1\\A", "COM3", 0); });
    std::atomic<bool> usbHold{true};
    TListCOM worker(usbHold, std::make_unique<ScanOf>(registry), nullptr, 1, 1);
    ASSERT_TRUE(WaitFor([&] { return !usbHold.load(); }));

    usbHold.store(true);
    const int passes = worker.PassCount();
    ASSERT_TRUE(WaitFor([&] { return worker.PassCount() >= passes + 3; }));
    EXPECT_TRUE(usbHold.load()) << "an unchanged registry asked for a USB rescan";

    registry.Write([](MemoryRegistry& r) { Arrive(r, "USB\\VID_1\\B", "COM4", 1); });
    ASSERT_TRUE(WaitFor([&] { return !usbHold.load(); }));
    TextList names, descs, ids;
    EXPECT_EQ(worker.Copy(names, descs, ids), 2);
    EXPECT_EQ(names, (TextList{"COM3", "COM4"}));
    EXPECT_EQ(descs, (TextList{"USB Serial Port", "USB Serial Port"}));
    EXPECT_EQ(ids, (TextList{"USB\\VID_1\\A", "USB\\VID_1\\B"}));
}

}  // namespace
