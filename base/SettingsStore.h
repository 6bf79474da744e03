// Where the user's settings live: an INI file here, the registry on Windows. The store only
// reads and writes named values; what a missing value means is decided above it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual bool Exists(const std::string& name) = 0;
    // None when the value is missing or holds no 32-bit integer.
    virtual std::optional<std::int32_t> ReadInt(const std::string& name) = 0;
    virtual std::optional<std::string> ReadStr(const std::string& name) = 0;
    // False when the value could not be stored (a read-only location, a full disk).
    virtual bool WriteInt(const std::string& name, std::int32_t value) = 0;
    virtual bool WriteStr(const std::string& name, const std::string& value) = 0;
};
