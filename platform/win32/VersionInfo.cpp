// The strings come from the executable's own version resource (built from the same table),
// looked up in the US English / Windows-1252 string table.
#include "platform/VersionInfo.h"

#include <windows.h>

#include <vector>

namespace platform {

namespace {
const std::vector<char>& VersionBlock() {
    static const std::vector<char> block = [] {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
        std::vector<char> data(size);
        if (size == 0 || !GetFileVersionInfoA(path, 0, size, data.data())) data.clear();
        return data;
    }();
    return block;
}
}  // namespace

std::string GetVersionValue(const std::string& name) {
    const auto& block = VersionBlock();
    if (block.empty()) return {};
    const std::string key = "\\StringFileInfo\\040904E4\\" + name;
    char* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) ||
        value == nullptr || length == 0)
        return {};
    return std::string(value, length - 1);
}

}  // namespace platform
