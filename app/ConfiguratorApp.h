// The application object: named "Configurator", speaking the user's language, and a guard
// that turns an exception escaping an event handler into an error box instead of the end of
// the program.
#pragma once

#include <QApplication>
#include <QLocale>
#include <QTranslator>

class ConfiguratorApp : public QApplication {
public:
    ConfiguratorApp(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // The application title: "Configurator" until the version strings name the program. Kept
    // here rather than as Qt's display name, which the desktop would append to every title.
    static QString Title();
    static void SetTitle(const QString& title);

    // The window's texts, its boxes' and Qt's own (the boxes' buttons, the file dialog) in the
    // first of the locale's languages that the program speaks; English, as the texts are
    // written, when that comes first or none is spoken. Called with the system's locale at
    // start.
    void UseLanguage(const QLocale& locale);

private:
    QTranslator ours_;
    QTranslator qts_;
};
