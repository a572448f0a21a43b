#include "media/streaming/StreamRangeConnection.h"

#include "media/camera/CameraRangeRequest.h"

#include <QPointer>
#include <QThread>

#include <algorithm>

namespace pivra {

// One piece of a reply, as a loading request of the stream. The stream calls
// it on its own thread; everything it learns is posted to the connection,
// through a relay object that lives on the connection's thread as long as
// any piece does, so a post never meets a connection halfway deleted.
class RangeWindow final : public CameraRangeRequest {
public:
    RangeWindow(std::int64_t offset, std::int64_t length, StreamRangeConnection* connection,
                std::shared_ptr<QObject> relay)
        : CameraRangeRequest(offset, length), connection_(connection), relay_(std::move(relay))
    {
    }

    void respond(const QByteArray& data) override
    {
        advance(data.size());
        post([data](StreamRangeConnection& connection, const RangeWindow* window) {
            connection.received(window, data);
        });
    }

    void finish(std::optional<PivraError> error) override
    {
        post([error](StreamRangeConnection& connection, const RangeWindow* window) {
            connection.finished(window, error, false);
        });
    }

    void refuse() override
    {
        post([](StreamRangeConnection& connection, const RangeWindow* window) {
            connection.finished(window, std::nullopt, true);
        });
    }

private:
    template<typename Delivery>
    void post(Delivery delivery)
    {
        QMetaObject::invokeMethod(
            relay_.get(),
            [connection = connection_, window = this, delivery = std::move(delivery)] {
                if (connection) {
                    delivery(*connection, window);
                }
            },
            Qt::QueuedConnection);
    }

    const QPointer<StreamRangeConnection> connection_;
    const std::shared_ptr<QObject> relay_;
};

namespace {

// A head that never ends is not waited for.
constexpr qsizetype maxHeadBytes = 16 * 1024;

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 416:
        return "Range Not Satisfiable";
    default:
        return "Bad Gateway";
    }
}

QByteArray field(const QByteArray& name, const QByteArray& value)
{
    return name + ": " + value + "\r\n";
}

} // namespace

StreamRangeConnection::StreamRangeConnection(QTcpSocket* socket, Lookup lookup, std::chrono::milliseconds headTime,
                                             std::chrono::milliseconds sendTime, QObject* parent)
    : QObject(parent), socket_(socket), lookup_(std::move(lookup)),
      relay_(new QObject, [](QObject* relay) {
          // The last piece may be let go on the stream's thread.
          if (relay->thread() == QThread::currentThread()) {
              delete relay;
          } else {
              relay->deleteLater();
          }
      })
{
    socket_->setParent(this); // the listening server made it its own child
    // A reply's head and its first bytes go out in separate writes, which
    // Nagle's algorithm would hold back for the client's delayed ACK.
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(socket_, &QTcpSocket::readyRead, this, &StreamRangeConnection::readHead);
    connect(socket_, &QTcpSocket::bytesWritten, this, &StreamRangeConnection::wrote);
    connect(socket_, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    connect(socket_, &QTcpSocket::errorOccurred, this, &QObject::deleteLater);
    headTimer_.setSingleShot(true);
    connect(&headTimer_, &QTimer::timeout, this, &StreamRangeConnection::close);
    headTimer_.start(headTime);
    sendTimer_.setSingleShot(true);
    sendTimer_.setInterval(sendTime);
    connect(&sendTimer_, &QTimer::timeout, this, &StreamRangeConnection::close);
    if (socket_->state() != QAbstractSocket::ConnectedState) {
        deleteLater();
        return;
    }
    readHead();
}

StreamRangeConnection::~StreamRangeConnection()
{
    if (window_) {
        stream_->cancel(window_.get());
    }
}

void StreamRangeConnection::close()
{
    headTimer_.stop();
    sendTimer_.stop();
    status_ = 0;
    socket_->abort();
    deleteLater();
}

std::optional<std::chrono::milliseconds> StreamRangeConnection::stalledFor() const
{
    if (socket_->bytesToWrite() == 0 || !lastSent_.isValid()) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(lastSent_.elapsed());
}

void StreamRangeConnection::send(const QByteArray& bytes)
{
    socket_->write(bytes);
    if (!sendTimer_.isActive()) {
        lastSent_.start();
        sendTimer_.start();
    }
}

void StreamRangeConnection::wrote()
{
    if (socket_->bytesToWrite() == 0) {
        sendTimer_.stop();
    } else {
        lastSent_.start();
        sendTimer_.start();
    }
    requestNext();
}

void StreamRangeConnection::readHead()
{
    if (answering_) {
        socket_->readAll(); // one request per connection; whatever follows is not read
        return;
    }
    head_ += socket_->readAll();
    const qsizetype end = head_.indexOf("\r\n\r\n");
    if (end < 0) {
        if (head_.size() > maxHeadBytes) {
            answering_ = true;
            headTimer_.stop();
            reject(400);
        }
        return;
    }
    answering_ = true;
    headTimer_.stop();
    const std::optional<HttpRequestHead> request = parseRequestHead(QByteArrayView(head_).first(end));
    if (request) {
        answer(*request);
    } else {
        reject(400);
    }
}

void StreamRangeConnection::answer(const HttpRequestHead& request)
{
    const bool headOnly = request.method == "HEAD";
    if (!headOnly && request.method != "GET") {
        reject(405, field("Allow", "GET, HEAD"));
        return;
    }
    stream_ = lookup_(request.path);
    if (!stream_) {
        reject(404);
        return;
    }
    const std::int64_t size = stream_->size();
    const std::optional<ByteRange> range =
        request.range ? resolveByteRange(*request.range, size) : std::optional(ByteRange{0, size});
    if (!range) {
        reject(416, field("Content-Range", "bytes */" + QByteArray::number(size)));
        return;
    }
    range_ = *range;
    next_ = range_.start;
    status_ = request.range ? 206 : 200;
    if (headOnly || range_.length == 0) {
        writeHead();
        endReply();
        return;
    }
    requestNext();
}

void StreamRangeConnection::requestNext()
{
    const std::int64_t end = range_.start + range_.length;
    if (status_ == 0 || window_ || next_ >= end || socket_->bytesToWrite() >= CameraVideoStream::pieceBytes
        || socket_->state() != QAbstractSocket::ConnectedState) {
        return;
    }
    window_ = std::make_shared<RangeWindow>(next_, std::min(CameraVideoStream::pieceBytes, end - next_), this,
                                            relay_);
    next_ += window_->requestedLength();
    stream_->load(window_);
}

void StreamRangeConnection::received(const RangeWindow* window, const QByteArray& data)
{
    if (window != window_.get()) {
        return;
    }
    if (!headSent_) {
        writeHead();
    }
    send(data);
}

void StreamRangeConnection::finished(const RangeWindow* window, const std::optional<PivraError>& error,
                                     bool refused)
{
    if (window != window_.get()) {
        return;
    }
    const bool whole = !error && !refused && window_->currentOffset() == next_;
    window_.reset();
    if (!whole) {
        // Before the head, the client can still be told why; after it, only
        // a cut connection says that the body is not whole.
        if (headSent_) {
            close();
        } else {
            reject(refused ? 404 : 502);
        }
        return;
    }
    if (next_ < range_.start + range_.length) {
        requestNext();
    } else {
        endReply();
    }
}

void StreamRangeConnection::writeHead()
{
    QByteArray fields = field("Content-Type", stream_->contentType().toUtf8())
                        + field("Content-Length", QByteArray::number(range_.length))
                        + field("Accept-Ranges", "bytes");
    if (status_ == 206) {
        fields += field("Content-Range", "bytes " + QByteArray::number(range_.start) + '-'
                                             + QByteArray::number(range_.start + range_.length - 1) + '/'
                                             + QByteArray::number(stream_->size()));
    }
    writeStatus(status_, fields);
    headSent_ = true;
}

void StreamRangeConnection::reject(int status, const QByteArray& fields)
{
    writeStatus(status, fields + field("Content-Length", "0"));
    endReply();
}

void StreamRangeConnection::writeStatus(int status, const QByteArray& fields)
{
    send("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n" + fields
         + field("Connection", "close") + "\r\n");
}

void StreamRangeConnection::endReply()
{
    status_ = 0; // nothing more is asked of the stream
    socket_->disconnectFromHost();
}

} // namespace pivra
