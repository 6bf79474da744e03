#include "app/FileHandOff.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

namespace {
// A path, then a newline; the answer "ok" and a newline once the window has taken it.
constexpr char kTaken[] = "ok\n";
// Longer than any path a file manager hands over; a peer that sends more is not a window of ours.
constexpr qint64 kLongestLine = 64 * 1024;
}  // namespace

QString FileHandOff::DefaultName() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return QDir(folder).filePath("korvanta-configurator.window");
}

bool FileHandOff::HandOver(const QString& name, const QString& file, int limitMs) {
    const QDeadlineTimer deadline(limitMs);
    auto left = [&deadline] { return static_cast<int>(deadline.remainingTime()); };
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(left())) return false;
    socket.write(file.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(left())) return false;
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (!socket.waitForReadyRead(left())) return false;
        answer += socket.readAll();
    }
    return answer == kTaken;
}

bool FileHandOff::Listen(const QString& name, std::function<void(const QString&)> take) {
    take_ = std::move(take);
    // A live window answers at once; a socket nobody answers on was left by one that died.
    // Asked first: listening with an access option replaces whatever is there.
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(1000)) return false;
    QLocalServer::removeServer(name);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(name)) return false;
    QObject::connect(&server_, &QLocalServer::newConnection, &server_, [this] {
        while (QLocalSocket* peer = server_.nextPendingConnection())
            Serve(peer);
    });
    return true;
}

void FileHandOff::Serve(QLocalSocket* peer) {
    QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    QObject::connect(peer, &QLocalSocket::readyRead, peer, [this, peer] {
        if (!peer->canReadLine()) {
            if (peer->bytesAvailable() > kLongestLine) peer->abort();
            return;
        }
        const QString file = QString::fromUtf8(peer->readLine()).chopped(1);
        peer->write(kTaken);
        peer->disconnectFromServer();
        // Taken after the answer and outside this handler: a box about the file must hold up
        // neither the start that handed it over nor the socket it came on.
        if (!file.isEmpty()) QTimer::singleShot(0, &server_, [this, file] { take_(file); });
    });
}
