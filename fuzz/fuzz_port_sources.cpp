// Where the port list's names and texts come from: FTDI's device records, the Windows registry's
// serial enumerators (on an in-memory registry) and a sysfs tree laid out from the input in a
// scratch folder. Whatever those hold, the lists must stay parallel, bounded and readable.
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "FuzzRig.h"
#include "platform/RegistryComPortSource.h"
#include "platform/posix/SysfsPortSource.h"
#include "tests/platform/ComSourceMemoryRegistry.h"
#include "transport/D2xx.h"

namespace fs = std::filesystem;

namespace {

void CheckEntries(const PortEntries& e, std::size_t maxCount, std::size_t maxText) {
    FUZZ_CHECK(e.names.size() == e.descs.size() && e.names.size() == e.ids.size(),
               "lists out of step");
    FUZZ_CHECK(e.places.size() <= e.names.size(), "more places than ports");
    FUZZ_CHECK(e.names.size() <= maxCount, std::to_string(e.names.size()) + " entries");
    for (const TextList* list : {&e.names, &e.descs, &e.ids, &e.places})
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

// The sysfs and udev folders a run lays out, built in memory and then brought onto the disk
// by changing only what differs from the last run's: creating and deleting a whole tree per
// run cost far more than the scan it feeds. The disk ends up as the plain writes would leave
// it: a file written twice holds the last text, a link made twice the first target.
class ScratchTree {
public:
    explicit ScratchTree(fs::path root) : root_(std::move(root)) {
        std::error_code ec;
        fs::remove_all(root_, ec);
        fs::create_directories(root_);
        // Links are made relative to the real folders, as fs::relative would find them.
        root_ = fs::canonical(root_);
    }
    ScratchTree(const ScratchTree&) = delete;
    ScratchTree& operator=(const ScratchTree&) = delete;
    ~ScratchTree() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    const fs::path& Root() const { return root_; }
    void Clear() { wanted_.clear(); }
    // `path` is relative to the root.
    void Folder(const fs::path& path) { Folders(path); }
    void Write(const fs::path& file, const std::string& text) {
        if (!Folders(file.parent_path())) return;
        auto [it, added] = wanted_.try_emplace(file.string(), Node{Kind::File, text});
        if (!added && it->second.kind == Kind::File) it->second.text = text;
    }
    void Link(const fs::path& link, const fs::path& target) {
        if (!Folders(link.parent_path())) return;
        wanted_.try_emplace(link.string(),
                            Node{Kind::Link, target.lexically_relative(link.parent_path())});
    }

    // Deepest first, so a folder is empty when its turn comes; then parents before children.
    void Apply() {
        for (auto it = onDisk_.rbegin(); it != onDisk_.rend(); ++it) {
            const auto w = wanted_.find(it->first);
            if (w != wanted_.end() && w->second == it->second) continue;
            std::error_code ec;
            fs::remove(root_ / it->first, ec);
        }
        for (const auto& [path, node] : wanted_) {
            const auto d = onDisk_.find(path);
            if (d != onDisk_.end() && d->second == node) continue;
            const fs::path full = root_ / path;
            std::error_code ec;
            switch (node.kind) {
                case Kind::Folder:
                    fs::create_directory(full, ec);
                    break;
                case Kind::File:
                    std::ofstream(full, std::ios::binary | std::ios::trunc) << node.text;
                    break;
                case Kind::Link:
                    fs::create_directory_symlink(node.text, full, ec);
                    break;
            }
        }
        onDisk_ = wanted_;
    }

private:
    enum class Kind { Folder, File, Link };
    struct Node {
        Kind kind;
        std::string text;  // a file's content or a link's target
        bool operator==(const Node& o) const { return kind == o.kind && text == o.text; }
    };

    // False when something other than a folder stands in the way, where the plain writes
    // would have failed.
    bool Folders(const fs::path& path) {
        if (path.empty()) return true;
        const auto it = wanted_.find(path.string());
        if (it != wanted_.end()) return it->second.kind == Kind::Folder;
        if (!Folders(path.parent_path())) return false;
        wanted_.emplace(path.string(), Node{Kind::Folder, {}});
        return true;
    }

    fs::path root_;
    std::map<std::string, Node> wanted_;
    std::map<std::string, Node> onDisk_;
};

std::string FileName(fuzz::ByteReader& in) {
    std::string name;
    for (char c : Text(in, 8))
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name.empty() ? "ttyX" : name;
}

// Up to four ports laid out as the kernel does (see the port list's own tests), with names,
// product strings, UART types and udev records from the input.
void CheckSysfs(fuzz::ByteReader& in, ScratchTree& tree) {
    tree.Clear();
    const fs::path sys = "sys";
    const fs::path udev = "udev";
    tree.Folder(sys / "class/tty");
    tree.Folder(udev);
    std::size_t ports = 0;
    for (int n = in.Byte() % 5; n > 0; --n, ++ports) {
        const std::uint8_t kind = in.Byte();
        const std::string tty = FileName(in);
        const std::string dev = std::to_string(in.Byte()) + ":" + std::to_string(ports);
        fs::path device;
        if (kind % 3 == 0) {
            device = sys / "devices/pci0000:00/usb1" / ("1-" + std::to_string(ports));
            if (kind & 8) tree.Write(device / "product", Text(in, 40) + "\n");
            device /= "1-1:1.0";
        } else if (kind % 3 == 1) {
            device = sys / "devices/platform" / ("serial8250." + std::to_string(ports));
        } else {
            device = sys / "devices/virtual/tty";
        }
        if (kind & 16) {
            tree.Link(device / "driver", sys / "bus/usb-serial/drivers" / FileName(in));
            tree.Link(device / "subsystem", sys / "bus/usb-serial");
        }
        const fs::path dir = device / "tty" / tty;
        tree.Write(dir / "dev", dev + "\n");
        tree.Write(dir / "uevent", (kind & 32) ? Text(in, 40) : "DEVNAME=" + tty + "\n");
        if (kind & 64) tree.Write(dir / "type", Text(in, 3) + "\n");
        if (kind % 3 != 2) tree.Link(dir / "device", device);
        tree.Link(sys / "class/tty" / tty, dir);
        if (kind & 128) tree.Write(udev / ("c" + dev), Text(in, 80));
    }
    tree.Apply();
    SysfsPortSource source(tree.Root() / sys, tree.Root() / udev);
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
    static ScratchTree tree(fs::path(fuzz::ScratchDir()) /
                            ("fuzz_sysfs_" + std::to_string(::getpid())));
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
            CheckSysfs(in, tree);
            break;
    }
    return 0;
}
