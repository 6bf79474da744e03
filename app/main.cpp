// korvanta-configurator: the adapter configurator's window. A firmware (.rfw) or change-mode
// (.rcm) file named on the command line, as a file manager names the file double-clicked,
// opens the window ready to write it; the window that runs already, when there is one.
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>

#include "app/ConfiguratorApp.h"
#include "app/FileHandOff.h"
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

    QString file;
    if (!parser.positionalArguments().isEmpty())
        file = QFileInfo(parser.positionalArguments().first()).absoluteFilePath();
    if (!file.isEmpty() && FileHandOff::HandOver(FileHandOff::DefaultName(), file)) return 0;

    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QString(":/icon-%1.png").arg(size), QSize(size, size));
    app.setWindowIcon(icon);
    TfrmMain window;
    window.show();
    if (!file.isEmpty()) {
        // Once the window is up, so that a box about the file has the window to stand over.
        QTimer::singleShot(0, &window, [&window, file] { window.OpenFile(file); });
    }
    window.ListenForFiles(FileHandOff::DefaultName());
    app.exec();
    return 0;
}
