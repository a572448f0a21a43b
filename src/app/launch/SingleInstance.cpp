#include "app/launch/SingleInstance.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include <memory>
#include <optional>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace pivra {
namespace {

// Long enough for a busy first program to accept, short enough that a
// launch never seems to hang.
constexpr int connectTimeoutMs = 1500;
constexpr int writeTimeoutMs = 3000;
constexpr int lockTimeoutMs = 5000;
// A launch is a handful of paths; anything larger is not one of ours.
constexpr qint64 maximumMessageBytes = 1 << 20;

QByteArray encode(const ForwardedLaunch& launch)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_6_4);
    stream << launch.arguments << launch.activationToken;
    return bytes;
}

std::optional<ForwardedLaunch> decode(const QByteArray& bytes)
{
    ForwardedLaunch launch;
    QDataStream stream(bytes);
    stream.setVersion(QDataStream::Qt_6_4);
    stream >> launch.arguments >> launch.activationToken;
    if (stream.status() != QDataStream::Ok) {
        return std::nullopt;
    }
    return launch;
}

QString lockPath(const QString& serverName)
{
    const QString socketPath =
        QFileInfo(serverName).isAbsolute() ? serverName : QDir(QDir::tempPath()).filePath(serverName);
    return socketPath + QStringLiteral(".lock");
}

// The device and inode of the file at `path`; zeros when there is none.
// Servers that must never close, as Qt removes a server's socket file when it
// closes and the file at their name is another program's now. Kept where the
// process can still reach them until it ends.
void keepOpenForGood(QLocalServer* server)
{
    static auto* const kept = new std::vector<QLocalServer*>;
    kept->push_back(server);
}

std::pair<quint64, quint64> fileIdentity(const QString& path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        return {};
    }
    return {quint64(status.st_dev), quint64(status.st_ino)};
}

} // namespace

SingleInstance::SingleInstance(QString serverName, QObject* parent)
    : QObject(parent)
    , serverName_(std::move(serverName))
    , server_(new QLocalServer(this))
{
    // Only this user may hand launches over.
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::accept);
}

QString SingleInstance::defaultServerName()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty()) {
        return QStringLiteral("pivra-%1").arg(::getuid());
    }
    return QDir(runtime).filePath(QStringLiteral("pivra-instance"));
}

ForwardedLaunch SingleInstance::currentLaunch(const QStringList& arguments)
{
    ForwardedLaunch launch;
    for (qsizetype index = 0; index < arguments.size(); ++index) {
        launch.arguments.append(index == 0 ? arguments[index] : QFileInfo(arguments[index]).absoluteFilePath());
    }
    launch.activationToken = qgetenv("XDG_ACTIVATION_TOKEN");
    return launch;
}

bool SingleInstance::forwardOrListen(const ForwardedLaunch& launch)
{
    QLockFile lock(lockPath(serverName_));
    // Without the lock (an unwritable folder) the question is still asked;
    // only the rare simultaneous start loses its protection.
    lock.tryLock(lockTimeoutMs);
    if (forward(launch)) {
        return true;
    }
    // No program answered, so a socket file still there is a dead program's.
    QLocalServer::removeServer(serverName_);
    if (!server_->listen(serverName_)) {
        qWarning("Could not listen for later launches on %s: %s", qPrintable(serverName_),
                 qPrintable(server_->errorString()));
    }
    socketFile_ = fileIdentity(server_->fullServerName());
    return false;
}

void SingleInstance::stopListening()
{
    if (!server_->isListening()) {
        return;
    }
    if (fileIdentity(server_->fullServerName()) == socketFile_) {
        server_->close();
        return;
    }
    // A later launch found this program's socket gone and listens at the
    // name now; closing would remove its socket, so this one is left open,
    // unreachable, until the process ends.
    server_->disconnect(this);
    server_->setParent(nullptr);
    keepOpenForGood(server_);
    server_ = new QLocalServer(this);
}

bool SingleInstance::forward(const ForwardedLaunch& launch)
{
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (!socket.waitForConnected(connectTimeoutMs)) {
        return false;
    }
    socket.write(encode(launch));
    // The running program reads until the connection closes.
    bool written = true;
    while (written && socket.bytesToWrite() > 0) {
        written = socket.waitForBytesWritten(writeTimeoutMs);
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(writeTimeoutMs);
    }
    return written;
}

void SingleInstance::accept()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [socket, buffer] {
            buffer->append(socket->readAll());
            if (buffer->size() > maximumMessageBytes) {
                socket->abort();
            }
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            socket->deleteLater();
            if (buffer->size() > maximumMessageBytes) {
                return;
            }
            if (const std::optional<ForwardedLaunch> launch = decode(*buffer)) {
                Q_EMIT launched(*launch);
            }
        });
    }
}

} // namespace pivra
