// What the port list's Property button shows for a port's device: the system's own properties
// sheet where there is one, else what the system knows of the device, for the host to list.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace platform {

struct DeviceProperty {
    std::string Name;
    std::string Value;
};

// The properties of the device behind a port's device ID, for a dialog of the host's own.
// Empty when the ID names nothing readable (or on a platform that has a sheet of its own).
// The roots are those of the running system unless a test hands in a tree of its own.
std::vector<DeviceProperty> ReadDeviceProperties(
    const std::string& deviceId, const std::filesystem::path& sysfsRoot = "/sys",
    const std::filesystem::path& udevDataRoot = "/run/udev/data");

// The serial port the system's own driver made of the USB device with this serial number
// ("/dev/ttyUSB0"), or empty: a device held that way cannot be opened through D2XX, but the
// port can be used instead.
std::string SerialPortOfUsbDevice(const std::string& serialNumber,
                                  const std::filesystem::path& sysfsRoot = "/sys");

// A plain sentence on what to do when opening the port `device` failed with the system's
// error `code` for lack of permission (its group, and logging in again); empty for any other
// failure.
std::string OpenFailureAdvice(const std::string& device, std::uint32_t code);

// Shows the system's own properties sheet where there is one (Windows) and returns true when
// it did; false elsewhere, so the host shows ReadDeviceProperties in a dialog of its own.
bool ShowSystemDeviceProperties(void* parentWindow, const std::string& deviceId);

}  // namespace platform
