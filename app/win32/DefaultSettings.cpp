// On Windows the settings live in the registry key the configurator has always used. An
// ordinary user cannot write under HKEY_LOCAL_MACHINE, so they are written under the
// current user, and the machine's key still answers for values written by older
// installations.
#include "app/QtSettingsStore.h"

namespace {
const char kKey[] = "\\SOFTWARE\\rimPAX Company ::.";
}

std::unique_ptr<QtSettingsStore> QtSettingsStore::OpenDefault() {
    auto user =
        std::make_unique<QSettings>(QString("HKEY_CURRENT_USER") + kKey, QSettings::NativeFormat);
    auto machine =
        std::make_unique<QSettings>(QString("HKEY_LOCAL_MACHINE") + kKey, QSettings::NativeFormat);
    return std::make_unique<QtSettingsStore>(std::move(user), std::move(machine));
}
