#include "platform/posix/SysfsPortSource.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/NaturalOrder.h"
#include "platform/posix/SysfsTree.h"

namespace fs = std::filesystem;

namespace {

using platform::NaturalLess;
using platform::sysfs::Below;
using platform::sysfs::DecodeUdev;
using platform::sysfs::FieldOf;
using platform::sysfs::FirstLine;

// A port of the kernel's serial core whose UART type reads 0 (unknown) has no chip behind
// it: the legacy 8250 driver registers such ports for ISA addresses where nothing answered,
// and opening one fails. Drivers outside the serial core (USB serial, CDC ACM) have no
// `type` attribute and always count.
bool HasNoUart(const fs::path& tty) {
    std::error_code ec;
    if (!fs::exists(tty / "type", ec)) return false;
    return FirstLine(tty / "type") == "0";
}

struct SerialPort {
    std::string name;
    std::string description;
    std::string id;
    std::string place;
};

}  // namespace

SysfsPortSource::SysfsPortSource(fs::path sysfsRoot, fs::path udevDataRoot)
    : sysfsRoot_(std::move(sysfsRoot)),
      udevDataRoot_(std::move(udevDataRoot)),
      places_(sysfsRoot_) {}

ComPortSource::Outcome SysfsPortSource::Pass(PortEntries& entries) {
    PortEntries found;
    if (!Scan(found)) return Outcome::Failed;
    if (found == entries) return Outcome::Unchanged;
    entries = std::move(found);
    return Outcome::Rebuilt;
}

bool SysfsPortSource::Scan(PortEntries& found) const {
    if (!AddSerialDevices(found)) return false;
    AddVirtualPorts(found);
    return true;
}

bool SysfsPortSource::AddSerialDevices(PortEntries& found) const {
    const fs::path classDir = sysfsRoot_ / "class" / "tty";
    std::error_code ec;
    if (!fs::exists(classDir, ec)) return true;  // no serial driver loaded: nothing to list
    std::error_code devicesEc;  // without it the walks up find nothing, which is harmless
    const fs::path devices = fs::canonical(sysfsRoot_ / "devices", devicesEc);
    std::vector<SerialPort> ports;
    for (fs::directory_iterator it(classDir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path tty = it->path();
        // Virtual consoles, the console and ptmx have no device behind them.
        std::error_code linkEc;
        const fs::path device = fs::canonical(tty / "device", linkEc);
        if (linkEc || HasNoUart(tty)) continue;
        std::string node = FieldOf(tty / "uevent", "DEVNAME=");
        // A name with a control character in it (a NUL would cut the path the port is opened
        // by) is no device name: the tty's own folder name stands in.
        if (node.empty() || std::any_of(node.begin(), node.end(),
                                        [](unsigned char c) { return c < 0x20 || c == 0x7F; }))
            node = tty.filename().string();
        ports.push_back({"/dev/" + node, Describe(tty, device, devices), device.string(),
                         places_.OfPort(device)});
    }
    if (ec) return false;
    std::sort(ports.begin(), ports.end(),
              [](const SerialPort& a, const SerialPort& b) { return NaturalLess(a.name, b.name); });
    for (auto& p : ports)
        found.Add(std::move(p.name), std::move(p.description), std::move(p.id), std::move(p.place));
    return true;
}

// Listed in the order given; a path that does not exist (yet) is left out. A folder stands
// for the links to terminals in it, in name order, as they come and go: a simulated adapter
// that makes its link there is plugged in, one that removes it unplugged.
void SysfsPortSource::AddVirtualPorts(PortEntries& found) const {
    const char* list = std::getenv(kVirtualPortsVar);
    if (list == nullptr) return;
    auto add = [&found](const std::string& path, std::string place) {
        if (std::find(found.names.begin(), found.names.end(), path) != found.names.end()) return;
        found.Add(path, kVirtualDescription, "", std::move(place));
    };
    std::stringstream paths(list);
    std::string path;
    while (std::getline(paths, path, ':')) {
        std::error_code ec;
        if (path.empty() || !fs::exists(path, ec)) continue;
        if (!fs::is_directory(path, ec)) {
            add(path, path);
            continue;
        }
        std::vector<std::string> links;
        for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code linkEc;
            if (it->is_symlink(linkEc) && fs::is_character_file(it->path(), linkEc))
                links.push_back(it->path().string());
        }
        std::sort(links.begin(), links.end(), NaturalLess);
        for (const std::string& link : links)
            add(link, fs::path(link).filename().string());
    }
}

// What a user recognises: the model as udev knows it, else the USB device's own product
// string, else at least the driver that serves the port.
std::string SysfsPortSource::Describe(const fs::path& tty, const fs::path& device,
                                      const fs::path& devices) const {
    std::string text = UdevModel(tty);
    if (text.empty()) text = UsbProduct(device, devices);
    if (text.empty()) text = DriverName(device, devices);
    return text;
}

std::string SysfsPortSource::UdevModel(const fs::path& tty) const {
    const std::string dev = FirstLine(tty / "dev");
    if (dev.empty()) return {};
    const fs::path data = udevDataRoot_ / ("c" + dev);
    for (const char* key : {"E:ID_MODEL_FROM_DATABASE=", "E:ID_MODEL_ENC=", "E:ID_MODEL="}) {
        const std::string value = DecodeUdev(FieldOf(data, key));
        if (!value.empty()) return value;
    }
    return {};
}

std::string SysfsPortSource::UsbProduct(const fs::path& device, const fs::path& devices) {
    for (fs::path dir = device; Below(dir, devices); dir = dir.parent_path()) {
        std::error_code ec;
        if (fs::exists(dir / "product", ec)) return FirstLine(dir / "product");
    }
    return {};
}

std::string SysfsPortSource::DriverName(const fs::path& device, const fs::path& devices) {
    return platform::sysfs::DriverOf(device, devices).name;
}
