// The COM port list as Windows keeps it: the serial enumerators' device instances, or the
// serial device map when no enumerator reports a device; rebuilt only when a key was written.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ComPortSource.h"
#include "platform/RegistryReader.h"

class RegistryComPortSource : public ComPortSource {
public:
    static constexpr const char* kSerenumKey = "SYSTEM\\CurrentControlSet\\Services\\serenum\\Enum";
    static constexpr const char* kUsbserKey = "SYSTEM\\CurrentControlSet\\Services\\usbser\\Enum";
    static constexpr const char* kDeviceMapKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
    // The old systems' spelling; the registry ignores the case of key names.
    static constexpr const char* kOldDeviceMapKey = "Hardware\\DeviceMap\\SerialComm";
    static constexpr const char* kEnumRoot = "SYSTEM\\CurrentControlSet\\Enum\\";
    static constexpr const char* kDeviceParameters = "\\Device Parameters";

    // `osMajor` is the operating system's major version: 4 and below only know the map.
    RegistryComPortSource(RegistryReader& registry, int osMajor);

    Outcome Pass(PortEntries& entries) override;

private:
    Outcome OldSystemPass(PortEntries& entries);
    bool LookAtEnumerator(const char* path, std::uint64_t& seen, bool& changed,
                          std::uint32_t& count);
    bool ReadDeviceMap(bool changed, PortEntries& entries, bool& rebuilt);
    bool ScanEnumerator(const char* path, PortEntries& entries);
    bool AddInstance(const std::string& instance, PortEntries& entries);
    Outcome Fail();

    RegistryReader& registry_;
    int osMajor_;
    // Last-write times as last seen; zero at first, so the first look counts as a change.
    std::uint64_t serenumTime_ = 0;
    std::uint64_t usbserTime_ = 0;
    std::uint64_t deviceMapTime_ = 0;
};
