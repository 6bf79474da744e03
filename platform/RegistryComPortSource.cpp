#include "platform/RegistryComPortSource.h"

#include <utility>

namespace {

// Gives an opened key back to the registry on every path out of a scan, failures included.
class ScopedKey {
public:
    ScopedKey(RegistryReader& registry, const std::string& path) : registry_(registry) {
        opened_ = registry_.Open(path, key_);
    }
    ~ScopedKey() {
        if (opened_) registry_.Close(key_);
    }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;

    explicit operator bool() const { return opened_; }
    RegistryReader::Key get() const { return key_; }

private:
    RegistryReader& registry_;
    RegistryReader::Key key_ = 0;
    bool opened_ = false;
};

// "Serial Cable (COM5)" with port "COM5" gives "Serial Cable": the friendly name ends in a
// space, the port name in parentheses.
std::string CutPortSuffix(const std::string& friendly, const std::string& port) {
    const auto keep = static_cast<long>(friendly.size()) - static_cast<long>(port.size()) - 3;
    return keep > 0 ? friendly.substr(0, static_cast<std::size_t>(keep)) : std::string();
}

bool AppendDeviceMap(RegistryReader& registry, RegistryReader::Key key, PortEntries& entries) {
    std::vector<RegistryReader::NamedText> values;
    if (!registry.ListTexts(key, values)) return false;
    for (auto& [name, data] : values)
        entries.Add(std::move(data), std::move(name), "");
    return true;
}

}  // namespace

RegistryComPortSource::RegistryComPortSource(RegistryReader& registry, int osMajor)
    : registry_(registry), osMajor_(osMajor) {}

ComPortSource::Outcome RegistryComPortSource::Pass(PortEntries& entries) {
    if (osMajor_ <= 4) return OldSystemPass(entries);

    bool changed = false;
    std::uint32_t serenumCount = 0;
    std::uint32_t usbserCount = 0;
    if (!LookAtEnumerator(kSerenumKey, serenumTime_, changed, serenumCount)) return Fail();
    // A changed serenum key is enough to rescan both; usbser is looked at next time.
    if (!changed && !LookAtEnumerator(kUsbserKey, usbserTime_, changed, usbserCount)) return Fail();

    if (serenumCount == 0 && usbserCount == 0) {
        bool rebuilt = false;
        if (!ReadDeviceMap(changed, entries, rebuilt)) return Fail();
        return rebuilt ? Outcome::Rebuilt : Outcome::Unchanged;
    }
    if (!changed) return Outcome::Unchanged;

    entries.Clear();
    if (!ScanEnumerator(kSerenumKey, entries) || !ScanEnumerator(kUsbserKey, entries))
        return Fail();
    // Freshly arrived devices are still being set up by the system: let them settle.
    return Outcome::RebuiltThenPause;
}

// Old systems only have the device map: it is read once and kept while it lists a port.
ComPortSource::Outcome RegistryComPortSource::OldSystemPass(PortEntries& entries) {
    if (entries.Count() != 0) return Outcome::Unchanged;
    ScopedKey key(registry_, kOldDeviceMapKey);
    if (!key) return Outcome::Unchanged;
    if (!AppendDeviceMap(registry_, key.get(), entries)) return Fail();
    return Outcome::Rebuilt;
}

bool RegistryComPortSource::LookAtEnumerator(const char* path, std::uint64_t& seen, bool& changed,
                                             std::uint32_t& count) {
    ScopedKey key(registry_, path);
    if (!key) return true;
    std::uint64_t time = 0;
    if (!registry_.LastWriteTime(key.get(), time)) return false;
    changed = time != seen;
    seen = time;
    return registry_.ReadInt(key.get(), "Count", count);
}

bool RegistryComPortSource::ReadDeviceMap(bool changed, PortEntries& entries, bool& rebuilt) {
    ScopedKey key(registry_, kDeviceMapKey);
    if (!key) return true;
    std::uint64_t time = 0;
    if (!registry_.LastWriteTime(key.get(), time)) return false;
    const bool written = time != deviceMapTime_;
    deviceMapTime_ = time;
    if (!written && !changed) return true;
    entries.Clear();
    rebuilt = true;
    return AppendDeviceMap(registry_, key.get(), entries);
}

bool RegistryComPortSource::ScanEnumerator(const char* path, PortEntries& entries) {
    ScopedKey key(registry_, path);
    if (!key) return true;
    std::uint32_t count = 0;
    if (!registry_.ReadInt(key.get(), "Count", count)) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string instance;
        if (!registry_.ReadText(key.get(), std::to_string(i), instance)) return false;
        if (!AddInstance(instance, entries)) return false;
    }
    return true;
}

// An instance without its device key or its parameters key is skipped silently.
bool RegistryComPortSource::AddInstance(const std::string& instance, PortEntries& entries) {
    const std::string devicePath = kEnumRoot + instance;
    ScopedKey device(registry_, devicePath);
    if (!device) return true;
    ScopedKey params(registry_, devicePath + kDeviceParameters);
    if (!params) return true;
    std::string port;
    std::string friendly;
    if (!registry_.ReadText(params.get(), "PortName", port)) return false;
    if (!registry_.ReadText(device.get(), "FriendlyName", friendly)) return false;
    entries.Add(port, CutPortSuffix(friendly, port), instance);
    return true;
}

// The lists keep what the failed pass had built. Forgetting the write times makes the next
// pass rebuild them in full, instead of keeping a half-built list until a key changes again.
ComPortSource::Outcome RegistryComPortSource::Fail() {
    serenumTime_ = 0;
    usbserTime_ = 0;
    deviceMapTime_ = 0;
    return Outcome::Failed;
}
