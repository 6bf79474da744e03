// configurator-screenshots DIR: drives the window as a user would against the port named in
// CONFIGURATOR_PORTS (the simulated adapter) and writes a picture of each page: the Settings
// page after a search, then the Update, About and Test pages. Runs without a display.
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/ConfiguratorApp.h"
#include "app/TfrmMain.h"
#include "control/AdapterControl.h"

namespace {

// Calls `then` once `done` holds, looking every 20 ms; gives up after `limitMs`.
void When(std::function<bool()> done, std::function<void()> then, int limitMs = 15000) {
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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: configurator-screenshots DIR\n");
        return 2;
    }
    ConfiguratorApp app(argc, argv);
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    TfrmMain window;
    window.show();
    int status = 0;
    // The simulated adapter's port, as the user would pick it from the list.
    const QString port = qEnvironmentVariable("CONFIGURATOR_PORTS").section(':', 0, 0);
    When(
        [&] {
            return window.PortListFilled() &&
                   window.Ui().cbCOM->findText(port, Qt::MatchStartsWith) >= 0;
        },
        [&] {
            QComboBox* list = window.Ui().cbCOM;
            list->setCurrentIndex(list->findText(port, Qt::MatchStartsWith));
            emit list->activated(list->currentIndex());
            window.Ui().btSearch->click();
            When([&] { return !window.Control().Busy(); },
                 [&] {
                     const MainForm& ui = window.Ui();
                     bool ok = Save(window, ui.tsSettings, dir.filePath("settings.png"));
                     ok = Save(window, ui.Update, dir.filePath("update.png")) && ok;
                     ok = Save(window, ui.About, dir.filePath("about.png")) && ok;
                     ok = Save(window, ui.tsTest, dir.filePath("test.png")) && ok;
                     status = ok ? 0 : 1;
                     app.quit();
                 });
        });
    app.exec();
    return status;
}
