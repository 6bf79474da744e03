// What the window's tests need around the real window: settings in memory that a test can
// look into, a port list the test controls, and a watcher that reads and closes the modal
// boxes the window shows, as a user would.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <map>
#include <memory>
#include <mutex>
#include <variant>

#include "app/TfrmMain.h"
#include "base/SettingsStore.h"
#include "transport/ComPortSource.h"

using SettingsMap = std::map<std::string, std::variant<std::int32_t, std::string>>;

class MemorySettings : public SettingsStore {
public:
    explicit MemorySettings(std::shared_ptr<SettingsMap> values) : v_(std::move(values)) {}
    bool Exists(const std::string& name) override { return v_->count(name) > 0; }
    std::optional<std::int32_t> ReadInt(const std::string& name) override {
        auto it = v_->find(name);
        if (it == v_->end() || !std::holds_alternative<std::int32_t>(it->second)) return {};
        return std::get<std::int32_t>(it->second);
    }
    std::optional<std::string> ReadStr(const std::string& name) override {
        auto it = v_->find(name);
        if (it == v_->end() || !std::holds_alternative<std::string>(it->second)) return {};
        return std::get<std::string>(it->second);
    }
    bool WriteInt(const std::string& name, std::int32_t value) override {
        (*v_)[name] = value;
        return true;
    }
    bool WriteStr(const std::string& name, const std::string& value) override {
        (*v_)[name] = value;
        return true;
    }

private:
    std::shared_ptr<SettingsMap> v_;
};

// The ports the COM worker finds, set by the test from its own thread.
class ScriptedPorts : public ComPortSource {
public:
    struct Shared {
        std::mutex mutex;
        PortEntries entries;
    };
    explicit ScriptedPorts(std::shared_ptr<Shared> shared) : s_(std::move(shared)) {}
    Outcome Pass(PortEntries& entries) override {
        std::lock_guard lock(s_->mutex);
        if (entries == s_->entries) return Outcome::Unchanged;
        entries = s_->entries;
        return Outcome::Rebuilt;
    }

private:
    std::shared_ptr<Shared> s_;
};

// Every modal box that opens is recorded (title and text) and closed with OK.
class BoxWatcher : public QObject {
public:
    struct Box {
        QString title;
        QString text;
    };
    BoxWatcher() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            boxes.push_back({box->windowTitle(), box->text()});
            box->accept();
        });
        timer_.start();
    }
    std::vector<Box> boxes;

private:
    QTimer timer_;
};

inline std::string VersionOf(const std::string& product, const std::string& key) {
    static const std::map<std::string, std::string> kRest = {
        {"InternalName", "Configurator"},         {"FileVersion", "1.7.0.8"},
        {"LegalCopyright", "(C) Test"},           {"CompanyName", "Test Company"},
        {"Comments", "https://www.example.test"}, {"Support", "orders@example.test"}};
    if (key == "ProductName") return product;
    auto it = kRest.find(key);
    return it == kRest.end() ? std::string() : it->second;
}
