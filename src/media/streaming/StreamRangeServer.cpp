#include "media/streaming/StreamRangeServer.h"

#include "media/camera/CameraVideoStream.h"
#include "media/streaming/StreamRangeConnection.h"

#include <QRandomGenerator>

#include <array>

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

StreamRangeServer::StreamRangeServer(QObject* parent) : QObject(parent)
{
    connect(&server_, &QTcpServer::newConnection, this, &StreamRangeServer::accept);
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
    return int(findChildren<StreamRangeConnection*>(Qt::FindDirectChildrenOnly).size());
}

void StreamRangeServer::accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        new StreamRangeConnection(socket, [this](const QString& path) { return lookup(path); }, this);
    }
}

std::shared_ptr<CameraVideoStream> StreamRangeServer::lookup(const QString& path) const
{
    return assets_.value(path);
}

} // namespace pivra
