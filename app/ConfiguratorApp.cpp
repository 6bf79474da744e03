#include "app/ConfiguratorApp.h"

#include <QMessageBox>
#include <exception>

ConfiguratorApp::ConfiguratorApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("configurator");
    setApplicationDisplayName("Configurator");
    // The desktop entry's id: Wayland matches the window to its launcher and icon by it.
    setDesktopFileName("example.veltrask.Configurator");
    // The window's layout is fixed in pixels; its texts are sized to fit it, in a face with
    // Arial's metrics (Liberation Sans here).
    QFont font("Arial");
    font.setPixelSize(11);
    setFont(font);
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
    QMessageBox::critical(activeWindow(), applicationDisplayName(), text);
    return false;
}
