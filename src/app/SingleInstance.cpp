#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace cvl::ui {

namespace {
constexpr int kAnswerMs = 2000;
const QByteArray kActivate = QByteArrayLiteral("activate\n");

QString runtimeFile(const QString& name, const QString& suffix) {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return QDir(dir).filePath(name + suffix);
}
}  // namespace

QString SingleInstance::lockPath(const QString& name) { return runtimeFile(name, QStringLiteral(".lock")); }
QString SingleInstance::socketPath(const QString& name) { return runtimeFile(name, QStringLiteral(".socket")); }

SingleInstance::SingleInstance(const QString& name) : name_(name), lock_(std::make_unique<QLockFile>(lockPath(name))) {
    lock_->setStaleLockTime(0);  // only a dead owner makes a lock stale, never its age
}

SingleInstance::~SingleInstance() {
    if (server_ != nullptr) server_->close();
}

bool SingleInstance::acquire() {
    if (!lock_->tryLock(0)) return false;
    // The lock is ours, so a socket file left there is a crashed run's.
    QLocalServer::removeServer(socketPath(name_));
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->canReadLine() && socket->readLine(64) == kActivate) {
                    socket->write("ok\n");
                    socket->flush();
                    emit activationRequested();
                }
            });
        }
    });
    // Without the socket the program still runs; a second start then only ends.
    server_->listen(socketPath(name_));
    return true;
}

bool SingleInstance::activateRunning() {
    QLocalSocket socket;
    socket.connectToServer(socketPath(name_));
    if (!socket.waitForConnected(kAnswerMs)) return false;
    socket.write(kActivate);
    if (!socket.waitForBytesWritten(kAnswerMs)) return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kAnswerMs)) return false;
    }
    return socket.readLine(8) == "ok\n";
}

}  // namespace cvl::ui
