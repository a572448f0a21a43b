#pragma once

#include "media/streaming/HttpRequestHead.h"
#include "platform/PivraError.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace pivra {

class CameraVideoStream;
class RangeWindow;

// One client of the stream range server: reads one request head, answers it
// and closes. The body is asked of the stream one piece at a time, and the
// next piece only once the socket has sent most of the last, so a client that
// reads slowly slows the device reads down instead of filling memory. When
// the client hangs up, the piece in flight is cancelled and nothing more is
// read. A client that stops taking the bytes sent is cut once `sendTime` has
// passed without progress. Lives on the server's thread; the stream answers
// on its own, and its answers are posted over.
class StreamRangeConnection final : public QObject {
    Q_OBJECT

public:
    using Lookup = std::function<std::shared_ptr<CameraVideoStream>(const QString& path)>;

    // Takes the socket over; deletes itself once the socket has closed, when
    // no whole request head has come within `headTime`, or when its client
    // has taken none of the bytes waiting for it within `sendTime`.
    StreamRangeConnection(QTcpSocket* socket, Lookup lookup, std::chrono::milliseconds headTime,
                          std::chrono::milliseconds sendTime, QObject* parent);
    ~StreamRangeConnection() override;

    // Whether its request head has come (it is being answered).
    bool hasRequest() const { return answering_; }
    // How long bytes have waited for its client without any being taken;
    // none while nothing waits.
    std::optional<std::chrono::milliseconds> stalledFor() const;
    // Cuts the connection and deletes itself.
    void close();

    // The stream's answers for the piece in flight (a refused piece: the
    // stream was invalidated); answers for any other piece are dropped.
    void received(const RangeWindow* window, const QByteArray& data);
    void finished(const RangeWindow* window, const std::optional<PivraError>& error, bool refused);

private:
    void readHead();
    void answer(const HttpRequestHead& request);
    void requestNext();
    void writeHead();
    void reject(int status, const QByteArray& fields = {});
    void writeStatus(int status, const QByteArray& fields);
    void endReply();
    void send(const QByteArray& bytes);
    // The client took bytes.
    void wrote();

    QTcpSocket* socket_;
    Lookup lookup_;
    QByteArray head_;
    QTimer headTimer_;
    QTimer sendTimer_;
    QElapsedTimer lastSent_; // since the client last took bytes
    bool answering_ = false;
    bool headSent_ = false;
    int status_ = 0; // of the reply whose body is under way, 0 before and after
    std::shared_ptr<CameraVideoStream> stream_;
    ByteRange range_;
    std::int64_t next_ = 0; // the first byte not yet asked for
    std::shared_ptr<RangeWindow> window_; // the piece in flight
    std::shared_ptr<QObject> relay_;      // where the stream's answers are posted to
};

} // namespace pivra
