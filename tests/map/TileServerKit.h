#pragma once
// A tile server on the loopback interface for the map's imagery.

#include <QBuffer>
#include <QHash>
#include <QImage>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>

namespace pivra::test {

// Serves every path as one PNG tile of a single colour on 127.0.0.1, with a
// day's freshness, and remembers the paths asked for. While `failing` it
// answers 503; a path in `silentPaths` is never answered, one in `bodies`
// with its own bytes.
class TileServer : public QObject {
public:
    explicit TileServer(QColor color)
    {
        QBuffer png(&tile_);
        png.open(QIODevice::WriteOnly);
        QImage image(256, 256, QImage::Format_RGB32);
        image.fill(color);
        image.save(&png, "PNG");
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { answer(socket); });
            }
        });
    }

    QString urlTemplate() const
    {
        return QStringLiteral("http://127.0.0.1:%1/tiles/{z}/{x}/{y}.png").arg(server_.serverPort());
    }
    QStringList paths;
    QByteArrayList userAgents;
    bool failing = false;
    QSet<QString> silentPaths;
    QHash<QString, QByteArray> bodies;

private:
    void answer(QTcpSocket* socket)
    {
        buffered_[socket] += socket->readAll();
        const QByteArray request = buffered_[socket];
        if (!request.contains("\r\n\r\n")) {
            return;
        }
        buffered_.remove(socket);
        const QString path = QString::fromLatin1(request.split(' ').value(1));
        paths << path;
        for (const QByteArray& line : request.split('\n')) {
            if (line.toLower().startsWith("user-agent:")) {
                userAgents << line.mid(11).trimmed();
            }
        }
        if (silentPaths.contains(path)) {
            return;
        }
        if (failing) {
            socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n");
            return;
        }
        const QByteArray body = bodies.value(path, tile_);
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nCache-Control: max-age=86400\r\nContent-Length: "
                      + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    }

    QTcpServer server_;
    QByteArray tile_;
    QHash<QTcpSocket*, QByteArray> buffered_;
};

} // namespace pivra::test
