// The Update, Test and About pages of the real window, offscreen, against the simulated
// adapter: Run's rule, an upload written byte for byte, Stop, a refused mode file, the
// self-test log as it grows, the clipboard, and the About page's links.
#include <QClipboard>
#include <QEnterEvent>
#include <QLocalServer>
#include <QMimeData>
#include <QtTest>
#include <atomic>
#include <cstring>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "app/ConfiguratorApp.h"
#include "app/FileFilter.h"
#include "app/FileHandOff.h"
#include "app/OrderMail.h"
#include "tests/app/WindowRig.h"
#include "transport/TSerDev.h"

namespace {

constexpr int kPage = 128;
constexpr int kUpdateMs = 20000;

std::string WriteFile(const QTemporaryDir& dir, const char* name, const QByteArray& content) {
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(content);
    return path.toStdString();
}

QByteArray Firmware(int pages, int tail) {
    QByteArray data(80 + pages * kPage + tail, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return data;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A check box or radio button clicked on its box, where a user clicks.
void Tick(QAbstractButton* box) {
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(7, box->height() / 2));
}

void Choose(Window& win, const std::string& file) {
    win.desk->fileToChoose = file;
    QTest::mouseClick(win.w->Ui().btFW_File, Qt::LeftButton);
}

}  // namespace

class PagesTest : public QObject {
    Q_OBJECT

private slots:
    void runFollowsSearchFileAndDoNotSearch();
    void uploadWithoutSearchWaitsThenWritesTheWholeImage();
    void stopDuringThePages();
    void noStopWhileTheUpdateIsStarting();
    void shortModeFileIsRefusedAndNothingSent();
    void filesFromTheDesktop();
    void aFileOpenedAgainGoesToTheRunningWindow();
    void selfTestLogGrowsAndCopiesWithCrLf();
    void aboutLinksHoverAndOpen();
};

void PagesTest::runFollowsSearchFileAndDoNotSearch() {
    QTemporaryDir dir;
    Adapter adapter;
    Window win = Open(Remembering(adapter));
    const MainForm& ui = win.w->Ui();
    const std::string firmware = WriteFile(dir, "new.rfw", Firmware(2, 0));
    Choose(win, firmware);
    QCOMPARE(win.desk->kindAsked, std::string("RFW"));
    QCOMPARE(ui.edFW_File->text().toStdString(), firmware);
    QVERIFY(!ui.btUpdateRun->isEnabled());  // no adapter identified yet
    Tick(ui.rbUploadFW);
    Tick(ui.ckbNotSearch);
    QVERIFY(ui.btUpdateRun->isEnabled());
    Tick(ui.ckbNotSearch);
    QVERIFY(!ui.btUpdateRun->isEnabled());

    Search(*win.w);
    QVERIFY(ui.btUpdateRun->isEnabled());
    // Repair stays chosen, without "Do not Search", and asks for a change-mode file.
    Tick(ui.rbAddMode);
    QVERIFY(ui.rbAddMode->isChecked() && !ui.ckbNotSearch->isEnabled());
    QVERIFY(ui.btUpdateRun->isEnabled());
    BoxWatcher& boxes = Boxes();
    boxes.boxes.clear();
    const std::string missing = dir.filePath("missing.rcm").toStdString();
    Choose(win, missing);
    QCOMPARE(win.desk->kindAsked, std::string("RCM"));
    QCOMPARE(boxes.boxes.size(), std::size_t(1));
    QCOMPARE(boxes.boxes[0].text.toStdString(), "Firware file \"" + missing + "\" is not found.");
    QCOMPARE(ui.edFW_File->text().toStdString(), firmware);  // a missing file is not taken
    QCOMPARE(FileFilterFor("rcm")[0].name + " " + FileFilterFor("rcm")[0].pattern,
             std::string("RCM-files *.rcm"));
}

void PagesTest::uploadWithoutSearchWaitsThenWritesTheWholeImage() {
    QTemporaryDir dir;
    const QString image = dir.filePath("image.bin");
    // The boot loader keeps its prompt back until the test has seen the run waiting for it.
    Adapter adapter({"--start-in-bootloader", "--wait-prompt", "--hold", "prompt", "--image",
                     image.toStdString()});
    Window win = Open(Remembering(adapter));
    const MainForm& ui = win.w->Ui();
    const QByteArray data = Firmware(10, 17);
    QTRY_VERIFY_WITH_TIMEOUT(win.w->PortListFilled(), kStartMs);
    Choose(win, WriteFile(dir, "new.rfw", data));
    Tick(ui.rbUploadFW);
    Tick(ui.ckbNotSearch);
    QVERIFY(ui.ckbWait->isChecked());
    QTest::mouseClick(ui.btUpdateRun, Qt::LeftButton);
    // Waiting for the boot loader's prompt, the run can already be stopped.
    QTRY_VERIFY_WITH_TIMEOUT(
        ui.edUpdateSatus->text() == "Waiting Connection..." && ui.btUpdateRun->isEnabled(),
        kUpdateMs);
    QCOMPARE(ui.btUpdateRun->text(), QString("Stop"));
    adapter.sim->Release();
    QTRY_VERIFY_WITH_TIMEOUT(!win.w->Control().Busy(), kUpdateMs);
    QCOMPARE(ui.edUpdateSatus->text(), QString("Updating firmware : Ok"));
    QVERIFY(ReadAll(image) == data.mid(80, 10 * kPage));
    // The 17 bytes after the last whole page never went out, and the user is told.
    QCOMPARE(ui.memUpdate->toPlainText(),
             QString("17 bytes at the end of the file were not written: they do not fill a "
                     "page of 128 bytes."));
    QCOMPARE(ui.pbUpdateProgress->maximum(), 10);
    QCOMPARE(ui.pbUpdateProgress->value(), 10);
    QCOMPARE(ui.btUpdateRun->text(), QString("Run"));
    QVERIFY(ui.btUpdateRun->hasFocus());
}

void PagesTest::stopDuringThePages() {
    QTemporaryDir dir;
    // The boot loader asks for page 4 only once released: the run sits after page 3.
    Adapter adapter({"--start-in-bootloader", "--hold", "page:4"});
    Window win = Open(Remembering(adapter));
    const MainForm& ui = win.w->Ui();
    QTRY_VERIFY_WITH_TIMEOUT(win.w->PortListFilled(), kStartMs);
    Choose(win, WriteFile(dir, "new.rfw", Firmware(40, 0)));
    Tick(ui.rbUploadFW);
    Tick(ui.ckbNotSearch);
    Tick(ui.ckbWait);  // greet at once
    // Pressed twice, as a double click does, the second before the operation's first step:
    // it must not take away the Stop that the running engine needs.
    QTest::mouseClick(ui.btUpdateRun, Qt::LeftButton);
    QTest::mouseClick(ui.btUpdateRun, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(ui.edUpdateSatus->text(), QString("Writing Page #3 : Ok"), kUpdateMs);
    QCOMPARE(ui.btUpdateRun->text(), QString("Stop"));
    QTest::mouseClick(ui.btUpdateRun, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!win.w->Control().Busy(), kUpdateMs);
    QCOMPARE(ui.edUpdateSatus->text(), QString("Firmware Update canceled..."));
    QVERIFY(!win.w->Device().Opened);
    QCOMPARE(ui.btUpdateRun->text(), QString("Run"));
    QVERIFY(ui.btUpdateRun->isEnabled());  // "Do not Search" and a file: Run again
    QCOMPARE(ui.pbUpdateProgress->value(), 3);
}

// Until the engine runs there is nothing for Stop to cancel: the page's own controls must
// not bring the button back meanwhile.
void PagesTest::noStopWhileTheUpdateIsStarting() {
    QTemporaryDir dir;
    Adapter adapter({"--silent", "U"});
    Window win = Open(Remembering(adapter));
    const MainForm& ui = win.w->Ui();
    Search(*win.w);
    Choose(win, WriteFile(dir, "new.rfw", Firmware(2, 0)));
    Tick(ui.rbUploadFW);
    QTest::mouseClick(ui.btUpdateRun, Qt::LeftButton);
    QVERIFY(win.w->Control().Busy());
    Tick(ui.ckbNotSearch);
    Tick(ui.ckbWait);
    Tick(ui.rbUploadFW);
    QCOMPARE(ui.btUpdateRun->text(), QString("Stop"));
    QVERIFY(!ui.btUpdateRun->isEnabled());
    // The adapter never answers "U": the operation ends with its box, and Run is back.
    QTRY_VERIFY_WITH_TIMEOUT(!win.w->Control().Busy(), kSearchMs);
    QCOMPARE(ui.btUpdateRun->text(), QString("Run"));
    QVERIFY(ui.btUpdateRun->isEnabled());
}

void PagesTest::shortModeFileIsRefusedAndNothingSent() {
    QTemporaryDir dir;
    const QString stored = dir.filePath("stored.rcm");
    Adapter adapter({"--mode-file", stored.toStdString()});
    Window win = Open(Remembering(adapter));
    const MainForm& ui = win.w->Ui();
    Search(*win.w);
    Tick(ui.rbAddMode);
    const std::string file = WriteFile(dir, "short.rcm", QByteArray(79, 'm'));
    Choose(win, file);
    BoxWatcher& boxes = Boxes();
    boxes.boxes.clear();
    QTest::mouseClick(ui.btUpdateRun, Qt::LeftButton);
    QTRY_COMPARE(boxes.boxes.size(), std::size_t(1));
    QCOMPARE(boxes.boxes[0].text,
             QString::fromStdString("Change Mode file \"" + file + "\"corrupted."));
    QVERIFY(!win.w->Control().Busy());
    QCOMPARE(ui.btUpdateRun->text(), QString("Run"));
    // An 80-byte file goes to the adapter whole.
    const QByteArray good(80, 'g');
    Choose(win, WriteFile(dir, "good.rcm", good));
    QTest::mouseClick(ui.btUpdateRun, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!win.w->Control().Busy(), kSearchMs);
    QCOMPARE(ReadAll(stored), good);
    QCOMPARE(boxes.boxes.size(), std::size_t(1));
}

// A file handed over by the desktop, named (a double click in a file manager) or dropped:
// the Update page opens with it chosen and its kind's option selected. A file of another kind,
// or one that is not there, is refused with a box, and the page keeps what it had.
void PagesTest::filesFromTheDesktop() {
    QTemporaryDir dir;
    Window win = Open(std::make_shared<SettingsMap>());
    const MainForm& ui = win.w->Ui();
    BoxWatcher& boxes = Boxes();
    boxes.boxes.clear();
    const std::string firmware = WriteFile(dir, "new.RFW", Firmware(2, 0));
    const std::string mode = WriteFile(dir, "mode.rcm", QByteArray(80, 'm'));
    const std::string notes = WriteFile(dir, "notes.txt", "notes");
    const std::string missing = dir.filePath("gone.rfw").toStdString();

    win.w->OpenFile(QString::fromStdString(firmware));
    QCOMPARE(ui.pcOptions->currentWidget(), ui.Update);
    QVERIFY(ui.rbUploadFW->isChecked() && ui.ckbNotSearch->isEnabled());
    QCOMPARE(ui.edFW_File->text().toStdString(), firmware);

    auto drop = [&](const std::string& file) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file))});
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(win.w.get(), &enter);
        QDropEvent dropped(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(win.w.get(), &dropped);
        return enter.isAccepted() && dropped.isAccepted();
    };
    ui.pcOptions->setCurrentWidget(ui.tsSettings);
    QVERIFY(drop(mode));
    QTRY_VERIFY(ui.rbAddMode->isChecked());
    QVERIFY(!ui.ckbNotSearch->isEnabled());
    QCOMPARE(ui.edFW_File->text().toStdString(), mode);
    QCOMPARE(ui.pcOptions->currentWidget(), ui.Update);

    QVERIFY(drop(notes));
    QTRY_COMPARE(boxes.boxes.size(), std::size_t(1));
    win.w->OpenFile(QString::fromStdString(missing));
    QCOMPARE(boxes.boxes.size(), std::size_t(2));
    QCOMPARE(
        boxes.boxes[0].text.toStdString(),
        "File \"" + notes + "\" is neither a firmware file (.rfw) nor a change-mode file (.rcm).");
    QCOMPARE(boxes.boxes[1].text.toStdString(), "Firware file \"" + missing + "\" is not found.");
    QCOMPARE(boxes.boxes[1].title, QString("Korvanta Configurator Version 1.7.0.8 - Error..."));
    QVERIFY(ui.rbAddMode->isChecked());
    QCOMPARE(ui.edFW_File->text().toStdString(), mode);
}

// A file opened from the desktop while the window runs comes to it, and the start that named
// it ends once the window has it. A socket left by a window that died is taken over; a start
// that finds nobody, or a window that does not answer within the limit, opens its own window.
void PagesTest::aFileOpenedAgainGoesToTheRunningWindow() {
    QTemporaryDir dir;
    const QString name = dir.filePath("window");
    const std::string firmware = WriteFile(dir, "next.rfw", Firmware(2, 0));
    {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un at{};
        at.sun_family = AF_UNIX;
        const QByteArray path = name.toLocal8Bit();
        std::memcpy(at.sun_path, path.constData(), path.size());
        QCOMPARE(bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
        close(fd);  // the socket stays, with nobody behind it
    }
    QVERIFY(!FileHandOff::HandOver(name, "/elsewhere/any.rfw"));

    Window win = Open(std::make_shared<SettingsMap>());
    const MainForm& ui = win.w->Ui();
    QVERIFY(win.w->ListenForFiles(name));
    FileHandOff second;
    QVERIFY(!second.Listen(name, [](const QString&) {}));  // the running window keeps them
    std::atomic<int> handed{-1};
    std::thread start(
        [&] { handed = FileHandOff::HandOver(name, QString::fromStdString(firmware)); });
    QTRY_COMPARE(ui.edFW_File->text().toStdString(), firmware);
    start.join();
    QCOMPARE(handed.load(), 1);
    QCOMPARE(ui.pcOptions->currentWidget(), ui.Update);
    QVERIFY(ui.rbUploadFW->isChecked());

    QLocalServer hung;  // takes connections and never reads them
    QVERIFY(hung.listen(dir.filePath("hung")));
    QVERIFY(!FileHandOff::HandOver(dir.filePath("hung"), "/elsewhere/any.rfw", 300));
}

void PagesTest::selfTestLogGrowsAndCopiesWithCrLf() {
    // The adapter's first self-test stops after its second line and never goes on.
    Adapter adapter({"--hold", "test-line:2"});
    Window win = Open(Remembering(adapter));
    const MainForm& ui = win.w->Ui();
    Search(*win.w);
    QTest::mouseClick(ui.btCopy, Qt::LeftButton);
    QVERIFY(QGuiApplication::clipboard()->text().contains("SN:000123\r\nID:ADPT\r\n"));

    ui.pcOptions->setCurrentWidget(ui.tsTest);
    BoxWatcher& boxes = Boxes();
    boxes.boxes.clear();
    QTest::mouseClick(ui.btRunTest, Qt::LeftButton);
    // What came is shown though the rest never does: the output was shown as it arrived.
    QTRY_VERIFY_WITH_TIMEOUT(!win.w->Control().Busy(), kSearchMs);
    QVERIFY(ui.memLogTest->toPlainText().endsWith("Self-test started\nRAM ........ OK") ||
            ui.memLogTest->toPlainText().endsWith("Self-test started\r\nRAM ........ OK"));
    QCOMPARE(boxes.boxes.size(), std::size_t(1));

    // The next run goes to its end. The user comes back to the window from the box first.
    win.w->activateWindow();
    QTRY_VERIFY(win.w->isActiveWindow());
    QTest::mouseClick(ui.btRunTest, Qt::LeftButton);
    QVERIFY(win.w->Control().Busy());
    QTRY_VERIFY_WITH_TIMEOUT(!win.w->Control().Busy(), kSearchMs);
    QVERIFY(ui.btRunTest->hasFocus());
    // From the reply's first line, the banner, to its last.
    const QString expected =
        "CR:Adapter (C) 2026 Adapter Works\r\nSelf-test started\r\nRAM ........ OK\r\nFlash ...... "
        "OK\r\nLine driver  OK\r\n"
        "Supply ..... OK\r\nSelf-test passed";
    QTest::mouseClick(ui.btCopyTest, Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text().trimmed(), expected);
}

void PagesTest::aboutLinksHoverAndOpen() {
    Window win = Open(std::make_shared<SettingsMap>(), "Our Product");
    const MainForm& ui = win.w->Ui();
    ui.pcOptions->setCurrentWidget(ui.About);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(ui.lbRef, &enter);
    QVERIFY(ui.lbRef->font().underline());
    QVERIFY(!ui.lbMail->font().underline());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(ui.lbRef, &leave);
    QVERIFY(!ui.lbRef->font().underline());
    QVERIFY(ui.lbRef->font().bold() && ui.lbRef->font().italic());

    QTest::mouseClick(ui.lbRef, Qt::LeftButton);
    QTest::mouseClick(ui.lbMail, Qt::LeftButton);
    QCOMPARE(win.desk->opened.size(), 2);
    QCOMPARE(win.desk->opened[0], QString("https://www.example.test"));
    const QString today = QDate::currentDate().toString("yyyyMMdd");
    QCOMPARE(
        win.desk->opened[1],
        "mailto:orders@example.test?subject=Order%20for%20Our Product%20Adapter%20-%20" + today);
    QCOMPARE(
        OrderMailAddress("a@b.test", "Korvanta", 2024, 1, 1),
        std::string("mailto:a@b.test?subject=Order%20for%20Korvanta%20Adapter%20-%2020240101"));
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ConfiguratorApp app(argc, argv);
    // The texts as the program's own, whatever the machine's language.
    app.UseLanguage(QLocale(QLocale::English));
    Boxes();
    PagesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "PagesTest.moc"
