// The properties of a port's device, read from a sysfs and udev tree built in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/DeviceProperties.h"

namespace fs = std::filesystem;

namespace {

const fs::path root = fs::temp_directory_path() / ("devprops-" + std::to_string(::getpid()));
const fs::path sys = root / "sys";

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

// A device below sysfs's devices folder served by `driver` on `bus`, with a tty if named.
fs::path Device(const std::string& dir, const std::string& bus, const std::string& driver,
                const std::string& tty = "", const std::string& dev = "") {
    const fs::path device = sys / "devices" / dir;
    fs::create_directories(sys / "bus" / bus / "drivers" / driver);
    fs::create_directories(device);
    fs::create_directory_symlink(fs::relative(sys / "bus" / bus / "drivers" / driver, device),
                                 device / "driver");
    fs::create_directory_symlink(fs::relative(sys / "bus" / bus, device), device / "subsystem");
    if (!tty.empty()) Write(device / "tty" / tty / "uevent", "DEVNAME=" + tty + "\n");
    if (!dev.empty()) Write(device / "tty" / tty / "dev", dev + "\n");
    return fs::canonical(device);
}

TEST(DeviceProperties, ListsWhatSysfsAndUdevKnowOfThePortsDevice) {
    const struct Cleanup {
        ~Cleanup() { fs::remove_all(root); }
    } cleanup;
    const fs::path usb = sys / "devices/usb1/1-2";
    for (const auto& [file, text] : {std::pair{"idVendor", "0403"},
                                     {"idProduct", "6001"},
                                     {"product", "FT232R USB UART"},
                                     {"serial", "A50285BI"}})
        Write(usb / file, std::string(text) + "\n");
    const fs::path ftdi =
        Device("usb1/1-2/1-2:1.0/ttyUSB0", "usb-serial", "ftdi_sio", "ttyUSB0", "188:0");
    Write(root / "udev/c188:0",
          "S:serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0\nS:serial/by-id/usb-FTDI-port0\n"
          "E:ID_VENDOR_FROM_DATABASE=Future Technology Devices International\\x2c Ltd\n"
          "E:ID_SERIAL_SHORT=A50285BI\nE:ID_SERIAL=FTDI_A50285BI\nE:ID_PATH=pci-usb-0:2:1.0\n");
    // The serial core's own port device says nothing; its controller's driver does.
    Device("platform/serial8250", "platform", "serial8250");
    const fs::path uart =
        Device("platform/serial8250/serial8250:0/serial8250:0.0", "serial-base", "port", "ttyS0");
    // No uevent, a driver link in a loop, a FIFO for an attribute, a folder for a udev record:
    // it reads what it can, without hanging.
    const fs::path odd = sys / "devices/virtual/odd";
    Write(odd / "tty/ttyX0/dev", "4:99\n");
    Write(odd / "idVendor", "1234\n");
    ASSERT_EQ(::mkfifo((odd / "product").c_str(), 0600), 0);
    fs::create_directory_symlink("driver", odd / "driver");
    fs::create_directories(root / "udev/c4:99");

    using Properties = std::vector<std::pair<std::string, std::string>>;
    const std::pair<fs::path, Properties> cases[] = {
        {ftdi,
         {{"Device node", "/dev/ttyUSB0"},
          {"Driver", "ftdi_sio"},
          {"Bus", "usb-serial"},
          {"Vendor ID", "0403"},
          {"Product ID", "6001"},
          {"Product", "FT232R USB UART"},
          {"Serial number", "A50285BI"},
          {"Vendor name", "Future Technology Devices International, Ltd"},
          {"udev ID", "FTDI_A50285BI"},
          {"udev path", "pci-usb-0:2:1.0"},
          {"By-id link", "/dev/serial/by-id/usb-FTDI-port0"},
          {"Sysfs path", ftdi}}},
        {uart,
         {{"Device node", "/dev/ttyS0"},
          {"Driver", "serial8250"},
          {"Bus", "platform"},
          {"Sysfs path", uart}}},
        {odd,
         {{"Device node", "/dev/ttyX0"},
          {"Vendor ID", "1234"},
          {"Sysfs path", fs::canonical(odd)}}},
        {"", {}},
        {root / "udev", {}},
        {sys / "devices", {}},
        {sys / "devices/gone", {}},
    };
    for (const auto& [id, expected] : cases) {
        Properties got;
        for (const auto& p : platform::ReadDeviceProperties(id.string(), sys, root / "udev"))
            got.emplace_back(p.Name, p.Value);
        EXPECT_EQ(got, expected) << id;
    }
}

}  // namespace
