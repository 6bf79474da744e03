// The window on a Russian desktop: a few of its captions, a box, and the core's English texts
// as the window shows them. That every text has a translation is checked by the build.
#include <QtTest>

#include "app/ConfiguratorApp.h"
#include "app/CoreText.h"
#include "tests/app/WindowRig.h"

class RussianTest : public QObject {
    Q_OBJECT

private slots:
    void captionsAndBoxesAreRussian();
    void coreTextsAreTranslatedWithTheirValues_data();
    void coreTextsAreTranslatedWithTheirValues();
};

void RussianTest::captionsAndBoxesAreRussian() {
    Window win = Open(std::make_shared<SettingsMap>());
    const MainForm& ui = win.w->Ui();
    QCOMPARE(ui.pcOptions->tabText(0), QString("Настройки"));
    QCOMPARE(ui.btSearch->text(), QString("Поиск"));
    QCOMPARE(ui.btUpdateRun->text(), QString("Пуск"));
    QCOMPARE(ui.rbAddMode->text(), QString("Восстановить Korvanta"));
    QCOMPARE(win.w->windowTitle(), QString("Korvanta Configurator Версия 1.7.0.8"));
    QCOMPARE(ui.edSerial->accessibleName(), QString("Серийный №:"));

    BoxWatcher& boxes = Boxes();
    boxes.boxes.clear();
    win.desk->fileToChoose = "/nowhere/new.rfw";
    QTest::mouseClick(ui.btFW_File, Qt::LeftButton);
    QCOMPARE(boxes.boxes.size(), std::size_t(1));
    QCOMPARE(boxes.boxes[0].title, QString("Korvanta Configurator Версия 1.7.0.8 - Ошибка..."));
    QCOMPARE(boxes.boxes[0].text, QString("Файл прошивки «/nowhere/new.rfw» не найден."));
}

void RussianTest::coreTextsAreTranslatedWithTheirValues_data() {
    QTest::addColumn<QString>("core");
    QTest::addColumn<QString>("shown");
    QTest::newRow("status") << "Writing Page #12 : Retry 3"
                            << "Запись страницы №12 : повтор 3";
    QTest::newRow("not the shorter pattern") << "Writing Page #12 : Ok"
                                             << "Запись страницы №12 : успешно";
    QTest::newRow("port inside a sentence")
        << "Korvanta Adapter is not found on Communication Port /dev/pts/3 (virtual port)"
        << "Адаптер Korvanta не найден на порту /dev/pts/3 (виртуальный порт)";
    QTest::newRow("reason inside a sentence")
        << "File \"/tmp/a.rfw\" cannot be read: it is a folder."
        << "Файл «/tmp/a.rfw» не прочитать: это папка.";
    QTest::newRow("a value repeated") << "To use /dev/ttyS0, add your user to the group "
                                         "\"dialout\" (sudo usermod -aG dialout $USER), then log "
                                         "out and in again."
                                      << "Чтобы работать с /dev/ttyS0, добавьте своего "
                                         "пользователя в группу «dialout» (sudo usermod -aG "
                                         "dialout $USER), затем выйдите из системы и войдите "
                                         "снова.";
    QTest::newRow("a value that looks like a placeholder") << "Open Port(%2) Error..."
                                                           << "Ошибка открытия порта (%2)...";
    QTest::newRow("the system's text, then ours")
        << "Permission denied\nThe device is also listed as the serial port /dev/ttyUSB0 and "
           "can be used there."
        << "Permission denied\nУстройство есть и в списке последовательных портов как "
           "/dev/ttyUSB0, и с ним можно работать там.";
    QTest::newRow("not a text of the core") << "Permission denied"
                                            << "Permission denied";
}

void RussianTest::coreTextsAreTranslatedWithTheirValues() {
    QFETCH(QString, core);
    QFETCH(QString, shown);
    QCOMPARE(CoreText(core), shown);
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ConfiguratorApp app(argc, argv);
    app.UseLanguage(QLocale(QLocale::Russian, QLocale::Russia));
    Boxes();
    RussianTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RussianTest.moc"
