// What the rig does alike everywhere; UsbRigPosix.cpp and UsbRigWin32.cpp hold the rest.
#include "tests/transport/usb/UsbRig.h"

#include <chrono>
#include <fstream>
#include <thread>

namespace usbrig {

bool WaitFor(const std::function<bool()>& pred, int limitMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end) return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::vector<std::string> CallLog::Lines() const {
    std::vector<std::string> lines;
    std::ifstream in(path_);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> CallLog::Matching(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& line : Lines())
        if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
    return found;
}

}  // namespace usbrig
