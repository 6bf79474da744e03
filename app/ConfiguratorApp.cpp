#include "app/ConfiguratorApp.h"

#include <QLibraryInfo>
#include <QMessageBox>
#include <exception>

namespace {
QString& TitleText() {
    static QString title = "Configurator";
    return title;
}
}  // namespace

QString ConfiguratorApp::Title() {
    return TitleText();
}

void ConfiguratorApp::SetTitle(const QString& title) {
    TitleText() = title;
}

ConfiguratorApp::ConfiguratorApp(int& argc, char** argv) : QApplication(argc, argv) {
    // The name it is installed by: the X11 window class the desktop entry names.
    setApplicationName("korvanta-configurator");
    // No display name: X11 and Wayland would append it to every window's title ("... -
    // Error... — Configurator"); each window carries its whole title itself.
    // The desktop entry's id: Wayland matches the window to its launcher and icon by it.
    setDesktopFileName("example.veltrask.Configurator");
    // The window's layout is fixed in pixels; its texts are sized to fit it, in a face with
    // Arial's metrics (Liberation Sans here).
    QFont font("Arial");
    font.setPixelSize(11);
    setFont(font);
    UseLanguage(QLocale::system());
}

void ConfiguratorApp::UseLanguage(const QLocale& locale) {
    removeTranslator(&ours_);
    removeTranslator(&qts_);
    for (const QString& language : locale.uiLanguages()) {
        if (language.startsWith("en")) return;
        if (!ours_.load("configurator_" + QLocale(language).name(), ":/translations")) continue;
        installTranslator(&ours_);
        if (qts_.load(QLocale(language), "qtbase", "_",
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            installTranslator(&qts_);
        return;
    }
}

bool ConfiguratorApp::notify(QObject* receiver, QEvent* event) {
    QString text;
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        text = QString::fromUtf8(e.what());
    } catch (...) {
        // Anything else thrown becomes an error with no text of its own.
    }
    QMessageBox::critical(activeWindow(), Title(), text);
    return false;
}
