#include "control/RegSettings.h"

RegSettings::RegSettings(SettingsStore& store, std::function<void()> onWriteFailed)
    : store_(store), onWriteFailed_(std::move(onWriteFailed)) {}

std::int32_t RegSettings::ReadRegInt(const std::string& name, std::int32_t defaultValue) {
    if (!store_.Exists(name)) WriteRegInt(name, defaultValue);
    // A value that holds no integer (edited by hand, written by something else) reads as
    // the default rather than as garbage.
    return store_.ReadInt(name).value_or(defaultValue);
}

void RegSettings::WriteRegInt(const std::string& name, std::int32_t value) {
    Written(store_.WriteInt(name, value));
}

bool RegSettings::RegValueExists(const std::string& name) {
    return store_.Exists(name);
}

std::string RegSettings::ReadRegStr(const std::string& name, const std::string& defaultValue) {
    if (!store_.Exists(name)) WriteRegStr(name, defaultValue);
    return store_.ReadStr(name).value_or(defaultValue);
}

void RegSettings::WriteRegStr(const std::string& name, const Bytes& value) {
    Written(store_.WriteStr(name, value));
}

void RegSettings::Written(bool ok) {
    if (ok || told_) return;
    told_ = true;
    if (onWriteFailed_) onWriteFailed_();
}
