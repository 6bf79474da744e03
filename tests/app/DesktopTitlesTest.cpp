// The titles of the window, its message boxes and its file dialog as the desktop shows them:
// read back from the X server (_NET_WM_NAME) of a private Xvfb, as a window manager reads
// them. On its way there Qt may add to a title, which the widgets' windowTitle() never shows.
#include <QFileDialog>
#include <QWindow>
#include <QtTest>

#include "app/ConfiguratorApp.h"
#include "tests/app/WindowRig.h"
#include "tests/support/ChildProcess.h"

namespace {

// A display of the test's own, so that it neither disturbs nor depends on the user's.
class PrivateDisplay {
public:
    PrivateDisplay()
        : server_({XVFB_PATH, "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
                  Options()) {
        std::string number;
        if (server_.ReadLine(number)) qputenv("DISPLAY", QByteArray::fromStdString(":" + number));
    }

private:
    static ChildProcess::Options Options() {
        ChildProcess::Options o;
        o.err = ChildProcess::kDiscard;
        o.stopSignal = SIGTERM;
        return o;
    }
    ChildProcess server_;
};

QString NetWmName(WId window) {
    const auto r = ChildProcess::Run({XPROP_PATH, "-id", std::to_string(window), "_NET_WM_NAME"});
    // _NET_WM_NAME(UTF8_STRING) = "the title"
    const QString line = QString::fromStdString(r.out).trimmed();
    const auto open = line.indexOf('"');
    if (open < 0 || !line.endsWith('"')) return "(no title: " + line + ")";
    return line.mid(open + 1, line.size() - open - 2).replace("\\\"", "\"");
}

// Each modal window that opens (a message box, the file dialog) is read as the desktop shows
// it once it is on the screen, then closed as a user would close it.
class ModalTitles : public QObject {
public:
    ModalTitles() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || !dialog->windowHandle() ||
                !dialog->windowHandle()->isExposed())
                return;
            titles << NetWmName(dialog->winId());
            dialog->reject();
        });
        timer_.start();
    }
    QStringList titles;

private:
    QTimer timer_;
};

}  // namespace

class DesktopTitlesTest : public QObject {
    Q_OBJECT

private slots:
    void titlesAreTheProgramsOwn();
};

void DesktopTitlesTest::titlesAreTheProgramsOwn() {
    const QString title = "Korvanta Configurator Version 1.7.0.8";
    ModalTitles modal;

    // A port that cannot be opened, and the real open-file dialog.
    auto shared = std::make_shared<ScriptedPorts::Shared>();
    shared->entries.Add("/dev/ttyMISSING0", "gone", "");
    WindowSeams seams;
    seams.versionValue = [](const std::string& key) { return VersionOf("Korvanta", key); };
    seams.settings = std::make_unique<MemorySettings>(std::make_shared<SettingsMap>());
    seams.comPorts = std::make_unique<ScriptedPorts>(shared);
    TfrmMain plain(std::move(seams));
    plain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plain));
    QCOMPARE(NetWmName(plain.winId()), title);
    plain.Ui().pcOptions->setCurrentWidget(plain.Ui().Update);
    QTest::mouseClick(plain.Ui().btFW_File, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(plain.PortListFilled(), kStartMs);
    QTest::mouseClick(plain.Ui().btSearch, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!plain.Control().Busy(), kSearchMs);
    plain.close();

    // The window's own error box, for a file that is not there.
    Window win = Open(std::make_shared<SettingsMap>());
    win.desk->fileToChoose = "/nowhere/new.rfw";
    QTest::mouseClick(win.w->Ui().btFW_File, Qt::LeftButton);

    QCOMPARE(modal.titles,
             QStringList({"Open", "Open Port(/dev/ttyMISSING0) Error...", title + " - Error..."}));
}

int main(int argc, char** argv) {
    PrivateDisplay display;
    qputenv("QT_QPA_PLATFORM", "xcb");
    // Qt's own dialogs, not a desktop's, whatever desktop the machine has.
    qputenv("QT_QPA_PLATFORMTHEME", "");
    ConfiguratorApp app(argc, argv);
    // The texts as the program's own, whatever the machine's language.
    app.UseLanguage(QLocale(QLocale::English));
    DesktopTitlesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "DesktopTitlesTest.moc"
