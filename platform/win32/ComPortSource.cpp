// The COM port source on Windows: the registry scan over the real registry, read-only under
// HKEY_LOCAL_MACHINE, for the running system's version.
#include <windows.h>

#include <memory>
#include <vector>

#include "platform/ComPortSource.h"
#include "platform/RegistryComPortSource.h"
#include "platform/RegistryReader.h"

namespace {

HKEY AsHkey(RegistryReader::Key key) {
    return reinterpret_cast<HKEY>(key);
}

class Win32Registry : public RegistryReader {
public:
    bool Open(const std::string& path, Key& key) override {
        HKEY opened = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
            return false;
        key = reinterpret_cast<Key>(opened);
        return true;
    }

    void Close(Key key) override { RegCloseKey(AsHkey(key)); }

    bool LastWriteTime(Key key, std::uint64_t& time) override {
        FILETIME written{};
        if (RegQueryInfoKeyA(AsHkey(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, &written) != ERROR_SUCCESS)
            return false;
        time = (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
        return true;
    }

    bool ReadInt(Key key, const std::string& name, std::uint32_t& value) override {
        DWORD type = 0;
        DWORD data = 0;
        DWORD size = sizeof data;
        if (RegQueryValueExA(AsHkey(key), name.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS)
            return false;
        if (type != REG_DWORD || size != sizeof data) return false;
        value = data;
        return true;
    }

    bool ReadText(Key key, const std::string& name, std::string& value) override {
        value.clear();
        DWORD type = 0;
        DWORD size = 0;
        LONG rc = RegQueryValueExA(AsHkey(key), name.c_str(), nullptr, &type, nullptr, &size);
        if (rc == ERROR_FILE_NOT_FOUND) return true;
        if (rc != ERROR_SUCCESS || !IsText(type)) return false;
        std::vector<char> data(size + 1, '\0');
        rc = RegQueryValueExA(AsHkey(key), name.c_str(), nullptr, &type,
                              reinterpret_cast<BYTE*>(data.data()), &size);
        if (rc != ERROR_SUCCESS || !IsText(type)) return false;
        value = TextOf(data.data(), size);
        return true;
    }

    bool ListTexts(Key key, std::vector<NamedText>& values) override {
        DWORD nameMax = 0;
        DWORD dataMax = 0;
        if (RegQueryInfoKeyA(AsHkey(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, &nameMax, &dataMax, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        std::vector<char> name(nameMax + 2, '\0');
        std::vector<char> data(dataMax + 2, '\0');
        // Until the registry says there are no more: a port that goes away between the size
        // query and the listing shortens the list instead of failing the pass.
        for (DWORD i = 0;; ++i) {
            DWORD nameLen = static_cast<DWORD>(name.size());
            DWORD dataLen = static_cast<DWORD>(data.size());
            DWORD type = 0;
            const LONG rc = RegEnumValueA(AsHkey(key), i, name.data(), &nameLen, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data.data()), &dataLen);
            if (rc == ERROR_NO_MORE_ITEMS) return true;
            if (rc != ERROR_SUCCESS || !IsText(type)) return false;
            values.emplace_back(std::string(name.data(), nameLen), TextOf(data.data(), dataLen));
        }
    }

private:
    static bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }
    // Registry text may or may not carry its terminator inside the reported size.
    static std::string TextOf(const char* data, DWORD size) {
        std::string text(data, size);
        const auto end = text.find('\0');
        if (end != std::string::npos) text.resize(end);
        return text;
    }
};

// Owns its registry adapter, so the factory hands out one self-contained source.
class Win32ComPortSource : public ComPortSource {
public:
    Win32ComPortSource() : scan_(registry_, LOBYTE(LOWORD(GetVersion()))) {}
    Outcome Pass(PortEntries& entries) override { return scan_.Pass(entries); }

private:
    Win32Registry registry_;
    RegistryComPortSource scan_;
};

}  // namespace

std::unique_ptr<ComPortSource> MakePlatformComPortSource() {
    return std::make_unique<Win32ComPortSource>();
}
