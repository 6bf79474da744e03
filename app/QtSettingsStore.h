// The settings store over QSettings: the user's own settings, and optionally the machine's
// read-only ones behind them for values the user's lack (older installations stored there).
#pragma once

#include <QSettings>
#include <memory>

#include "base/SettingsStore.h"

class QtSettingsStore : public SettingsStore {
public:
    QtSettingsStore(std::unique_ptr<QSettings> user, std::unique_ptr<QSettings> machine);
    // The platform's place: an INI file in the user's configuration folder here, the
    // registry key under the current user (and the machine's) on Windows.
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
    std::unique_ptr<QSettings> machine_;
};
