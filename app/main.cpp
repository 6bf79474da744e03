// configurator: the adapter configurator's window.
#include <QIcon>

#include "app/ConfiguratorApp.h"
#include "app/TfrmMain.h"

int main(int argc, char** argv) {
    ConfiguratorApp app(argc, argv);
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QString(":/icon-%1.png").arg(size), QSize(size, size));
    app.setWindowIcon(icon);
    TfrmMain window;
    window.show();
    app.exec();
    return 0;
}
