// The application object: named "Configurator", and a guard that turns an exception
// escaping an event handler into an error box instead of the end of the program.
#pragma once

#include <QApplication>

class ConfiguratorApp : public QApplication {
public:
    ConfiguratorApp(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // The application title: "Configurator" until the version strings name the program. Kept
    // here rather than as Qt's display name, which the desktop would append to every title.
    static QString Title();
    static void SetTitle(const QString& title);
};
