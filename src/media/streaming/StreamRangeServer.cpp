#include "media/streaming/StreamRangeServer.h"

#include "media/camera/CameraVideoStream.h"
#include "media/streaming/StreamRangeConnection.h"

#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <array>
#include <utility>

namespace pivra {
namespace {

QString randomToken()
{
    std::array<quint32, 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(words.data()), sizeof(words)).toHex());
}

// The last component of the stream's path, so that the URL ends in the
// file's own name and extension.
QString fileName(const CameraVideoStream& stream)
{
    const QString name = stream.path().section(QLatin1Char('/'), -1);
    return name.isEmpty() ? QStringLiteral("video") : name;
}

} // namespace

StreamRangeServer::StreamRangeServer(QObject* parent) : StreamRangeServer(Limits{}, parent) {}

StreamRangeServer::StreamRangeServer(Limits limits, QObject* parent) : QObject(parent), limits_(limits)
{
    connect(&server_, &QTcpServer::newConnection, this, &StreamRangeServer::accept);
    connect(&server_, &QTcpServer::acceptError, this, &StreamRangeServer::acceptFailed);
    stallCheck_.setSingleShot(true);
    connect(&stallCheck_, &QTimer::timeout, this, [this] {
        if (waiting_ && makeWay()) {
            ended(nullptr);
        }
    });
    if (!server_.listen(QHostAddress::LocalHost, 0)) {
        qWarning("The video server could not listen on the loopback interface: %s",
                 qUtf8Printable(server_.errorString()));
    }
}

StreamRangeServer::~StreamRangeServer() = default;

QUrl StreamRangeServer::registerAsset(std::shared_ptr<CameraVideoStream> stream)
{
    if (!server_.isListening()) {
        return {};
    }
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(server_.serverAddress().toString());
    url.setPort(server_.serverPort());
    url.setPath(QLatin1Char('/') + randomToken() + QLatin1Char('/') + fileName(*stream), QUrl::DecodedMode);
    assets_.insert(url.path(QUrl::FullyDecoded), std::move(stream));
    return url;
}

void StreamRangeServer::unregister(const QUrl& url)
{
    assets_.remove(url.path(QUrl::FullyDecoded));
}

int StreamRangeServer::openConnections() const
{
    return int(connections_.size());
}

void StreamRangeServer::accept()
{
    while (!waiting_ && server_.hasPendingConnections()) {
        if (connections_.size() >= limits_.connections && !makeWay()) {
            server_.pauseAccepting();
            waiting_ = true;
            return;
        }
        auto* connection = new StreamRangeConnection(
            server_.nextPendingConnection(), [this](const QString& path) { return lookup(path); },
            limits_.headTime, limits_.sendTime, this);
        connections_.append(connection);
        connect(connection, &QObject::destroyed, this, &StreamRangeServer::ended);
    }
}

// Closes the oldest connection that has not yet sent its request: the client
// that has been silent longest; else the one whose client has taken none of
// its bytes for longest, when that is long enough to be no pause. When one
// may become that, it is looked at again then.
bool StreamRangeServer::makeWay()
{
    auto chosen = std::find_if(connections_.begin(), connections_.end(),
                               [](const StreamRangeConnection* connection) { return !connection->hasRequest(); });
    if (chosen == connections_.end()) {
        std::chrono::milliseconds longest{-1};
        for (auto connection = connections_.begin(); connection != connections_.end(); ++connection) {
            const std::optional<std::chrono::milliseconds> stalled = (*connection)->stalledFor();
            if (stalled && *stalled > longest) {
                longest = *stalled;
                chosen = connection;
            }
        }
        if (chosen != connections_.end() && longest < limits_.stallTime) {
            stallCheck_.start(limits_.stallTime - longest);
            return false;
        }
    }
    if (chosen == connections_.end()) {
        // Every one is being answered; any may stall later.
        stallCheck_.start(limits_.stallTime);
        return false;
    }
    StreamRangeConnection* connection = *chosen;
    connections_.erase(chosen);
    connection->close();
    return true;
}

void StreamRangeServer::ended(QObject* connection)
{
    // Called as the connection is destroyed: only its address is compared,
    // since it is no longer a connection.
    connections_.removeIf([connection](const StreamRangeConnection* open) {
        return static_cast<const void*>(open) == static_cast<const void*>(connection);
    });
    if (std::exchange(waiting_, false)) {
        server_.resumeAccepting();
        accept();
    }
}

// Out of descriptors, the listening socket stops accepting: it resumes once
// a connection has made way or ended, or after a while when there is none to
// end (the descriptors are held elsewhere in the program).
void StreamRangeServer::acceptFailed()
{
    if (makeWay()) {
        server_.resumeAccepting();
        return;
    }
    waiting_ = true;
    if (connections_.isEmpty()) {
        QTimer::singleShot(1000, this, [this] { ended(nullptr); });
    }
}

std::shared_ptr<CameraVideoStream> StreamRangeServer::lookup(const QString& path) const
{
    return assets_.value(path);
}

} // namespace pivra
