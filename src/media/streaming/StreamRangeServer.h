#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <memory>

namespace pivra {

class CameraVideoStream;
class StreamRangeConnection;

// Offers device videos over HTTP on the loopback interface, for a media
// player that can open a URL but cannot be handed a reader of its own. Each
// registered stream gets "http://127.0.0.1:<port>/<token>/<file name>", where
// the token is 128 random bits: only a client that was given the URL reaches
// the stream, and any other path is answered 404.
//
// It answers GET and HEAD, whole (200) or one byte range (206), one request
// per connection: the reply is sent with "Connection: close", so no
// connection idles between requests. Players open a new connection for each
// seek anyway, and a closed connection is the one signal that the client lost
// interest, which stops the device reads.
//
// Idle clients cannot lock it: a connection that has not sent its whole
// request head within `headTime` is closed, one whose client has taken none
// of the bytes sent for `sendTime` too, and at most `connections` are open at
// once. When one more arrives at the bound, the oldest still waiting for its
// head makes way, else the one whose client has taken nothing for longest,
// once that is `stallTime`; when every one is answering a client that reads,
// new ones wait in the system's queue until one ends. Running out of
// descriptors is weathered the same way instead of stopping the server for
// good.
//
// Lives on the thread it is made on (the GUI thread in the program: it only
// moves bytes between sockets and the streams, which read the device on
// threads of their own).
class StreamRangeServer final : public QObject {
    Q_OBJECT

public:
    struct Limits {
        int connections = 64;
        std::chrono::milliseconds headTime{10000};
        std::chrono::milliseconds sendTime{30000};
        // A player reads in bursts: a pause this short is no stall.
        std::chrono::milliseconds stallTime{250};
    };

    // Listens at once on 127.0.0.1, on a port the system picks. (Default
    // limits through an overload: GCC rejects `Limits limits = {}` inside the
    // class whose nested type has member initializers.)
    explicit StreamRangeServer(QObject* parent = nullptr);
    explicit StreamRangeServer(Limits limits, QObject* parent = nullptr);
    ~StreamRangeServer() override;

    bool isListening() const { return server_.isListening(); }
    QHostAddress address() const { return server_.serverAddress(); }

    // Offers the stream under a fresh URL until unregistered; empty when the
    // server could not listen. The server keeps the stream alive meanwhile,
    // and each connection reading from it until the connection ends.
    QUrl registerAsset(std::shared_ptr<CameraVideoStream> stream);
    // Later requests for the URL are refused; replies under way go on until
    // the stream is invalidated or their client hangs up.
    void unregister(const QUrl& url);

    // Connections accepted and not yet closed.
    int openConnections() const;

private:
    void accept();
    bool makeWay();
    void ended(QObject* connection);
    void acceptFailed();
    std::shared_ptr<CameraVideoStream> lookup(const QString& path) const;

    const Limits limits_;
    QTcpServer server_;
    QList<StreamRangeConnection*> connections_; // open ones, oldest first
    bool waiting_ = false; // accepting is paused until a connection ends
    QTimer stallCheck_;    // while waiting: when a stalled connection may make way
    QHash<QString, std::shared_ptr<CameraVideoStream>> assets_; // by the decoded URL path
};

} // namespace pivra
