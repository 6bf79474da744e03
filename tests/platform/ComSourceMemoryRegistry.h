// An in-memory registry for the COM port scan: keys by path (case-insensitive, as Windows),
// values in the order they were first written, and a last-write time that every write of a
// key's values moves on. It counts open handles so tests can see that every key was closed.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "platform/RegistryReader.h"

class MemoryRegistry : public RegistryReader {
public:
    struct Binary {};  // a value of a type the scan never expects
    using Value = std::variant<std::uint32_t, std::string, Binary>;

    void SetInt(const std::string& path, const std::string& name, std::uint32_t v) {
        Set(path, name, v);
    }
    void SetText(const std::string& path, const std::string& name, const std::string& v) {
        Set(path, name, v);
    }
    void SetBinary(const std::string& path, const std::string& name) { Set(path, name, Binary{}); }
    void CreateKey(const std::string& path) { Touch(keys_[Fold(path)]); }
    void DeleteValue(const std::string& path, const std::string& name) {
        auto& key = keys_[Fold(path)];
        std::erase_if(key.values, [&](const auto& v) { return v.first == name; });
        Touch(key);
    }
    void DeleteKey(const std::string& path) { keys_.erase(Fold(path)); }
    int OpenHandles() const { return static_cast<int>(open_.size()); }

    bool Open(const std::string& path, Key& key) override {
        auto it = keys_.find(Fold(path));
        if (it == keys_.end()) return false;
        key = ++lastHandle_;
        open_[key] = it->first;
        return true;
    }
    void Close(Key key) override { open_.erase(key); }
    bool LastWriteTime(Key key, std::uint64_t& time) override {
        const KeyData* k = Find(key);
        if (k == nullptr) return false;
        time = k->written;
        return true;
    }
    bool ReadInt(Key key, const std::string& name, std::uint32_t& value) override {
        const Value* v = FindValue(key, name);
        if (v == nullptr || !std::holds_alternative<std::uint32_t>(*v)) return false;
        value = std::get<std::uint32_t>(*v);
        return true;
    }
    bool ReadText(Key key, const std::string& name, std::string& value) override {
        value.clear();
        if (Find(key) == nullptr) return false;
        const Value* v = FindValue(key, name);
        if (v == nullptr) return true;
        if (!std::holds_alternative<std::string>(*v)) return false;
        value = std::get<std::string>(*v);
        return true;
    }
    bool ListTexts(Key key, std::vector<NamedText>& values) override {
        const KeyData* k = Find(key);
        if (k == nullptr) return false;
        for (const auto& [name, v] : k->values) {
            if (!std::holds_alternative<std::string>(v)) return false;
            values.emplace_back(name, std::get<std::string>(v));
        }
        return true;
    }

private:
    struct KeyData {
        std::vector<std::pair<std::string, Value>> values;
        std::uint64_t written = 0;
    };

    static std::string Fold(std::string path) {
        for (char& c : path)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return path;
    }
    void Touch(KeyData& key) { key.written = ++clock_; }
    void Set(const std::string& path, const std::string& name, Value v) {
        auto& key = keys_[Fold(path)];
        auto it = std::find_if(key.values.begin(), key.values.end(),
                               [&](const auto& e) { return e.first == name; });
        if (it == key.values.end())
            key.values.emplace_back(name, std::move(v));
        else
            it->second = std::move(v);
        Touch(key);
    }
    const KeyData* Find(Key key) const {
        auto h = open_.find(key);
        if (h == open_.end()) return nullptr;
        auto it = keys_.find(h->second);
        return it == keys_.end() ? nullptr : &it->second;
    }
    const Value* FindValue(Key key, const std::string& name) const {
        const KeyData* k = Find(key);
        if (k == nullptr) return nullptr;
        for (const auto& [n, v] : k->values)
            if (n == name) return &v;
        return nullptr;
    }

    std::map<std::string, KeyData> keys_;
    std::map<Key, std::string> open_;
    Key lastHandle_ = 0;
    std::uint64_t clock_ = 100;
};
