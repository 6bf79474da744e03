// Reading sysfs and udev's database as the port list and the port properties both need it, so
// the two agree on what a port's driver is and how udev's strings read.
#pragma once

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace platform::sysfs {

// Attributes and udev records are regular files; anything else in an odd tree (a FIFO above
// all) could block the open, so it reads as empty.
inline bool IsRegularFile(const std::filesystem::path& file) {
    std::error_code ec;
    return std::filesystem::is_regular_file(file, ec);
}

inline std::string FirstLine(const std::filesystem::path& file) {
    if (!IsRegularFile(file)) return {};
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    return line;
}

// The value of "KEY=value" in a file of such lines (uevent), or of "E:KEY=value" (udev data).
inline std::string FieldOf(const std::filesystem::path& file, const std::string& prefix) {
    if (!IsRegularFile(file)) return {};
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size());
    return {};
}

// udev escapes unsafe bytes of the device's own strings as \xHH.
inline std::string DecodeUdev(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Whether `dir` lies below sysfs's devices folder: the walks up from a port stop there.
inline bool Below(const std::filesystem::path& dir, const std::filesystem::path& devices) {
    const auto rel = dir.lexically_relative(devices);
    return !devices.empty() && !rel.empty() && rel != "." && *rel.begin() != "..";
}

struct PortDriver {
    std::string name;
    std::string bus;
};

// Newer kernels put a serial core "port" device between the tty and the hardware; its
// driver says nothing to a user, so the search goes on to the controller's.
inline PortDriver DriverOf(const std::filesystem::path& device,
                           const std::filesystem::path& devices) {
    namespace fs = std::filesystem;
    for (fs::path dir = device; Below(dir, devices); dir = dir.parent_path()) {
        std::error_code ec;
        const fs::path driver = fs::canonical(dir / "driver", ec);
        if (ec) continue;
        const fs::path bus = fs::canonical(dir / "subsystem", ec);
        if (ec) return {driver.filename().string(), {}};
        if (bus.filename() == "serial-base") continue;
        return {driver.filename().string(), bus.filename().string()};
    }
    return {};
}

}  // namespace platform::sysfs
