#include "platform/posix/SysfsPlaces.h"

#include <algorithm>
#include <cctype>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/PortPlace.h"
#include "platform/posix/SysfsTree.h"

namespace fs = std::filesystem;

namespace {

using platform::sysfs::Below;
using platform::sysfs::FirstLine;

std::string SubsystemOf(const fs::path& dir) {
    std::error_code ec;
    const fs::path bus = fs::canonical(dir / "subsystem", ec);
    return ec ? std::string() : bus.filename().string();
}

// A small decimal number as sysfs writes counts and indexes (" 4": some are padded); -1 for
// anything else.
int NumberIn(std::string text) {
    text.erase(0, text.find_first_not_of(' '));
    if (text.empty() || text.size() > 6 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return -1;
    return std::stoi(text);
}

// Which port of its converter or controller a port is, for a chip or a card that serves
// several on one interface: the USB serial core's port number, or the index in the name of the
// serial core's port device ("serial8250:0.2"), which older kernels do not have.
int PortIndex(const fs::path& device) {
    if (const int number = NumberIn(FirstLine(device / "port_number")); number >= 0) return number;
    if (SubsystemOf(device) != "serial-base") return -1;
    const std::string name = device.filename().string();
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? -1 : NumberIn(name.substr(dot + 1));
}

}  // namespace

SysfsPlaces::SysfsPlaces(fs::path sysfsRoot) : sysfsRoot_(std::move(sysfsRoot)) {}

std::string SysfsPlaces::OfPort(const fs::path& device) const {
    std::string place = HardwarePath(device);
    // udev ends every USB serial port's name with "-port0"; here the suffix is kept only
    // where it tells ports apart.
    if (const int index = PortIndex(device); !place.empty() && index > 0)
        place += "-port" + std::to_string(index);
    return place;
}

std::string SysfsPlaces::OfUsbLocation(std::uint32_t locationId,
                                       const std::string& serialNumber) const {
    const std::vector<unsigned> levels = platform::LocationLevels(locationId);
    // A bus numbered above 15 takes more than one digit: the first split that names a device
    // present is taken.
    unsigned bus = 0;
    for (std::size_t split = 1; split < levels.size(); ++split) {
        bus = bus * 16 + levels[split - 1];
        std::string name = std::to_string(bus) + "-";
        bool valid = bus > 0;
        for (std::size_t i = split; i < levels.size(); ++i) {
            valid = valid && levels[i] != 0;  // hub ports count from 1
            if (i > split) name += '.';
            name += std::to_string(levels[i]);
        }
        std::error_code ec;
        if (valid && fs::is_directory(sysfsRoot_ / "bus/usb/devices" / name, ec))
            return OfUsbDevice(name, serialNumber);
    }
    return {};
}

// The interface the entry stands for: a chip's only one, or the one its channel letter names.
std::string SysfsPlaces::OfUsbDevice(const std::string& name,
                                     const std::string& serialNumber) const {
    const fs::path devices = sysfsRoot_ / "bus/usb/devices";
    int configuration = NumberIn(FirstLine(devices / name / "bConfigurationValue"));
    if (configuration < 0) configuration = 1;
    const int interfaces = NumberIn(FirstLine(devices / name / "bNumInterfaces"));
    const int letter = serialNumber.empty() ? 0 : static_cast<unsigned char>(serialNumber.back());
    const int channel =
        interfaces > 1 && letter >= 'A' && letter < 'A' + interfaces ? letter - 'A' : 0;
    std::error_code ec;
    const fs::path interface = fs::canonical(
        devices / (name + ":" + std::to_string(configuration) + "." + std::to_string(channel)), ec);
    return ec ? std::string() : HardwarePath(interface);
}

// udev's path_id over the device's parents: a USB chain as "usb-0:" and its ports from the
// root hub (":1.0", configuration and interface, at the end), without the bus number, which
// udev leaves out for it may change at boot; a controller on the PCI, platform, ACPI or PnP bus
// as its bus and its name. Of parents on one bus in a row, the nearest names them all.
std::string SysfsPlaces::HardwarePath(const fs::path& device) const {
    std::error_code ec;
    const fs::path devices = fs::canonical(sysfsRoot_ / "devices", ec);
    if (ec) return {};
    std::string path;
    std::string run;  // the bus of the parent named last, while its own parents are on it too
    for (fs::path dir = device; Below(dir, devices); dir = dir.parent_path()) {
        const std::string bus = SubsystemOf(dir);
        if (!run.empty() && bus == run) continue;
        run.clear();
        const std::string name = dir.filename().string();
        std::string part;
        if (bus == "usb" && name.find('-') != std::string::npos)
            part = "usb-0:" + name.substr(name.find('-') + 1);
        else if (bus == "pci" || bus == "platform" || bus == "acpi" || bus == "pnp")
            part = bus + "-" + name;
        else
            continue;
        path = path.empty() ? part : part + "-" + path;
        run = bus;
    }
    return path;
}
