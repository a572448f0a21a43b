#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

#include <chrono>
#include <optional>

class QTcpSocket;

namespace pivra::test {

// A plain HTTP server on 127.0.0.1 with fixed answers by path, standing in
// for the update feed and download host.
class LoopbackServer : public QObject {
public:
    struct Answer {
        int status = 200;
        QByteArray body;
        // Send only this many bytes of the body (after a Content-Length of the
        // whole), then close, or keep the connection open when `hold` is set.
        std::optional<qsizetype> sendOnly;
        bool hold = false;
        bool withoutLength = false; // no Content-Length: the body ends when the connection closes
        bool silent = false;        // accept the request and never answer
        // Send the body one byte at a time, this long apart.
        std::optional<std::chrono::milliseconds> drip;
    };

    LoopbackServer();

    void answer(const QString& path, Answer answer) { answers_.insert(path, std::move(answer)); }
    QUrl url(const QString& path) const;
    // How many times `path` was asked for.
    int requests(const QString& path) const { return requests_.value(path); }

private:
    void serve(QTcpSocket* socket);

    QTcpServer server_;
    QHash<QString, Answer> answers_;
    QHash<QString, int> requests_;
};

} // namespace pivra::test
