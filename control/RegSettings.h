// The window's settings helpers: a read of a missing value first stores its default, so
// every value the window has read exists from then on. A store that cannot be written
// does not stop the window; its owner is told once.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/SettingsStore.h"
#include "control/SettingsWriter.h"

class RegSettings : public SettingsWriter {
public:
    // `onWriteFailed` runs at the first write the store refuses, never again.
    RegSettings(SettingsStore& store, std::function<void()> onWriteFailed);

    std::int32_t ReadRegInt(const std::string& name, std::int32_t defaultValue);
    void WriteRegInt(const std::string& name, std::int32_t value);
    bool RegValueExists(const std::string& name);
    std::string ReadRegStr(const std::string& name, const std::string& defaultValue);
    void WriteRegStr(const std::string& name, const Bytes& value) override;

private:
    void Written(bool ok);

    SettingsStore& store_;
    std::function<void()> onWriteFailed_;
    bool told_ = false;
};
