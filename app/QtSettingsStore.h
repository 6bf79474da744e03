// The settings store over QSettings: the user's own settings, and optionally read-only ones
// behind them, asked in turn for values the user's lack (older installations stored there).
#pragma once

#include <QSettings>
#include <memory>
#include <vector>

#include "base/SettingsStore.h"

class QtSettingsStore : public SettingsStore {
public:
    explicit QtSettingsStore(std::unique_ptr<QSettings> user,
                             std::vector<std::unique_ptr<QSettings>> older = {});
    // The platform's place: an INI file in the user's configuration folder here, the
    // registry key under the current user (and the machine's, in both registry views) on
    // Windows.
    static std::unique_ptr<QtSettingsStore> OpenDefault();

    bool Exists(const std::string& name) override;
    std::optional<std::int32_t> ReadInt(const std::string& name) override;
    std::optional<std::string> ReadStr(const std::string& name) override;
    bool WriteInt(const std::string& name, std::int32_t value) override;
    bool WriteStr(const std::string& name, const std::string& value) override;

    // Where the user's settings are written, for messages.
    QString Location() const { return user_->fileName(); }

private:
    QSettings* Holder(const std::string& name);
    bool Write(const std::string& name, const QVariant& value);

    std::unique_ptr<QSettings> user_;
    std::vector<std::unique_ptr<QSettings>> older_;
};
