#include "app/QtSettingsStore.h"

#include <QFile>

QtSettingsStore::QtSettingsStore(std::unique_ptr<QSettings> user,
                                 std::vector<std::unique_ptr<QSettings>> older)
    : user_(std::move(user)), older_(std::move(older)) {
    // The first write rewrites a file that did not parse, dropping what Qt could not read:
    // the file as it was is kept beside it.
    user_->contains(QString());  // the file is parsed at the first access
    if (user_->status() == QSettings::FormatError && QFile::exists(user_->fileName())) {
        const QString kept = user_->fileName() + ".bad";
        QFile::remove(kept);
        QFile::copy(user_->fileName(), kept);
    }
}

QSettings* QtSettingsStore::Holder(const std::string& name) {
    const QString key = QString::fromStdString(name);
    if (user_->contains(key)) return user_.get();
    for (const auto& older : older_)
        if (older->contains(key)) return older.get();
    return nullptr;
}

bool QtSettingsStore::Exists(const std::string& name) {
    return Holder(name) != nullptr;
}

std::optional<std::int32_t> QtSettingsStore::ReadInt(const std::string& name) {
    QSettings* s = Holder(name);
    if (s == nullptr) return std::nullopt;
    bool ok = false;
    // An INI file holds text: "12" and 12 both count, "x" or 2^40 do not.
    const qlonglong v = s->value(QString::fromStdString(name)).toLongLong(&ok);
    if (!ok || v < INT32_MIN || v > UINT32_MAX) return std::nullopt;
    // A registry DWORD above 2^31 is the same 32 bits as a negative number.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

std::optional<std::string> QtSettingsStore::ReadStr(const std::string& name) {
    QSettings* s = Holder(name);
    if (s == nullptr) return std::nullopt;
    const QVariant v = s->value(QString::fromStdString(name));
    if (!v.canConvert<QString>()) return std::nullopt;
    return v.toString().toStdString();
}

bool QtSettingsStore::WriteInt(const std::string& name, std::int32_t value) {
    return Write(name, QVariant(static_cast<int>(value)));
}

bool QtSettingsStore::WriteStr(const std::string& name, const std::string& value) {
    return Write(name, QVariant(QString::fromStdString(value)));
}

// Written through at once, as each value is set, so a failure is known where it happens;
// the value stays readable from memory for the rest of the run either way.
bool QtSettingsStore::Write(const std::string& name, const QVariant& value) {
    user_->setValue(QString::fromStdString(name), value);
    user_->sync();
    // A format error stays reported from the load on; only access says the write failed.
    return user_->status() != QSettings::AccessError;
}
