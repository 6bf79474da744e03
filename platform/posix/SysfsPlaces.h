// Where the ports of a Linux system are plugged in, read from sysfs and named as udev names the
// hardware's path (the names in /dev/serial/by-path), so that an FTDI chip reached through D2XX
// is in the same place as its ttyUSB port.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

class SysfsPlaces {
public:
    // The root is the running system's unless a test hands in a tree of its own.
    explicit SysfsPlaces(std::filesystem::path sysfsRoot = "/sys");

    // The place of a serial port from its device (the tty's `device` link, resolved: what the
    // port list gives as the port's device ID). "" for a port on no bus that names a place.
    std::string OfPort(const std::filesystem::path& device) const;
    // The place of the FTDI device at D2XX location `locationId` (see platform/PortPlace.h).
    std::string OfUsbLocation(std::uint32_t locationId, const std::string& serialNumber) const;

private:
    std::string OfUsbDevice(const std::string& name, const std::string& serialNumber) const;
    std::string HardwarePath(const std::filesystem::path& device) const;

    std::filesystem::path sysfsRoot_;
};
