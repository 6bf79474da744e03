// The few read-only registry calls the COM port scan needs, so that the scan itself is portable
// and can be run against an in-memory registry.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Keys are opened read-only under the local machine's hive. A key handle is opaque; every
// handle that Open returned is given back to Close exactly once.
class RegistryReader {
public:
    using Key = std::uintptr_t;
    // A text value: its name and its data, as listed by the registry.
    using NamedText = std::pair<std::string, std::string>;

    virtual ~RegistryReader() = default;
    // False when the key does not exist or cannot be opened for reading.
    virtual bool Open(const std::string& path, Key& key) = 0;
    virtual void Close(Key key) = 0;
    // The key's last-write time as a 64-bit file time; false on failure.
    virtual bool LastWriteTime(Key key, std::uint64_t& time) = 0;
    // False when the value is missing or is not an integer.
    virtual bool ReadInt(Key key, const std::string& name, std::uint32_t& value) = 0;
    // A missing value reads as empty text; false only when it exists but is not text.
    virtual bool ReadText(Key key, const std::string& name, std::string& value) = 0;
    // Every value of the key with its text data, in the registry's order; false when one
    // of them is not text or the listing fails.
    virtual bool ListTexts(Key key, std::vector<NamedText>& values) = 0;
};
