// A file opened from the desktop while a window already runs goes to that window instead of a
// second one, which would contend with the first for the port and the saved settings. The
// first window listens on a local socket of the user's own; a later start with a file hands the
// file's path over and ends once the running window has taken it.
#pragma once

#include <QLocalServer>
#include <QString>
#include <functional>

class FileHandOff {
public:
    // Where a user's windows meet: in the user's runtime folder, which nobody else may enter.
    static QString DefaultName();

    // Hands `file` to the window listening at `name`. False when none listens, or when it has
    // not taken the file within `limitMs` (a window that hangs): the caller opens it itself.
    static bool HandOver(const QString& name, const QString& file, int limitMs = 3000);

    // Listens at `name` for files handed over, each given to `take` on the GUI thread. False
    // when another live window listens there already (it keeps the files) or the socket
    // cannot be made; a socket left by a window that died is taken over.
    bool Listen(const QString& name, std::function<void(const QString&)> take);

private:
    void Serve(QLocalSocket* peer);

    QLocalServer server_;
    std::function<void(const QString&)> take_;
};
