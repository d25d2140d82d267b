#include "app/OrvikInstanceChannel.h"

#include "Foundation/Log.h"
#include "Foundation/UserDefaults.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kWaitMilliseconds = 2000;
const QByteArray kReopenRequest = QByteArrayLiteral("reopen\n");
// A request is one short line; anything longer is not ours.
constexpr qint64 kLongestRequest = 64;

// A socket file of this user: nobody else's program is asked or replaced.
bool isOwnSocket(const QString& path) {
    struct stat status {};
    return lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISSOCK(status.st_mode) &&
           status.st_uid == getuid();
}

} // namespace

OrvikInstanceChannel::OrvikInstanceChannel(QString socketPath, QObject* parent)
    : QObject(parent), socketPath_(std::move(socketPath)) {}

OrvikInstanceChannel::~OrvikInstanceChannel() {
    // Closing removes the socket file: a later launch starts afresh.
    if (server_) server_->close();
}

QString OrvikInstanceChannel::defaultSocketPath() {
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) dir = QDir::tempPath();
    // One program per store: tests and profiles with other folders never meet.
    const QByteArray store = QByteArray::fromStdString(UserDefaults::standardUserDefaults()->path());
    const QByteArray digest = QCryptographicHash::hash(store, QCryptographicHash::Sha256).toHex().left(16);
    return QStringLiteral("%1/orvik-%2-%3.socket").arg(dir).arg(getuid()).arg(QString::fromLatin1(digest));
}

OrvikInstanceChannel::Role OrvikInstanceChannel::claim() {
    if (server_) return Role::primary;
    QLockFile lock(socketPath_ + QStringLiteral(".lock"));
    if (!lock.tryLock(kWaitMilliseconds))
        Log::warning("the launch lock {} is taken; going on without it", socketPath_.toStdString());
    if (handOver()) return Role::handedOver;
    return listen() ? Role::primary : Role::standalone;
}

bool OrvikInstanceChannel::isListening() const {
    return server_ && server_->isListening();
}

bool OrvikInstanceChannel::handOver() {
    if (!isOwnSocket(socketPath_)) return false;
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(kWaitMilliseconds)) return false;
    socket.write(kReopenRequest);
    if (!socket.waitForBytesWritten(kWaitMilliseconds)) return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(kWaitMilliseconds);
    return true;
}

bool OrvikInstanceChannel::listen() {
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    bool listening = server->listen(socketPath_);
    // Nobody answered on it (handOver failed): a program that died left it.
    if (!listening && server->serverError() == QAbstractSocket::AddressInUseError &&
        isOwnSocket(socketPath_)) {
        QLocalServer::removeServer(socketPath_);
        listening = server->listen(socketPath_);
    }
    if (!listening) {
        Log::warning("no reopen channel at {}: {}", socketPath_.toStdString(),
                     server->errorString().toStdString());
        delete server;
        return false;
    }
    server_ = server;
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
            if (socket->bytesAvailable() > 0) readRequest(socket);
        }
    });
    return true;
}

void OrvikInstanceChannel::readRequest(QLocalSocket* socket) {
    if (!socket->canReadLine() && socket->bytesAvailable() < kLongestRequest) return;
    const QByteArray request = socket->readLine(kLongestRequest + 1);
    socket->disconnectFromServer();
    if (request == kReopenRequest) emit reopenRequested();
}
