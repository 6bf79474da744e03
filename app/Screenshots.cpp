// configurator-screenshots DIR: drives the window as a user would against the port named in
// CONFIGURATOR_PORTS (the simulated adapter) and writes a picture of each page: Settings after
// a search, Test after a self-test, About, and Update in the middle of a firmware update; then
// of the window's error box, for a firmware file that is not there. Runs without a display, in
// the language and at the scale factor of its environment.
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/ConfiguratorApp.h"
#include "app/TfrmMain.h"
#include "control/AdapterControl.h"

namespace {

constexpr int kPages = 96;  // of 128 bytes: long enough to be caught half way

// Calls `then` once `done` holds, looking every 20 ms; gives up after `limitMs`.
void When(std::function<bool()> done, std::function<void()> then, int limitMs = 30000) {
    auto* timer = new QTimer;
    auto waited = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [=] {
        *waited += 20;
        if (!done() && *waited < limitMs) return;
        timer->stop();
        timer->deleteLater();
        then();
    });
    timer->start(20);
}

bool Save(TfrmMain& window, QWidget* page, const QString& file) {
    window.Ui().pcOptions->setCurrentWidget(page);
    const bool ok = window.grab().save(file);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(file));
    return ok;
}

QString WriteFirmware(const QTemporaryDir& dir) {
    QByteArray data(80 + kPages * 128, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 31);
    const QString path = dir.filePath("korvanta-1.08.rfw");
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size() ? path : QString();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: configurator-screenshots DIR\n");
        return 2;
    }
    ConfiguratorApp app(argc, argv);
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const QTemporaryDir files;
    WindowSeams seams = WindowSeams::Defaults();
    // What the user picks with "..." at the end: a file that has gone meanwhile.
    seams.selectFile = [](const std::string&, std::string& name) {
        name = "/home/user/firmware/korvanta-1.09.rfw";
        return true;
    };
    TfrmMain window(std::move(seams));
    window.show();
    const MainForm& ui = window.Ui();
    bool ok = true;
    auto idle = [&] { return !window.Control().Busy(); };
    // The simulated adapter's port, as the user would pick it from the list.
    const QString port = qEnvironmentVariable("CONFIGURATOR_PORTS").section(':', 0, 0);
    auto listed = [&] {
        return window.PortListFilled() && ui.cbCOM->findText(port, Qt::MatchStartsWith) >= 0;
    };
    When(listed, [&] {
        ui.cbCOM->setCurrentIndex(ui.cbCOM->findText(port, Qt::MatchStartsWith));
        emit ui.cbCOM->activated(ui.cbCOM->currentIndex());
        ui.btSearch->click();
        When(idle, [&] {
            ok = Save(window, ui.tsSettings, dir.filePath("settings.png")) && ok;
            ui.pcOptions->setCurrentWidget(ui.tsTest);
            ui.btRunTest->click();
            When(idle, [&] {
                ok = Save(window, ui.tsTest, dir.filePath("test.png")) && ok;
                ok = Save(window, ui.About, dir.filePath("about.png")) && ok;
                ui.pcOptions->setCurrentWidget(ui.Update);
                ui.edFW_File->setText(WriteFirmware(files));
                ui.btUpdateRun->click();
                auto halfWay = [&] {
                    return idle() || ui.pbUpdateProgress->value() >= kPages * 2 / 5;
                };
                When(halfWay, [&] {
                    ok = Save(window, ui.Update, dir.filePath("update.png")) && ok;
                    auto box = [] {
                        return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                    };
                    When([&] { return box() != nullptr; },
                         [&] {
                             QMessageBox* shown = box();
                             const QString file = dir.filePath("box.png");
                             const bool saved = shown && shown->grab().save(file);
                             std::printf("%s %s\n", saved ? "wrote" : "could not write",
                                         qPrintable(file));
                             ok = saved && ok;
                             if (shown) shown->accept();
                         });
                    ui.btFW_File->click();
                    app.exit(ok ? 0 : 1);
                });
            });
        });
    });
    return app.exec();
}
