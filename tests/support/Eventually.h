// Waiting for something another process or thread does: the test goes on the moment it has
// happened, however slow the machine, and gives up only at a limit that a hang reaches.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "tests/support/TextFiles.h"

inline bool Eventually(const std::function<bool()>& done,
                       std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline bool FileContains(const std::string& path, const std::string& text) {
    return Contains(Slurp(path), text);
}
