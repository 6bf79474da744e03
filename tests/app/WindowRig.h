// What the window's tests need around the real window: settings in memory that a test can
// look into, a port list the test controls, and a watcher that reads and closes the modal
// boxes the window shows, as a user would.
#pragma once

#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <map>
#include <memory>
#include <mutex>
#include <variant>

#include "app/TfrmMain.h"
#include "base/SettingsStore.h"
#include "control/AdapterControl.h"
#include "platform/ComPortSource.h"
#include "tests/support/AdapterSimProcess.h"

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

// The one watcher of a test program, started by its main: a box nobody expected is closed
// too (and counted), so it cannot hold a test up. A test clears it before it looks.
inline BoxWatcher& Boxes() {
    static BoxWatcher watcher;
    return watcher;
}

inline std::string VersionOf(const std::string& product, const std::string& key) {
    static const std::map<std::string, std::string> kRest = {
        {"InternalName", "Configurator"},         {"FileVersion", "1.7.0.8"},
        {"LegalCopyright", "(C) Test"},           {"CompanyName", "Test Company"},
        {"Comments", "https://www.example.test"}, {"Support", "orders@example.test"}};
    if (key == "ProductName") return product;
    auto it = kRest.find(key);
    return it == kRest.end() ? std::string() : it->second;
}

// Limits that only a hang reaches, many times what a loaded machine under a sanitizer takes:
// nothing is sampled against them.
inline constexpr int kStartMs = 20000;   // the USB rescan (1.5 s) and the first pass of the workers
inline constexpr int kSearchMs = 30000;  // ten silent probes take about 2.2 s

// The window with its seams in the test's hands: what the user would answer in the open-file
// dialog (`fileToChoose`; empty: cancel), and every address handed to the desktop.
struct Window {
    std::unique_ptr<TfrmMain> w;
    std::shared_ptr<SettingsMap> settings;
    struct Desk {
        std::string fileToChoose;
        std::string kindAsked;
        QStringList opened;
    };
    std::shared_ptr<Desk> desk = std::make_shared<Desk>();
};

inline Window Open(std::shared_ptr<SettingsMap> settings, const std::string& product = "Korvanta",
                   std::unique_ptr<ComPortSource> ports = nullptr) {
    Window made;
    made.settings = settings;
    WindowSeams seams;
    seams.versionValue = [product](const std::string& key) { return VersionOf(product, key); };
    seams.settings = std::make_unique<MemorySettings>(settings);
    seams.comPorts = std::move(ports);
    auto desk = made.desk;
    seams.openUrl = [desk](const QString& url) { desk->opened << url; };
    seams.selectFile = [desk](const std::string& kind, std::string& name) {
        desk->kindAsked = kind;
        if (desk->fileToChoose.empty()) return false;
        name = desk->fileToChoose;
        return true;
    };
    made.w = std::make_unique<TfrmMain>(std::move(seams));
    made.w->show();
    return made;
}

// A simulated adapter, chosen in the window's port list as a user would have left it.
struct Adapter {
    explicit Adapter(std::vector<std::string> options = {}) {
        state = dir.filePath("state.json").toStdString();
        options.insert(options.end(), {"--state-file", state});
        sim = std::make_unique<AdapterSimProcess>(ADAPTER_SIM_PATH, options);
        qputenv("CONFIGURATOR_PORTS", QByteArray::fromStdString(sim->Pty()));
    }
    QJsonObject State() const {
        QFile f(QString::fromStdString(state));
        f.open(QIODevice::ReadOnly);
        return QJsonDocument::fromJson(f.readAll()).object();
    }
    QTemporaryDir dir;
    std::string state;
    std::unique_ptr<AdapterSimProcess> sim;
};

inline std::shared_ptr<SettingsMap> Remembering(const Adapter& a) {
    auto s = std::make_shared<SettingsMap>();
    (*s)["Port"] = a.sim->Pty();
    return s;
}

inline void Search(TfrmMain& w) {
    QTRY_VERIFY_WITH_TIMEOUT(w.PortListFilled(), kStartMs);
    QTest::mouseClick(w.Ui().btSearch, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w.Control().Busy(), kSearchMs);
}
