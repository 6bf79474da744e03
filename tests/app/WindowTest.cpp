// The real window, offscreen, against the simulated adapter on a pseudo-terminal: start-up
// and settings, the port list, Search, Select, external power and the mode list's order.
#include <QFile>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "app/ConfiguratorApp.h"
#include "app/QtSettingsStore.h"
#include "control/AdapterControl.h"
#include "control/RegSettings.h"
#include "tests/app/WindowRig.h"
#include "tests/support/AdapterSimProcess.h"

namespace {

QStringList Column(QTableWidget* list, int col) {
    QStringList texts;
    for (int r = 0; r < list->rowCount(); ++r)
        texts << list->item(r, col)->text();
    return texts;
}

int MarkedRow(QTableWidget* list) {
    for (int r = 0; r < list->rowCount(); ++r)
        if (list->item(r, 0)->data(Qt::AccessibleDescriptionRole) == "current mode") return r;
    return -1;
}

void ClickRow(QTableWidget* list, int row) {
    const QRect cell = list->visualRect(list->model()->index(row, 2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
}

void ClickHeader(QTableWidget* list, int section) {
    QHeaderView* h = list->horizontalHeader();
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                      QPoint(h->sectionViewportPosition(section) + 10, h->height() / 2));
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void firstStartCreatesSettingsAndCentres();
    void storedSettingsAtStart_data();
    void storedSettingsAtStart();
    void versionStringsLabelTheWindow_data();
    void versionStringsLabelTheWindow();
    void portListRebuiltOnlyOnChange();
    void serialPortsAtOnceUsbDevicesWhenScanned();
    void searchFillsStripAndMarksCurrentMode();
    void selectAndPowerGoToTheAdapter();
    void columnClicksCycleAndPersist();
    void notFoundBoxNamesProductAndPort_data();
    void notFoundBoxNamesProductAndPort();
    void unwritableSettingsAreToldOnce();
    void corruptSettingsFileIsKeptAndRewritten();
};

void WindowTest::firstStartCreatesSettingsAndCentres() {
    auto settings = std::make_shared<SettingsMap>();
    Window win = Open(settings);
    QCOMPARE(std::get<std::int32_t>(settings->at("SortCol")), 0);
    QCOMPARE(std::get<std::int32_t>(settings->at("SortDir")), 0);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(win.w->pos(), screen.center() - win.w->rect().center());
    QCOMPARE(win.w->windowTitle(), QString("Korvanta Configurator Version 1.7.0.8"));
    QVERIFY(!win.w->Ui().pcOptions->isTabVisible(3));
    // At start the Copyright field reaches the Firmware field's right edge.
    QCOMPARE(win.w->Ui().edCopyRight->width(), 527);
    win.w->close();
    for (const char* name : {"SortCol", "SortDir", "WinTop", "WinLeft"})
        QVERIFY2(settings->count(name) == 1, name);
}

void WindowTest::storedSettingsAtStart_data() {
    QTest::addColumn<QVariant>("sortCol");
    QTest::addColumn<QVariant>("winTop");
    QTest::addColumn<QVariant>("winLeft");
    QTest::addColumn<int>("expectedSortCol");
    QTest::addColumn<bool>("centred");
    QTest::addColumn<QPoint>("expectedPos");
    const QVariant none;
    QTest::newRow("SortCol 3 reset") << QVariant(3) << none << none << 0 << true << QPoint();
    QTest::newRow("negative SortCol") << QVariant(-2) << none << none << 0 << true << QPoint();
    QTest::newRow("SortCol 2 kept") << QVariant(2) << none << none << 2 << true << QPoint();
    QTest::newRow("only WinTop") << none << QVariant(40) << none << 0 << true << QPoint();
    QTest::newRow("both") << none << QVariant(40) << QVariant(30) << 0 << false << QPoint(30, 40);
    // Off every screen: brought back onto the nearest one (right and below: its far corner,
    // marked here by -1 and worked out from the frame).
    QTest::newRow("off screen") << none << QVariant(9000) << QVariant(9000) << 0 << false
                                << QPoint(-1, -1);
}

void WindowTest::storedSettingsAtStart() {
    QFETCH(QVariant, sortCol);
    QFETCH(QVariant, winTop);
    QFETCH(QVariant, winLeft);
    QFETCH(int, expectedSortCol);
    QFETCH(bool, centred);
    QFETCH(QPoint, expectedPos);
    auto settings = std::make_shared<SettingsMap>();
    if (sortCol.isValid()) (*settings)["SortCol"] = sortCol.toInt();
    if (winTop.isValid()) (*settings)["WinTop"] = winTop.toInt();
    if (winLeft.isValid()) (*settings)["WinLeft"] = winLeft.toInt();
    Window win = Open(settings);
    QCOMPARE(win.w->Model().SortCol, expectedSortCol);
    QCOMPARE(std::get<std::int32_t>(settings->at("SortCol")), expectedSortCol);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    if (expectedPos == QPoint(-1, -1))
        expectedPos = screen.bottomRight() + QPoint(1, 1) -
                      QPoint(win.w->frameGeometry().width(), win.w->frameGeometry().height());
    QCOMPARE(win.w->pos(), centred ? screen.center() - win.w->rect().center() : expectedPos);
    // Restored from minimised, the window stays where the user has moved it meanwhile.
    const QPoint moved = win.w->pos() - QPoint(17, 23);
    win.w->move(moved);
    win.w->showMinimized();
    win.w->showNormal();
    QCOMPARE(win.w->pos(), moved);
    // Nothing is read on show unless both were stored.
    QCOMPARE(settings->count("WinLeft"), std::size_t(winLeft.isValid() ? 1 : 0));
}

void WindowTest::versionStringsLabelTheWindow_data() {
    QTest::addColumn<QString>("product");
    QTest::addColumn<bool>("altLogo");
    QTest::newRow("ZODereZER") << "ZODereZER" << true;
    QTest::newRow("case differs") << "ZODEREZER" << false;
    QTest::newRow("Korvanta") << "Korvanta" << false;
}

void WindowTest::versionStringsLabelTheWindow() {
    QFETCH(QString, product);
    QFETCH(bool, altLogo);
    Window win = Open(std::make_shared<SettingsMap>(), product.toStdString());
    const MainForm& ui = win.w->Ui();
    QCOMPARE(!ui.imgLogoAlt->isHidden(), altLogo);
    QCOMPARE(!ui.imgLogo->isHidden(), !altLogo);
    QCOMPARE(ui.lbName->text(), product + " Configurator");
    QCOMPARE(ui.rbAddMode->text(), "Repair " + product);
    QCOMPARE(ui.lbVersion->text(), QString("Version 1.7.0.8"));
    QCOMPARE(ui.edSerial->accessibleName(), QString("Serial Number:"));
}

void WindowTest::portListRebuiltOnlyOnChange() {
    auto shared = std::make_shared<ScriptedPorts::Shared>();
    shared->entries.Add("/dev/ttyFAKE1", "one", "");
    shared->entries.Add("/dev/ttyFAKE2", "two", "/sys/devices/fake2");
    auto settings = std::make_shared<SettingsMap>();
    (*settings)["Port"] = std::string("/dev/ttyFAKE2");
    Window win = Open(settings, "Korvanta", std::make_unique<ScriptedPorts>(shared));
    QComboBox* list = win.w->Ui().cbCOM;
    QTRY_COMPARE_WITH_TIMEOUT(list->count(), 2, kStartMs);
    QCOMPARE(list->currentIndex(), 1);
    QCOMPARE(list->currentText(), QString("/dev/ttyFAKE2 (two)"));
    QVERIFY(win.w->Ui().btPortProp->isEnabled());
    QVERIFY(win.w->Ui().btSearch->isEnabled());

    // The user picks the other port: remembered, and it has no properties to show.
    QSignalSpy rebuilt(list->model(), &QAbstractItemModel::rowsInserted);
    list->setCurrentIndex(0);
    emit list->activated(0);
    QCOMPARE(std::get<std::string>(settings->at("Port")), std::string("/dev/ttyFAKE1"));
    QVERIFY(!win.w->Ui().btPortProp->isEnabled());
    // Refreshes that find the same ports leave the list and the pick alone.
    QTest::qWait(1500);
    QCOMPARE(rebuilt.count(), 0);
    QCOMPARE(list->currentIndex(), 0);

    // Only a description changes: rebuilt, and the remembered port selected again.
    {
        std::lock_guard lock(shared->mutex);
        shared->entries.descs[0] = "one, renamed";
    }
    QTRY_VERIFY_WITH_TIMEOUT(rebuilt.count() > 0, kStartMs);
    QCOMPARE(list->currentText(), QString("/dev/ttyFAKE1 (one, renamed)"));
}

// The serial ports are listed without waiting for the USB scan; an FTDI device joins them
// when the scan ends, selected if it is the remembered port, unless the user has picked
// another port meanwhile. The fake D2XX library holds the scan until the test lets it go.
void WindowTest::serialPortsAtOnceUsbDevicesWhenScanned() {
    QTemporaryDir dir;
    const QString hold = dir.filePath("hold");
    qputenv("FAKE_D2XX_DEVICES", "FT000042=Korvanta USB=/dev/null");
    qputenv("FAKE_D2XX_CREATE_HOLD", hold.toLocal8Bit());
    for (const bool userPicks : {false, true}) {
        QFile(hold).open(QIODevice::WriteOnly);
        auto shared = std::make_shared<ScriptedPorts::Shared>();
        shared->entries.Add("/dev/ttyFAKE1", "one", "");
        shared->entries.Add("/dev/ttyFAKE2", "two", "");
        auto settings = std::make_shared<SettingsMap>();
        (*settings)["Port"] = std::string("USB:FT000042");
        Window win = Open(settings, "Korvanta", std::make_unique<ScriptedPorts>(shared));
        const MainForm& ui = win.w->Ui();
        QTRY_COMPARE_WITH_TIMEOUT(ui.cbCOM->count(), 2, kStartMs);
        QVERIFY(ui.btSearch->isEnabled());
        QCOMPARE(ui.cbCOM->currentIndex(), 0);
        if (userPicks) {
            ui.cbCOM->setCurrentIndex(1);
            emit ui.cbCOM->activated(1);
        }
        QFile::remove(hold);
        QTRY_COMPARE_WITH_TIMEOUT(ui.cbCOM->count(), 3, kStartMs);
        QCOMPARE(ui.cbCOM->currentText(),
                 QString(userPicks ? "/dev/ttyFAKE2 (two)" : "USB:FT000042 (Korvanta USB)"));
    }
    qunsetenv("FAKE_D2XX_CREATE_HOLD");
    qunsetenv("FAKE_D2XX_DEVICES");
}

void WindowTest::searchFillsStripAndMarksCurrentMode() {
    Adapter adapter;
    Window win = Open(Remembering(adapter));
    Search(*win.w);
    const MainForm& ui = win.w->Ui();
    QCOMPARE(ui.edSerial->text(), QString("000123"));
    QCOMPARE(ui.edSignature->text(), QString("ADPT"));
    QCOMPARE(ui.edVersion->text(), QString("1.07"));
    QCOMPARE(ui.edBootVer->text(), QString("1.02"));
    QCOMPARE(ui.edPower->text(), QString("12.9"));
    QVERIFY(ui.edPower->isVisible() && ui.cbPower->isVisible() && !ui.cbPower->isChecked());
    // A boot-loader line narrows the Copyright field to its design width and shows Test.
    QCOMPARE(ui.edCopyRight->width(), MainForm::kCopyrightDesignWidth);
    QVERIFY(ui.pcOptions->isTabVisible(3));
    QCOMPARE(Column(ui.lvModes, 1), QStringList({"01", "02", "0A"}));
    const int marked = MarkedRow(ui.lvModes);
    QCOMPARE(ui.lvModes->item(marked, 1)->text(), QString("01"));
    QVERIFY(ui.lvModes->selectionModel()->isRowSelected(marked, {}));
    QVERIFY(!ui.btModeSelect->isEnabled());
    QVERIFY(ui.btCopy->isEnabled());
    QVERIFY(ui.lvModes->hasFocus());
    QCOMPARE(std::get<std::string>(win.settings->at("Mode")), std::string("01"));
    QVERIFY(ui.memLog->toPlainText().contains("SN:000123"));
}

void WindowTest::selectAndPowerGoToTheAdapter() {
    Adapter adapter;
    Window win = Open(Remembering(adapter));
    Search(*win.w);
    const MainForm& ui = win.w->Ui();

    // Enter and a double click on the current mode do nothing.
    QTest::keyClick(ui.lvModes, Qt::Key_Return);
    QVERIFY(!win.w->Control().Busy());
    QTest::mouseDClick(
        ui.lvModes->viewport(), Qt::LeftButton, {},
        ui.lvModes->visualRect(ui.lvModes->model()->index(MarkedRow(ui.lvModes), 2)).center());
    QVERIFY(!win.w->Control().Busy());

    ClickRow(ui.lvModes, 1);
    // The keyboard goes on from the clicked row: the focus frame stays with the highlight.
    QTest::keyClick(ui.lvModes, Qt::Key_Down);
    QCOMPARE(ui.lvModes->currentIndex().row(), 2);
    QVERIFY(ui.lvModes->selectionModel()->isRowSelected(2, {}));
    QTest::keyClick(ui.lvModes, Qt::Key_Up);
    QVERIFY(ui.lvModes->selectionModel()->isRowSelected(1, {}));
    QVERIFY(ui.btModeSelect->isEnabled());
    QTest::mouseClick(ui.btModeSelect, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!win.w->Control().Busy(), kSearchMs);
    QCOMPARE(adapter.State().value("selected").toString(), QString("02"));
    QCOMPARE(ui.lvModes->item(MarkedRow(ui.lvModes), 1)->text(), QString("02"));
    QCOMPARE(std::get<std::string>(win.settings->at("Mode")), std::string("02"));

    QTest::mouseClick(ui.cbPower, Qt::LeftButton, {}, QPoint(ui.cbPower->width() - 8, 10));
    QTRY_VERIFY_WITH_TIMEOUT(!win.w->Control().Busy(), kSearchMs);
    QCOMPARE(adapter.State().value("power").toBool(), true);
    QVERIFY(ui.cbPower->isChecked());
    QVERIFY(ui.cbPower->isEnabled());
    QVERIFY(ui.cbPower->hasFocus());
}

void WindowTest::columnClicksCycleAndPersist() {
    Adapter adapter;
    Window win = Open(Remembering(adapter));
    QTableWidget* list = win.w->Ui().lvModes;
    // An empty list ignores the click.
    QTRY_VERIFY_WITH_TIMEOUT(win.w->PortListFilled(), kStartMs);
    ClickHeader(list, 1);
    QCOMPARE(win.w->Model().SortCol, 0);
    Search(*win.w);
    ClickHeader(list, 1);
    QCOMPARE(Column(list, 1), QStringList({"01", "02", "0A"}));
    ClickHeader(list, 1);
    QCOMPARE(Column(list, 1), QStringList({"0A", "02", "01"}));
    ClickHeader(list, 2);
    QCOMPARE(Column(list, 2), QStringList({"Extended", "Service", "Standard"}));
    // The remembered row is still the current mode's, wherever it went.
    QCOMPARE(list->item(MarkedRow(list), 1)->text(), QString("01"));
    QVERIFY(list->selectionModel()->isRowSelected(MarkedRow(list), {}));
    win.w->close();
    QCOMPARE(std::get<std::int32_t>(win.settings->at("SortCol")), 2);
    QCOMPARE(std::get<std::int32_t>(win.settings->at("SortDir")), 0);
}

void WindowTest::notFoundBoxNamesProductAndPort_data() {
    QTest::addColumn<QStringList>("far");
    QTest::newRow("an adapter that knows neither prefix") << QStringList{"--prefix", "!nobody"};
    // Another device that talks without pause ends the search as silence does.
    QTest::newRow("a started reply that never ends") << QStringList{"--talk", "started-reply"};
}

void WindowTest::notFoundBoxNamesProductAndPort() {
    QFETCH(QStringList, far);
    std::vector<std::string> options;
    for (const QString& o : far)
        options.push_back(o.toStdString());
    Adapter adapter(options);
    Window win = Open(Remembering(adapter));
    BoxWatcher& boxes = Boxes();
    boxes.boxes.clear();
    Search(*win.w);
    QCOMPARE(boxes.boxes.size(), std::size_t(1));
    QCOMPARE(boxes.boxes[0].title, QString("Korvanta Configurator Version 1.7.0.8 - Error..."));
    QCOMPARE(boxes.boxes[0].text, "Korvanta Adapter is not found on Communication Port " +
                                      QString::fromStdString(adapter.sim->Pty()) +
                                      " (virtual port)");
    const MainForm& ui = win.w->Ui();
    QVERIFY(ui.edSerial->text().isEmpty());
    QCOMPARE(ui.lvModes->rowCount(), 0);
    QVERIFY(ui.btSearch->isEnabled() && ui.cbCOM->isEnabled() && ui.gbOptions->isEnabled());
}

void WindowTest::unwritableSettingsAreToldOnce() {
    BoxWatcher& boxes = Boxes();
    boxes.boxes.clear();
    WindowSeams seams;
    seams.versionValue = [](const std::string& key) { return VersionOf("Korvanta", key); };
    // No folder can be made below a device node, not even by root.
    seams.settings = std::make_unique<QtSettingsStore>(
        std::make_unique<QSettings>("/dev/null/configurator/settings.ini", QSettings::IniFormat));
    TfrmMain w(std::move(seams));
    w.show();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.boxes.size(), std::size_t(1), kStartMs);
    QVERIFY(boxes.boxes[0].text.contains("/dev/null/configurator/settings.ini"));
    // The values live on in memory for the rest of the run.
    QCOMPARE(w.Settings().ReadRegInt("SortCol", 7), 0);
    w.close();
    QTest::qWait(100);
    QCOMPARE(boxes.boxes.size(), std::size_t(1));
}

// A settings file that does not parse, with values of the wrong type and out of range: the
// window starts as on a first start, tells nothing (every write succeeds), keeps the file as
// it was beside it and leaves a clean one.
void WindowTest::corruptSettingsFileIsKeptAndRewritten() {
    BoxWatcher& boxes = Boxes();
    boxes.boxes.clear();
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.ini");
    const QByteArray corrupt(
        "[General]\nWinTop=abc\n\x01\x02no equals sign\n"
        "WinLeft=99999999999\nSortCol=7\nSortDir=-5\nMode=\xff\xfe\n",
        87);
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(corrupt);
    }
    WindowSeams seams;
    seams.versionValue = [](const std::string& key) { return VersionOf("Korvanta", key); };
    seams.settings =
        std::make_unique<QtSettingsStore>(std::make_unique<QSettings>(path, QSettings::IniFormat));
    auto w = std::make_unique<TfrmMain>(std::move(seams));
    w->show();
    QTest::qWait(200);
    // Centred (give or take the frame the stored place is read back through).
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY((w->pos() - (screen.center() - w->rect().center())).manhattanLength() <= 8);
    QCOMPARE(w->Model().SortCol, 0);
    w->close();
    w.reset();
    QCOMPARE(boxes.boxes.size(), std::size_t(0));
    QFile kept(path + ".bad");
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), corrupt);
    QSettings clean(path, QSettings::IniFormat);
    QCOMPARE(clean.status(), QSettings::NoError);
    QCOMPARE(clean.value("SortCol").toInt(), 0);
    bool ok = false;
    clean.value("WinTop").toInt(&ok);
    QVERIFY(ok);
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ConfiguratorApp app(argc, argv);
    // The texts as the program's own, whatever the machine's language.
    app.UseLanguage(QLocale(QLocale::English));
    Boxes();
    WindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WindowTest.moc"
