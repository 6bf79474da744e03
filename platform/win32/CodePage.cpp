// Windows: the system's own code page tables, through UTF-16.
#include "platform/CodePage.h"

#include <windows.h>

namespace platform {

namespace {
constexpr UINT kCp1251 = 1251;
constexpr wchar_t kReplacement = 0xFFFD;
}  // namespace

std::string Cp1251ToUtf8(const std::string& bytes) {
    const int length = static_cast<int>(bytes.size());
    const int wide = MultiByteToWideChar(kCp1251, 0, bytes.data(), length, nullptr, 0);
    if (wide <= 0) return {};
    std::wstring w(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(kCp1251, 0, bytes.data(), length, w.data(), wide);
    // A single-byte code page gives one UTF-16 unit per byte. Windows maps 0x98, which 1251
    // leaves undefined, to a control character; show the replacement like everywhere else.
    if (wide == length)
        for (int i = 0; i < length; ++i)
            if (static_cast<unsigned char>(bytes[static_cast<size_t>(i)]) == 0x98)
                w[static_cast<size_t>(i)] = kReplacement;
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace platform
