// Here the settings are an INI file in the user's configuration folder ($XDG_CONFIG_HOME,
// usually ~/.config); there is no machine-wide copy to fall back on.
#include <QStandardPaths>

#include "app/QtSettingsStore.h"

std::unique_ptr<QtSettingsStore> QtSettingsStore::OpenDefault() {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    auto user = std::make_unique<QSettings>(dir + "/korvanta-configurator/settings.ini",
                                            QSettings::IniFormat);
    return std::make_unique<QtSettingsStore>(std::move(user));
}
