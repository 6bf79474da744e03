// The Linux port list on a sysfs and udev tree that the test builds in a temporary folder.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include <unistd.h>

#include "platform/posix/SysfsPlaces.h"
#include "platform/posix/SysfsPortSource.h"

namespace fs = std::filesystem;

namespace {

using Outcome = ComPortSource::Outcome;

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

void Link(const fs::path& link, const fs::path& target) {
    fs::create_directories(link.parent_path());
    fs::create_directory_symlink(fs::relative(target, link.parent_path()), link);
}

// A sysfs tree laid out as the kernel does it: the tty's class entry links to its folder
// under devices/, whose `device` link leads to the hardware and its driver.
class FakeSysfs {
public:
    FakeSysfs()
        : root_(fs::temp_directory_path() /
                ("sysfs-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++))) {
        fs::create_directories(sys() / "class" / "tty");
        fs::create_directories(udev());
    }
    ~FakeSysfs() { fs::remove_all(root_); }

    fs::path sys() const { return root_ / "sys"; }
    fs::path udev() const { return root_ / "udev"; }
    fs::path root() const { return root_; }

    // A USB serial converter: USB device `usb` ("1-2.3": bus 1, port 2, its hub's port 3)
    // with an optional product string; the tty is port `portNumber` of interface `interface`
    // of `interfaces`.
    fs::path AddUsbSerial(const std::string& tty, const std::string& dev, const std::string& usb,
                          const std::string& product, const std::string& driver = "ftdi_sio",
                          int interface = 0, int interfaces = 1, int portNumber = 0) {
        fs::path usbDevice = sys() / "devices/pci0000:00/0000:00:14.0";
        OnBus(usbDevice, "pci");
        usbDevice /= "usb" + usb.substr(0, usb.find('-'));
        OnBus(usbDevice, "usb");
        for (auto at = usb.find('-'); at != std::string::npos;) {  // the hubs on the way
            at = usb.find('.', at + 1);
            OnBus(usbDevice /= usb.substr(0, at), "usb");
        }
        Write(usbDevice / "bConfigurationValue", "1\n");
        Write(usbDevice / "bNumInterfaces",
              (interfaces < 10 ? " " : "") + std::to_string(interfaces) + "\n");
        for (int i = 0; i < interfaces; ++i)
            OnBus(usbDevice / (usb + ":1." + std::to_string(i)), "usb");
        if (!product.empty()) Write(usbDevice / "product", product + "\n");
        const fs::path port = usbDevice / (usb + ":1." + std::to_string(interface)) / tty;
        Driver(port, "usb-serial", driver);
        Write(port / "port_number", std::to_string(portNumber) + "\n");
        AddTty(tty, dev, port);
        return port;
    }
    // A UART of the serial core, behind a controller and a port device of its own as newer
    // kernels have it; type 0 means that no chip answered at its address.
    fs::path AddUart(const std::string& tty, const std::string& dev, const std::string& uartType,
                     const std::string& driver) {
        const fs::path chip = sys() / "devices/platform" / (driver + "." + tty);
        Driver(chip, "platform", driver);
        const fs::path port = chip / (tty + ":0") / (tty + ":0.0");
        Driver(port, "serial-base", "port");
        const fs::path ttyDir = AddTty(tty, dev, port);
        Write(ttyDir / "type", uartType + "\n");
        return port;
    }
    // A virtual console: a class entry with no device behind it.
    void AddConsole(const std::string& tty) {
        const fs::path dir = sys() / "devices/virtual/tty" / tty;
        Write(dir / "dev", "4:1\n");
        Link(sys() / "class/tty" / tty, dir);
    }
    void Remove(const std::string& tty) { fs::remove(sys() / "class/tty" / tty); }
    void SetUdev(const std::string& dev, const std::string& lines) {
        Write(udev() / ("c" + dev), lines);
    }

private:
    fs::path AddTty(const std::string& tty, const std::string& dev, const fs::path& device) {
        const fs::path dir = device / "tty" / tty;
        Write(dir / "dev", dev + "\n");
        Write(dir / "uevent", "MAJOR=" + dev.substr(0, dev.find(':')) + "\nDEVNAME=" + tty + "\n");
        Link(dir / "device", device);
        Link(sys() / "class/tty" / tty, dir);
        return dir;
    }
    // A device on `bus`, also listed in the bus's devices as the kernel lists it.
    void OnBus(const fs::path& device, const std::string& bus) {
        if (fs::is_symlink(device / "subsystem")) return;
        fs::create_directories(sys() / "bus" / bus / "devices");
        fs::create_directories(device);
        Link(device / "subsystem", sys() / "bus" / bus);
        Link(sys() / "bus" / bus / "devices" / device.filename(), device);
    }
    void Driver(const fs::path& device, const std::string& bus, const std::string& driver) {
        const fs::path busDir = sys() / "bus" / bus;
        fs::create_directories(busDir / "drivers" / driver);
        fs::create_directories(device);
        Link(device / "driver", busDir / "drivers" / driver);
        Link(device / "subsystem", busDir);
    }

    static inline int counter_ = 0;
    fs::path root_;
};

class SysfsPorts : public ::testing::Test {
protected:
    void SetUp() override { ::unsetenv(SysfsPortSource::kVirtualPortsVar); }
    void TearDown() override { ::unsetenv(SysfsPortSource::kVirtualPortsVar); }

    FakeSysfs tree;
    SysfsPortSource source{tree.sys(), tree.udev()};
    PortEntries entries;
};

TEST_F(SysfsPorts, ListsSerialHardwareWithWhatAUserRecognises) {
    const fs::path usb0 = tree.AddUsbSerial("ttyUSB0", "188:0", "1-1", "FT232R USB UART");
    tree.SetUdev("188:0",
                 "S:serial/by-id/x\nE:ID_MODEL=FT232R_USB_UART\n"
                 "E:ID_MODEL_FROM_DATABASE=FT232 Serial (UART) IC\n");
    tree.AddUsbSerial("ttyUSB1", "188:1", "1-2", "CP2102 USB to UART Bridge", "cp210x");
    tree.AddUsbSerial("ttyACM0", "166:0", "1-3", "", "cdc_acm");
    tree.SetUdev("166:0", "E:ID_MODEL_ENC=Uno\\x20R3\nE:ID_MODEL=Uno_R3\n");
    tree.AddUsbSerial("ttyUSB2", "188:2", "1-4", "", "pl2303");
    const fs::path s0 = tree.AddUart("ttyS0", "4:64", "4", "serial8250");

    ASSERT_EQ(source.Pass(entries), Outcome::Rebuilt);
    EXPECT_EQ(entries.names, (TextList{"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1",
                                       "/dev/ttyUSB2"}));
    EXPECT_EQ(entries.descs, (TextList{"Uno R3", "serial8250", "FT232 Serial (UART) IC",
                                       "CP2102 USB to UART Bridge", "pl2303"}));
    EXPECT_EQ(entries.ids[1], fs::canonical(s0).string());
    EXPECT_EQ(entries.ids[2], fs::canonical(usb0).string());
}

// A device name with a NUL (or any control character) in it would be opened as a shorter
// path than the one listed: the tty's own name stands in.
TEST_F(SysfsPorts, ADeviceNameWithAControlCharacterIsNotTaken) {
    const fs::path usb0 = tree.AddUsbSerial("ttyUSB0", "188:0", "1-1", "FT232R USB UART");
    std::ofstream(usb0 / "tty/ttyUSB0/uevent", std::ios::binary)
        << std::string("MAJOR=188\nDEVNAME=ttyUSB9\0/x\n", 29);
    ASSERT_EQ(source.Pass(entries), Outcome::Rebuilt);
    EXPECT_EQ(entries.names, (TextList{"/dev/ttyUSB0"}));
}

TEST_F(SysfsPorts, LeavesOutConsolesAndUartsWithNoChipBehindThem) {
    tree.AddConsole("tty0");
    tree.AddConsole("console");
    tree.AddUart("ttyS0", "4:64", "4", "serial8250");
    tree.AddUart("ttyS1", "4:65", "0", "serial8250");
    tree.AddUart("ttyS2", "4:66", "0", "serial8250");
    ASSERT_EQ(source.Pass(entries), Outcome::Rebuilt);
    EXPECT_EQ(entries.names, (TextList{"/dev/ttyS0"}));
}

TEST_F(SysfsPorts, NumberedPortsComeInNumericOrder) {
    for (const char* n : {"10", "2", "1"})
        tree.AddUsbSerial(std::string("ttyUSB") + n, std::string("188:") + n, std::string("1-") + n,
                          "P");
    ASSERT_EQ(source.Pass(entries), Outcome::Rebuilt);
    EXPECT_EQ(entries.names, (TextList{"/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB10"}));
}

TEST_F(SysfsPorts, RebuildsOnlyWhenPortsOrTheirTextsChange) {
    tree.AddUsbSerial("ttyUSB0", "188:0", "1-1", "FT232R USB UART");
    EXPECT_EQ(source.Pass(entries), Outcome::Rebuilt);
    EXPECT_EQ(source.Pass(entries), Outcome::Unchanged);

    tree.AddUsbSerial("ttyUSB1", "188:1", "1-2", "Second");
    EXPECT_EQ(source.Pass(entries), Outcome::Rebuilt);
    EXPECT_EQ(entries.names, (TextList{"/dev/ttyUSB0", "/dev/ttyUSB1"}));
    EXPECT_EQ(source.Pass(entries), Outcome::Unchanged);

    tree.SetUdev("188:1", "E:ID_MODEL=Known_Now\n");  // udev finished naming it
    EXPECT_EQ(source.Pass(entries), Outcome::Rebuilt);
    EXPECT_EQ(entries.descs[1], "Known_Now");

    tree.Remove("ttyUSB0");
    EXPECT_EQ(source.Pass(entries), Outcome::Rebuilt);
    EXPECT_EQ(entries.names, (TextList{"/dev/ttyUSB1"}));
    EXPECT_EQ(source.Pass(entries), Outcome::Unchanged);
}

TEST_F(SysfsPorts, VirtualPortsFollowTheHardwareWhileTheirPathsExist) {
    tree.AddUsbSerial("ttyUSB0", "188:0", "1-1", "FT232R USB UART");
    const fs::path a = tree.root() / "pty-a";
    const fs::path b = tree.root() / "pty-b";
    Write(a, "");
    const std::string list = b.string() + "::" + a.string() + ":" + b.string();
    ::setenv(SysfsPortSource::kVirtualPortsVar, list.c_str(), 1);

    ASSERT_EQ(source.Pass(entries), Outcome::Rebuilt);
    EXPECT_EQ(entries.names, (TextList{"/dev/ttyUSB0", a.string()}));
    EXPECT_EQ(entries.descs[1], "virtual port");
    EXPECT_EQ(entries.ids[1], "");

    Write(b, "");
    ASSERT_EQ(source.Pass(entries), Outcome::Rebuilt);
    EXPECT_EQ(entries.names, (TextList{"/dev/ttyUSB0", b.string(), a.string()}));

    fs::remove(a);
    ASSERT_EQ(source.Pass(entries), Outcome::Rebuilt);
    EXPECT_EQ(entries.names, (TextList{"/dev/ttyUSB0", b.string()}));
    EXPECT_EQ(source.Pass(entries), Outcome::Unchanged);
}

TEST_F(SysfsPorts, ASystemWithoutTtyClassListsOnlyVirtualPorts) {
    fs::remove_all(tree.sys() / "class");
    const fs::path a = tree.root() / "pty-a";
    Write(a, "");
    ::setenv(SysfsPortSource::kVirtualPortsVar, a.c_str(), 1);
    ASSERT_EQ(source.Pass(entries), Outcome::Rebuilt);
    EXPECT_EQ(entries.names, (TextList{a.string()}));
}

// Each port is placed as /dev/serial/by-path names it (without udev's "-port0"), a virtual one
// by its path or its link's name, and an FTDI chip that D2XX lists by location lands in the
// place of its ttyUSB port.
TEST_F(SysfsPorts, PlacesEachPortWhereItIsPluggedIn) {
    const std::string hub = "pci-0000:00:14.0-usb-0:";
    tree.AddUsbSerial("ttyUSB0", "188:0", "1-2.3", "FT232R USB UART");
    tree.AddUsbSerial("ttyUSB1", "188:1", "1-2.4", "", "ftdi_sio", 2, 4);  // channel C of four
    tree.AddUsbSerial("ttyUSB2", "188:2", "1-1", "", "mos7840", 0, 1, 3);  // four on one interface
    tree.AddUart("ttyS0", "4:64", "4", "serial8250");
    const fs::path bench = tree.root() / "bench";
    fs::create_directories(bench);
    fs::create_symlink("/dev/null", bench / "a1");
    const fs::path pty = tree.root() / "pty-a";
    Write(pty, "");
    ::setenv(SysfsPortSource::kVirtualPortsVar, (bench.string() + ":" + pty.string()).c_str(), 1);
    ASSERT_EQ(source.Pass(entries), Outcome::Rebuilt);
    const std::pair<std::string, std::string> ports[] = {
        {"/dev/ttyUSB0", hub + "2.3:1.0"},     {"/dev/ttyUSB1", hub + "2.4:1.2"},
        {"/dev/ttyUSB2", hub + "1:1.0-port3"}, {"/dev/ttyS0", "platform-serial8250.ttyS0"},
        {(bench / "a1").string(), "a1"},       {pty.string(), pty.string()},
    };
    for (const auto& [name, place] : ports)
        EXPECT_EQ(entries.PlaceOf(name), place) << name;

    const SysfsPlaces places(tree.sys());
    const struct {
        std::uint32_t location;
        const char* serial;
        std::string place;
    } located[] = {
        {0x123, "FT01", hub + "2.3:1.0"},   // bus 1, hub port 2, its port 3
        {0x124, "FT02C", hub + "2.4:1.2"},  // the channel's letter picks the interface
        {0x124, "FT02A", hub + "2.4:1.0"},
        {0x125, "FT03", ""},   // nothing plugged in there
        {0x1203, "FT04", ""},  // hub ports count from 1
        {0, "FT05", ""},       // open elsewhere: D2XX gives no location
    };
    for (const auto& d : located)
        EXPECT_EQ(places.OfUsbLocation(d.location, d.serial), d.place) << d.serial;
}

TEST_F(SysfsPorts, AnUnreadableTtyClassFailsThePassAndKeepsTheList) {
    tree.AddUsbSerial("ttyUSB0", "188:0", "1-1", "FT232R USB UART");
    ASSERT_EQ(source.Pass(entries), Outcome::Rebuilt);
    fs::remove_all(tree.sys() / "class" / "tty");
    Write(tree.sys() / "class" / "tty", "not a folder");
    EXPECT_EQ(source.Pass(entries), Outcome::Failed);
    EXPECT_EQ(entries.names, (TextList{"/dev/ttyUSB0"}));
}

}  // namespace
