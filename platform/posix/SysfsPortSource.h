// The serial ports of a Linux system as the kernel lists them in sysfs, described from udev's
// data, plus the virtual ports (ptys, the simulator) named in CONFIGURATOR_PORTS.
#pragma once

#include <filesystem>
#include <string>

#include "platform/ComPortSource.h"
#include "platform/posix/SysfsPlaces.h"

class SysfsPortSource : public ComPortSource {
public:
    static constexpr const char* kVirtualPortsVar = "CONFIGURATOR_PORTS";
    static constexpr const char* kVirtualDescription = "virtual port";

    // The roots are those of the running system unless a test hands in a tree of its own.
    explicit SysfsPortSource(std::filesystem::path sysfsRoot = "/sys",
                             std::filesystem::path udevDataRoot = "/run/udev/data");

    // Rebuilds the lists only when a port came or went or its texts changed.
    Outcome Pass(PortEntries& entries) override;
    // The ports present now, each with its place; false when sysfs could not be read. A
    // virtual port's place is its path, or its link's name when a folder lists it (the link
    // stands for a slot, whichever terminal it leads to).
    bool Scan(PortEntries& found) const;

private:
    bool AddSerialDevices(PortEntries& found) const;
    void AddVirtualPorts(PortEntries& found) const;
    // `devices` is sysfs's devices folder, where the walks up from a port end.
    std::string Describe(const std::filesystem::path& tty, const std::filesystem::path& device,
                         const std::filesystem::path& devices) const;
    std::string UdevModel(const std::filesystem::path& tty) const;
    static std::string UsbProduct(const std::filesystem::path& device,
                                  const std::filesystem::path& devices);
    static std::string DriverName(const std::filesystem::path& device,
                                  const std::filesystem::path& devices);

    std::filesystem::path sysfsRoot_;
    std::filesystem::path udevDataRoot_;
    SysfsPlaces places_;
};
