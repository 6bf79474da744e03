// Linux has no properties sheet to open: the host lists what sysfs and udev know of the port's
// device, in the order a user looks for it (what to open, who serves it, what it is, where).
#include "platform/DeviceProperties.h"

#include <system_error>
#include <utility>

#include "platform/posix/SysfsTree.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>

namespace fs = std::filesystem;

namespace platform {

namespace {

using sysfs::Below;
using sysfs::DecodeUdev;
using sysfs::FieldOf;
using sysfs::FirstLine;
using sysfs::IsRegularFile;

// Each port device has one tty: in a folder of its own below the device, or, on kernels that
// keep class devices apart, only as a tty class entry linking back to it.
fs::path TtyOf(const fs::path& device, const fs::path& sysfsRoot) {
    std::error_code ec;
    fs::directory_iterator own(device / "tty", ec);
    if (!ec && own != fs::directory_iterator()) return own->path();
    for (fs::directory_iterator it(sysfsRoot / "class" / "tty", ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code linkEc;
        const fs::path target = fs::canonical(it->path() / "device", linkEc);
        if (!linkEc && target == device) return it->path();
    }
    return {};
}

// The USB device the port belongs to: its descriptors sit some levels up, past the interface.
fs::path UsbDeviceOf(const fs::path& device, const fs::path& devices) {
    for (fs::path dir = device; Below(dir, devices); dir = dir.parent_path())
        if (IsRegularFile(dir / "idVendor")) return dir;
    return {};
}

constexpr std::pair<const char*, const char*> kUsbAttributes[] = {
    {"Vendor ID", "idVendor"}, {"Product ID", "idProduct"}, {"Manufacturer", "manufacturer"},
    {"Product", "product"},    {"Serial number", "serial"},
};

// The names from udev's hardware database are often fuller than the device's own strings.
constexpr std::pair<const char*, const char*> kUdevFields[] = {
    {"Vendor name", "E:ID_VENDOR_FROM_DATABASE="},
    {"Model name", "E:ID_MODEL_FROM_DATABASE="},
    {"udev ID", "E:ID_SERIAL="},
    {"udev path", "E:ID_PATH="},
};

}  // namespace

std::vector<DeviceProperty> ReadDeviceProperties(const std::string& deviceId,
                                                 const fs::path& sysfsRoot,
                                                 const fs::path& udevDataRoot) {
    if (deviceId.empty()) return {};
    std::error_code ec;
    const fs::path devices = fs::canonical(sysfsRoot / "devices", ec);
    if (ec) return {};
    const fs::path device = fs::canonical(deviceId, ec);
    if (ec || !Below(device, devices) || !fs::is_directory(device, ec)) return {};

    std::vector<DeviceProperty> properties;
    const auto add = [&properties](const char* name, std::string value) {
        if (!value.empty()) properties.push_back({name, std::move(value)});
    };

    const fs::path tty = TtyOf(device, sysfsRoot);
    if (!tty.empty()) {
        std::string node = FieldOf(tty / "uevent", "DEVNAME=");
        if (node.empty()) node = tty.filename().string();
        add("Device node", "/dev/" + node);
    }
    sysfs::PortDriver driver = sysfs::DriverOf(device, devices);
    add("Driver", std::move(driver.name));
    add("Bus", std::move(driver.bus));
    if (const fs::path usb = UsbDeviceOf(device, devices); !usb.empty())
        for (const auto& [name, file] : kUsbAttributes)
            add(name, FirstLine(usb / file));
    if (const std::string dev = tty.empty() ? "" : FirstLine(tty / "dev"); !dev.empty()) {
        const fs::path data = udevDataRoot / ("c" + dev);
        for (const auto& [name, key] : kUdevFields)
            add(name, DecodeUdev(FieldOf(data, key)));
        // udev records the links it made for the node; by-id is the one that survives replugging.
        const std::string byId = FieldOf(data, "S:serial/by-id/");
        if (!byId.empty()) add("By-id link", "/dev/serial/by-id/" + byId);
    }
    add("Sysfs path", device.string());
    return properties;
}

bool ShowSystemDeviceProperties(void*, const std::string&) {
    return false;
}

std::string SerialPortOfUsbDevice(const std::string& serialNumber,
                                  const std::filesystem::path& sysfsRoot) {
    if (serialNumber.empty()) return {};
    std::error_code ec;
    const fs::path devices = fs::canonical(sysfsRoot / "devices", ec);
    if (ec) return {};
    for (fs::directory_iterator it(sysfsRoot / "class" / "tty", ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code linkEc;
        const fs::path device = fs::canonical(it->path() / "device", linkEc);
        if (linkEc) continue;
        // The USB device is the first folder up the walk with a serial number of its own.
        for (fs::path dir = device; sysfs::Below(dir, devices); dir = dir.parent_path()) {
            if (!sysfs::IsRegularFile(dir / "serial")) continue;
            if (sysfs::FirstLine(dir / "serial") == serialNumber)
                return "/dev/" + it->path().filename().string();
            break;
        }
    }
    return {};
}

std::string OpenFailureAdvice(const std::string& device, std::uint32_t code) {
    if (code != EACCES && code != EPERM) return {};
    // The port's own group where it has one; "dialout" is what Debian gives serial ports.
    struct stat st {};
    std::string name = "dialout";
    if (stat(device.c_str(), &st) == 0) {
        const struct group* g = getgrgid(st.st_gid);
        if (g != nullptr && g->gr_gid != 0) name = g->gr_name;
    }
    return "To use " + device + ", add your user to the group \"" + name + "\" (sudo usermod -aG " +
           name + " $USER), then log out and in again.";
}

}  // namespace platform
