// What the tests read back: a file the program or the simulator wrote, a text it printed.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// The whole file, bytes as they are; empty when it cannot be read.
inline std::string Slurp(const std::filesystem::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}
