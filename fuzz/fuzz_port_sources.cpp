// Where the port list's names and texts come from: FTDI's device records, the Windows registry's
// serial enumerators (on an in-memory registry) and a sysfs tree laid out from the input in a
// scratch folder. Whatever those hold, the lists must stay parallel, bounded and readable.
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "FuzzRig.h"
#include "platform/posix/SysfsPortSource.h"
#include "tests/transport/ComSourceMemoryRegistry.h"
#include "transport/D2xx.h"
#include "transport/RegistryComPortSource.h"

namespace fs = std::filesystem;

namespace {

void CheckEntries(const PortEntries& e, std::size_t maxCount, std::size_t maxText) {
    FUZZ_CHECK(e.names.size() == e.descs.size() && e.names.size() == e.ids.size(),
               "lists out of step");
    FUZZ_CHECK(e.names.size() <= maxCount, std::to_string(e.names.size()) + " entries");
    for (const TextList* list : {&e.names, &e.descs, &e.ids})
        for (const std::string& s : *list)
            FUZZ_CHECK(s.size() <= maxText, "text of " + std::to_string(s.size()) + " bytes");
}

// A record's text fields, read from heap copies of exactly their size, so any read past a
// field's end is caught.
void CheckRecord(fuzz::ByteReader& in) {
    d2xx::FT_DEVICE_LIST_INFO_NODE node{};
    const Bytes raw = in.Take(offsetof(d2xx::FT_DEVICE_LIST_INFO_NODE, ftHandle));
    std::memcpy(&node, raw.data(), raw.size());
    struct Field {
        const char* text;
        std::size_t size;
    };
    for (const Field f : {Field{node.SerialNumber, sizeof node.SerialNumber},
                          Field{node.Description, sizeof node.Description}}) {
        const std::unique_ptr<char[]> copy(new char[f.size]);
        std::memcpy(copy.get(), f.text, f.size);
        const std::string text = d2xx::FieldText(copy.get(), f.size);
        FUZZ_CHECK(text.size() <= f.size, "field text longer than its field");
        FUZZ_CHECK(text.find('\0') == std::string::npos, "field text holds its terminator");
        FUZZ_CHECK(std::memcmp(text.data(), f.text, text.size()) == 0, "field text changed");
        FUZZ_CHECK(text.size() == f.size || f.text[text.size()] == '\0', "field cut early");
    }
    const std::string status = d2xx::StatusText(node.Flags);
    FUZZ_CHECK(!status.empty(), "no status text");
}

std::string Text(fuzz::ByteReader& in, std::size_t max) {
    return in.Take(in.Byte() % (max + 1));
}

// The registry keys the scan reads, filled from the input.
void CheckRegistry(fuzz::ByteReader& in) {
    MemoryRegistry reg;
    std::size_t values = 0;
    std::size_t longest = 0;
    auto text = [&](std::size_t max) {
        std::string t = Text(in, max);
        longest = std::max(longest, t.size());
        return t;
    };
    const std::string enumRoot = RegistryComPortSource::kEnumRoot;
    const std::string instances[] = {"FTDIBUS\\VID_0403+PID_6001+A1\\0000", "ACPI\\PNP0501\\1",
                                     "USB\\VID_2341&PID_0043\\95", ""};
    const int osMajor = in.Byte() % 2 == 0 ? 10 : 4;
    RegistryComPortSource source(reg, osMajor);
    PortEntries entries;
    for (int pass = 0; pass < 3 && !in.Empty(); ++pass) {
        for (int n = in.Byte() % 8; n > 0; --n) {
            const std::uint8_t op = in.Byte();
            const char* enumKey = (op & 0x10) ? RegistryComPortSource::kUsbserKey
                                              : RegistryComPortSource::kSerenumKey;
            std::string instance = instances[(op >> 5) % 4];
            if (instance.empty()) instance = text(40);
            switch (op % 8) {
                case 0:
                    reg.SetInt(enumKey, "Count", in.Byte() % 6);
                    break;
                case 1:
                    reg.SetText(enumKey, std::to_string(in.Byte() % 6), instance);
                    break;
                case 2:
                    reg.SetText(enumRoot + instance, "FriendlyName", text(60));
                    break;
                case 3:
                    reg.SetText(enumRoot + instance + RegistryComPortSource::kDeviceParameters,
                                "PortName", text(12));
                    break;
                case 4:
                    reg.SetText((op & 0x10) ? RegistryComPortSource::kDeviceMapKey
                                            : RegistryComPortSource::kOldDeviceMapKey,
                                text(24), text(12));
                    break;
                case 5:
                    reg.SetBinary(enumKey, std::to_string(in.Byte() % 6));
                    break;
                case 6:
                    reg.DeleteKey(enumRoot + instance);
                    break;
                default:
                    reg.CreateKey(enumKey);
                    break;
            }
            ++values;
        }
        source.Pass(entries);
        FUZZ_CHECK(reg.OpenHandles() == 0, "a key was left open");
        // Each entry comes from one value written: a count of six instances per enumerator,
        // or the device map's values.
        CheckEntries(entries, 12 + values, std::max<std::size_t>(longest, 40));
    }
}

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

void Link(const fs::path& link, const fs::path& target) {
    fs::create_directories(link.parent_path());
    std::error_code ec;
    fs::create_directory_symlink(fs::relative(target, link.parent_path()), link, ec);
}

std::string FileName(fuzz::ByteReader& in) {
    std::string name;
    for (char c : Text(in, 8))
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name.empty() ? "ttyX" : name;
}

// Up to four ports laid out as the kernel does (see the port list's own tests), with names,
// product strings, UART types and udev records from the input.
void CheckSysfs(fuzz::ByteReader& in, const fs::path& root) {
    std::error_code ec;
    fs::remove_all(root, ec);
    const fs::path sys = root / "sys";
    const fs::path udev = root / "udev";
    fs::create_directories(sys / "class/tty");
    fs::create_directories(udev);
    std::size_t ports = 0;
    for (int n = in.Byte() % 5; n > 0; --n, ++ports) {
        const std::uint8_t kind = in.Byte();
        const std::string tty = FileName(in);
        const std::string dev = std::to_string(in.Byte()) + ":" + std::to_string(ports);
        fs::path device;
        if (kind % 3 == 0) {
            device = sys / "devices/pci0000:00/usb1" / ("1-" + std::to_string(ports));
            if (kind & 8) Write(device / "product", Text(in, 40) + "\n");
            device /= "1-1:1.0";
        } else if (kind % 3 == 1) {
            device = sys / "devices/platform" / ("serial8250." + std::to_string(ports));
        } else {
            device = sys / "devices/virtual/tty";
        }
        if (kind & 16) {
            Link(device / "driver", sys / "bus/usb-serial/drivers" / FileName(in));
            Link(device / "subsystem", sys / "bus/usb-serial");
        }
        const fs::path dir = device / "tty" / tty;
        Write(dir / "dev", dev + "\n");
        Write(dir / "uevent", (kind & 32) ? Text(in, 40) : "DEVNAME=" + tty + "\n");
        if (kind & 64) Write(dir / "type", Text(in, 3) + "\n");
        if (kind % 3 != 2) Link(dir / "device", device);
        Link(sys / "class/tty" / tty, dir);
        if (kind & 128) Write(udev / ("c" + dev), Text(in, 80));
    }
    SysfsPortSource source(sys, udev);
    PortEntries entries;
    source.Scan(entries);
    CheckEntries(entries, ports, 4096);
    for (const std::string& name : entries.names) {
        FUZZ_CHECK(name.rfind("/dev/", 0) == 0 && name.size() > 5, "port name " + name);
        for (char c : name)
            FUZZ_CHECK(c != '\0' && c != '\n', "port name " + fuzz::Escaped(name));
    }
    for (const std::string& desc : entries.descs)
        FUZZ_CHECK(desc.find('\n') == std::string::npos, "port text " + fuzz::Escaped(desc));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fs::path root =
        fs::temp_directory_path() / ("fuzz_sysfs_" + std::to_string(::getpid()));
    static const bool cleanup = [] {
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(root, ec);
        });
        return true;
    }();
    (void)cleanup;
    ::unsetenv(SysfsPortSource::kVirtualPortsVar);

    fuzz::ByteReader in(data, size);
    switch (in.Byte() % 3) {
        case 0:
            for (int n = 1 + in.Byte() % 4; n > 0; --n)
                CheckRecord(in);
            break;
        case 1:
            CheckRegistry(in);
            break;
        default:
            CheckSysfs(in, root);
            break;
    }
    return 0;
}
