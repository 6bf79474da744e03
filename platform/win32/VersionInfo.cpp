// The strings come from the executable's own version resource (built from the same table),
// looked up in the US English / Windows-1252 string table.
#include "platform/VersionInfo.h"

#include <windows.h>

#include <vector>

namespace platform {

namespace {
// The executable's path in UTF-16, so an install folder outside the ANSI code page or longer
// than MAX_PATH still finds the resource.
std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

const std::vector<char>& VersionBlock() {
    static const std::vector<char> block = [] {
        const std::wstring path = ModulePath();
        DWORD ignored = 0;
        const DWORD size = path.empty() ? 0 : GetFileVersionInfoSizeW(path.c_str(), &ignored);
        std::vector<char> data(size);
        if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, data.data())) data.clear();
        return data;
    }();
    return block;
}

std::string Utf8(const wchar_t* text, int length) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
    return out;
}
}  // namespace

std::string GetVersionValue(const std::string& name) {
    const auto& block = VersionBlock();
    if (block.empty()) return {};
    // Value names are plain ASCII.
    const std::wstring key =
        L"\\StringFileInfo\\040904E4\\" + std::wstring(name.begin(), name.end());
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) ||
        value == nullptr || length == 0)
        return {};
    // The length counts the terminator, when the resource compiler stored one.
    while (length > 0 && value[length - 1] == L'\0')
        --length;
    return Utf8(value, static_cast<int>(length));
}

}  // namespace platform
