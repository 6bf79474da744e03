// korvanta-configurator: the adapter configurator's window. A firmware (.rfw) or change-mode
// (.rcm) file named on the command line, as a file manager names the file double-clicked,
// opens the window ready to write it.
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>

#include "app/ConfiguratorApp.h"
#include "app/TfrmMain.h"

int main(int argc, char** argv) {
    ConfiguratorApp app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "The Korvanta adapter's configurator: finds the adapter on a serial line, switches its "
        "modes and writes its firmware.");
    parser.addHelpOption();
    parser.addPositionalArgument("FILE", "a firmware (.rfw) or change-mode (.rcm) file to write",
                                 "[FILE]");
    parser.process(app);

    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QString(":/icon-%1.png").arg(size), QSize(size, size));
    app.setWindowIcon(icon);
    TfrmMain window;
    window.show();
    if (!parser.positionalArguments().isEmpty()) {
        const QString file = QFileInfo(parser.positionalArguments().first()).absoluteFilePath();
        // Once the window is up, so that a box about the file has the window to stand over.
        QTimer::singleShot(0, &window, [&window, file] { window.OpenFile(file); });
    }
    app.exec();
    return 0;
}
