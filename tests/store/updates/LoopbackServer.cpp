#include "LoopbackServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

namespace pivra::test {

LoopbackServer::LoopbackServer()
{
    server_.listen(QHostAddress::LocalHost);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        }
    });
}

QUrl LoopbackServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
}

void LoopbackServer::serve(QTcpSocket* socket)
{
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    if (!request.contains("\r\n\r\n")) {
        return;
    }
    const QString path = QString::fromLatin1(request.split(' ').value(1));
    ++requests_[path];
    const Answer found = answers_.value(path, Answer{404, "not found"});
    if (found.silent) {
        return;
    }
    const QByteArray length =
        found.withoutLength ? QByteArray() : "Content-Length: " + QByteArray::number(found.body.size()) + "\r\n";
    socket->write("HTTP/1.1 " + QByteArray::number(found.status) + " Answer\r\n" + length
                  + "Connection: close\r\n\r\n");
    const QByteArray body = found.body.left(found.sendOnly.value_or(found.body.size()));
    if (found.drip) {
        auto* timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, [socket, timer, body, sent = qsizetype(0)]() mutable {
            socket->write(body.mid(sent++, 1));
            if (sent == body.size()) {
                timer->stop();
                socket->disconnectFromHost();
            }
        });
        timer->start(*found.drip);
        return;
    }
    socket->write(body);
    if (!found.hold) {
        socket->disconnectFromHost();
    }
}

} // namespace pivra::test
