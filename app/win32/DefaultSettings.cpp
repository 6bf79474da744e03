// On Windows the settings live in the registry key the configurator has always used. An
// ordinary user cannot write under HKEY_LOCAL_MACHINE, so they are written under the
// current user, and the machine's key still answers for values written by older
// installations: in the 64-bit view, and in the 32-bit one (WOW6432Node), where a 32-bit
// program's writes under HKEY_LOCAL_MACHINE\SOFTWARE went on 64-bit Windows.
#include "app/QtSettingsStore.h"

namespace {
const char kKey[] = "\\SOFTWARE\\rimPAX Company ::.";
}

std::unique_ptr<QtSettingsStore> QtSettingsStore::OpenDefault() {
    auto user =
        std::make_unique<QSettings>(QString("HKEY_CURRENT_USER") + kKey, QSettings::NativeFormat);
    const QString machine = QString("HKEY_LOCAL_MACHINE") + kKey;
    std::vector<std::unique_ptr<QSettings>> older;
    older.push_back(std::make_unique<QSettings>(machine, QSettings::Registry64Format));
    older.push_back(std::make_unique<QSettings>(machine, QSettings::Registry32Format));
    return std::make_unique<QtSettingsStore>(std::move(user), std::move(older));
}
