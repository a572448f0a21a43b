#include "media/camera/CameraVideoStream.h"
#include "media/streaming/StreamRangeServer.h"
#include "media/video/VideoInput.h"

#include "support/ParamNames.h"
#include "support/files/VideoMaker.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QNetworkInterface>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

extern "C" {
#include <libavformat/avformat.h>
}

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace pivra::test {
namespace {

// A device file served from memory in replies of at most 100,000 bytes, so
// every piece the stream asks for comes in short parts. With `hold`, reads
// wait until the test lets them go.
class FakeReader {
public:
    explicit FakeReader(QByteArray content) : content_(std::move(content)) {}

    CameraVideoStream::Reader reader()
    {
        return [this](const QString&, std::int64_t offset, std::int64_t length, CameraReadCompletion completion) {
            std::unique_lock lock(mutex_);
            ++calls_;
            if (hold_) {
                held_.push_back([=, this] { reply(offset, length, completion); });
                return;
            }
            lock.unlock();
            reply(offset, length, completion);
        };
    }

    int calls() const
    {
        const std::lock_guard lock(mutex_);
        return calls_;
    }

    void hold(bool hold)
    {
        std::vector<std::function<void()>> held;
        {
            const std::lock_guard lock(mutex_);
            hold_ = hold;
            held.swap(held_);
        }
        for (const auto& reply : held) {
            reply();
        }
    }

private:
    void reply(std::int64_t offset, std::int64_t length, const CameraReadCompletion& completion) const
    {
        completion(content_.mid(offset, std::min<std::int64_t>(length, 100000)), std::nullopt);
    }

    const QByteArray content_;
    mutable std::mutex mutex_;
    int calls_ = 0;
    bool hold_ = false;
    std::vector<std::function<void()>> held_;
};

QByteArray patterned(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        bytes[i] = char((i * 131 + i / 4099) & 0xFF);
    }
    return bytes;
}

std::shared_ptr<CameraVideoStream> makeStream(FakeReader& reader, qsizetype size, const QString& name)
{
    MediaItem item;
    item.setPath(QStringLiteral("pivra-camera://phone/1/") + name);
    item.setName(name);
    item.setFileSize(size);
    return std::make_shared<CameraVideoStream>(item, reader.reader());
}

struct HttpReply {
    int status = 0;
    QMap<QByteArray, QByteArray> fields; // names in lower case
    QByteArray body;
};

QByteArray requestHead(const QByteArray& method, const QByteArray& target, const QByteArray& fields = {})
{
    return method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + fields + "\r\n";
}

// Sends `head` raw and reads until the server closes the connection.
HttpReply exchange(const QUrl& url, const QByteArray& head)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(url.host()), quint16(url.port()));
    // The server accepts on this thread: a blocking wait would hold it from
    // making room in its backlog, which idle clients may have filled.
    EXPECT_TRUE(QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 60000));
    socket.write(head);
    QByteArray received;
    const bool closed = QTest::qWaitFor(
        [&] {
            received += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        20000);
    EXPECT_TRUE(closed);
    received += socket.readAll();
    HttpReply reply;
    const qsizetype end = received.indexOf("\r\n\r\n");
    if (end < 0) {
        return reply;
    }
    const QList<QByteArray> lines = received.first(end).split('\n');
    reply.status = lines.front().split(' ').value(1).toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        reply.fields.insert(lines[i].first(colon).trimmed().toLower(), lines[i].sliced(colon + 1).trimmed());
    }
    reply.body = received.sliced(end + 4);
    return reply;
}

QByteArray target(const QUrl& url)
{
    return url.path(QUrl::FullyEncoded).toLatin1();
}

constexpr qsizetype fileSize = 1000000;

struct RangeCase {
    const char* name;
    const char* method;
    const char* range; // the Range header's value; none when null
    int status;
    const char* contentRange; // none when null
    qsizetype start = 0;      // of the body, or of what Content-Length counts for a HEAD
    qsizetype length = 0;
};

class StreamRangeServerRangeTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(StreamRangeServerRangeTest, AnswersWithExactlyTheBytesAndHeadersAsked)
{
    const RangeCase& row = GetParam();
    const QByteArray content = patterned(fileSize);
    FakeReader reader(content);
    StreamRangeServer server;
    const QUrl url = server.registerAsset(makeStream(reader, fileSize, QStringLiteral("IMG_0001.MOV")));
    ASSERT_TRUE(url.isValid());

    const QByteArray fields = row.range ? "Range: " + QByteArray(row.range) + "\r\n" : QByteArray();
    const HttpReply reply = exchange(url, requestHead(row.method, target(url), fields));

    EXPECT_EQ(reply.status, row.status);
    EXPECT_EQ(reply.fields.value("content-range"), QByteArray(row.contentRange));
    EXPECT_EQ(reply.fields.value("connection"), "close");
    if (row.status == 200 || row.status == 206) {
        EXPECT_EQ(reply.fields.value("content-type"), "video/quicktime");
        EXPECT_EQ(reply.fields.value("accept-ranges"), "bytes");
        EXPECT_EQ(reply.fields.value("content-length").toLongLong(), row.length);
    } else {
        EXPECT_EQ(reply.fields.value("content-length"), "0");
    }
    const bool withBody = QByteArray(row.method) == "GET" && row.status < 300;
    EXPECT_TRUE(reply.body == (withBody ? content.mid(row.start, row.length) : QByteArray()))
        << "body of " << reply.body.size() << " bytes";
    if (!withBody) {
        EXPECT_EQ(reader.calls(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, StreamRangeServerRangeTest,
    ::testing::Values(
        RangeCase{"whole file", "GET", nullptr, 200, nullptr, 0, fileSize},
        RangeCase{"first hundred bytes", "GET", "bytes=0-99", 206, "bytes 0-99/1000000", 0, 100},
        RangeCase{"a middle range", "GET", "bytes=123457-723456", 206, "bytes 123457-723456/1000000", 123457, 600000},
        RangeCase{"open ended", "GET", "bytes=500000-", 206, "bytes 500000-999999/1000000", 500000, 500000},
        RangeCase{"end beyond the size", "GET", "bytes=999999-5000000", 206, "bytes 999999-999999/1000000", 999999, 1},
        RangeCase{"suffix", "GET", "bytes=-1000", 206, "bytes 999000-999999/1000000", 999000, 1000},
        RangeCase{"suffix longer than the file", "GET", "bytes=-2000000", 206, "bytes 0-999999/1000000", 0, fileSize},
        RangeCase{"start at the size", "GET", "bytes=1000000-", 416, "bytes */1000000"},
        RangeCase{"start beyond the size", "GET", "bytes=2000000-2000010", 416, "bytes */1000000"},
        RangeCase{"empty suffix", "GET", "bytes=-0", 416, "bytes */1000000"},
        RangeCase{"head of the whole file", "HEAD", nullptr, 200, nullptr, 0, fileSize},
        RangeCase{"head of a range", "HEAD", "bytes=10-19", 206, "bytes 10-19/1000000", 10, 10},
        RangeCase{"reversed range", "GET", "bytes=5-3", 400, nullptr},
        RangeCase{"several ranges", "GET", "bytes=0-1,5-6", 400, nullptr},
        RangeCase{"signed start", "GET", "bytes=+1-5", 400, nullptr},
        RangeCase{"unknown unit", "GET", "items=0-5", 400, nullptr},
        RangeCase{"post", "POST", nullptr, 405, nullptr},
        RangeCase{"delete", "DELETE", "bytes=0-5", 405, nullptr}),
    rowName);

TEST(StreamRangeServerTest, RefusesEveryPathItDidNotHandOut)
{
    FakeReader reader(patterned(1000));
    StreamRangeServer server;
    const auto stream = makeStream(reader, 1000, QStringLiteral("IMG_0002.MP4"));
    const QUrl url = server.registerAsset(stream);
    const QUrl other = server.registerAsset(makeStream(reader, 1000, QStringLiteral("IMG_0003.MP4")));
    const QString token = url.path().section(QLatin1Char('/'), 1, 1);
    EXPECT_EQ(token.size(), 32);
    EXPECT_EQ(exchange(url, requestHead("GET", target(url))).body.size(), 1000);
    EXPECT_EQ(exchange(url, requestHead("GET", target(url), "Range: bytes=0-0\r\n")).fields.value("content-type"),
              "video/mp4");

    const QByteArray tokenPath = "/" + token.toLatin1();
    const QByteArrayList paths{"/",         tokenPath, tokenPath + "/IMG_0003.MP4", "/" + QByteArray(32, 'a') + "/IMG_0002.MP4",
                               target(url) + "/x", target(url).chopped(1), target(url).replace("/IMG", "%2FIMG"),
                               target(url).replace("/IMG", "%2fIMG")};
    for (const QByteArray& path : paths) {
        EXPECT_EQ(exchange(url, requestHead("GET", path)).status, 404) << path.constData();
    }
    EXPECT_EQ(exchange(url, "GARBAGE\r\n\r\n").status, 400);

    server.unregister(other);
    EXPECT_EQ(exchange(other, requestHead("GET", target(other))).status, 404);
    stream->invalidate(); // still registered, but ended: refused before any byte is read
    EXPECT_EQ(exchange(url, requestHead("GET", target(url))).status, 404);
    EXPECT_EQ(reader.calls(), 2);
}

TEST(StreamRangeServerTest, ListensOnTheLoopbackInterfaceOnly)
{
    FakeReader reader(patterned(10));
    StreamRangeServer server;
    ASSERT_TRUE(server.isListening());
    EXPECT_EQ(server.address(), QHostAddress(QHostAddress::LocalHost));
    const QUrl url = server.registerAsset(makeStream(reader, 10, QStringLiteral("clip.mov")));
    EXPECT_EQ(url.scheme(), "http");
    EXPECT_EQ(url.host(), "127.0.0.1");
    EXPECT_NE(url.port(), 0);
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address.isLoopback() || address.protocol() != QAbstractSocket::IPv4Protocol) {
            continue;
        }
        QTcpSocket socket;
        socket.connectToHost(address, quint16(url.port()));
        EXPECT_FALSE(socket.waitForConnected(5000)) << qPrintable(address.toString());
    }
}

TEST(StreamRangeServerTest, AClientThatHangsUpStopsTheDeviceReads)
{
    constexpr qsizetype size = 8 * 1024 * 1024;
    FakeReader reader(patterned(size));
    StreamRangeServer server;
    const QUrl url = server.registerAsset(makeStream(reader, size, QStringLiteral("IMG_0004.MOV")));
    reader.hold(true);

    QTcpSocket client;
    client.connectToHost(QHostAddress(url.host()), quint16(url.port()));
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write(requestHead("GET", target(url)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return reader.calls() == 1; }, 5000));
    reader.hold(true); // the first short reply; the next part of the piece waits
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.bytesAvailable() > 100000 && reader.calls() == 2; }, 5000));

    client.abort();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, 5000));
    reader.hold(false); // the late reply is dropped and asks for nothing more

    // A later request on the same stream is queued behind the late reply.
    EXPECT_EQ(exchange(url, requestHead("GET", target(url), "Range: bytes=0-0\r\n")).body.size(), 1);
    EXPECT_EQ(reader.calls(), 3);
}

// Client sockets made here live in this process too: the descriptor limit,
// lowered to what the clients and a bounded server need, runs out as soon as
// the server keeps every idle connection open.
class DescriptorLimit {
public:
    explicit DescriptorLimit(rlim_t spare)
    {
        getrlimit(RLIMIT_NOFILE, &saved_);
        const auto open = rlim_t(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files).size());
        rlimit lowered = saved_;
        lowered.rlim_cur = std::min(saved_.rlim_cur, open + spare);
        setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorLimit() { setrlimit(RLIMIT_NOFILE, &saved_); }

private:
    rlimit saved_{};
};

TEST(StreamRangeServerTest, IdleClientsNeverLockOutARequest)
{
    constexpr int idleClients = 1000;
    FakeReader reader(patterned(1000));
    {
        // The idle clients' head time outlasts the test, so they go only to
        // make way: a request locked out behind them would get no answer.
        StreamRangeServer server(StreamRangeServer::Limits{64, std::chrono::minutes(5)});
        const QUrl url = server.registerAsset(makeStream(reader, 1000, QStringLiteral("IMG_0005.MP4")));
        const DescriptorLimit limit(idleClients + 200);
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        int connected = 0;
        for (int i = 0; i < idleClients; ++i) {
            idle.push_back(std::make_unique<QTcpSocket>());
            QObject::connect(idle.back().get(), &QTcpSocket::connected, [&] { ++connected; });
            idle.back()->connectToHost(QHostAddress(url.host()), quint16(url.port()));
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return connected == idleClients; }, 60000)) << connected;
        EXPECT_LE(server.openConnections(), 64);

        EXPECT_EQ(exchange(url, requestHead("GET", target(url))).body.size(), 1000);
    }

    // A client that never ends its request head is let go.
    StreamRangeServer server(StreamRangeServer::Limits{64, std::chrono::milliseconds(300)});
    const QUrl url = server.registerAsset(makeStream(reader, 1000, QStringLiteral("IMG_0005.MP4")));
    QTcpSocket slow;
    slow.connectToHost(QHostAddress(url.host()), quint16(url.port()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return slow.state() == QAbstractSocket::ConnectedState; }, 20000));
    slow.write("GET / HTTP/1.1\r\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return slow.state() == QAbstractSocket::UnconnectedState; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, 5000));
}

// A client with a tiny receive window that sends a request and never reads
// the reply, so the server's writes stall at once. It connects without
// blocking, since the server accepts on this thread.
class NonReadingClient {
public:
    NonReadingClient(const QUrl& url, QByteArray head)
        : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0)), head_(std::move(head))
    {
        const int window = 4096;
        setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(url.port()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    }
    ~NonReadingClient() { ::close(socket_); }
    NonReadingClient(const NonReadingClient&) = delete;
    NonReadingClient& operator=(const NonReadingClient&) = delete;

    // Sends the request once connected; true once it is sent.
    bool sent()
    {
        if (!sent_) {
            sent_ = ::send(socket_, head_.constData(), size_t(head_.size()), MSG_NOSIGNAL) == head_.size();
        }
        return sent_;
    }

private:
    int socket_;
    QByteArray head_;
    bool sent_ = false;
};

TEST(StreamRangeServerTest, ClientsThatStopReadingNeverLockOutARequest)
{
    constexpr qsizetype size = 16 * 1024 * 1024;
    FakeReader reader(patterned(size));
    // The stalled clients are kept past the wait for an answer below, so a
    // request they locked out would go unanswered.
    StreamRangeServer server(StreamRangeServer::Limits{.sendTime = std::chrono::minutes(10)});
    const QUrl url = server.registerAsset(makeStream(reader, size, QStringLiteral("IMG_0006.MOV")));
    std::vector<std::unique_ptr<NonReadingClient>> stalled;
    for (int i = 0; i < 64; ++i) {
        stalled.push_back(std::make_unique<NonReadingClient>(url, requestHead("GET", target(url))));
    }
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return std::all_of(stalled.begin(), stalled.end(), [](auto& client) { return client->sent(); }) &&
                   server.openConnections() == 64 && reader.calls() >= 64;
        },
        20000))
        << "every one is answered";

    EXPECT_EQ(exchange(url, requestHead("GET", target(url), "Range: bytes=0-999\r\n")).body.size(), 1000);
    EXPECT_LE(server.openConnections(), 64);

    // Alone, a client that stops reading is let go after the send time.
    StreamRangeServer patient(StreamRangeServer::Limits{.sendTime = std::chrono::milliseconds(300)});
    const QUrl patientUrl = patient.registerAsset(makeStream(reader, size, QStringLiteral("IMG_0007.MOV")));
    NonReadingClient client(patientUrl, requestHead("GET", target(patientUrl)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.sent() && patient.openConnections() == 1; }, 20000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return patient.openConnections() == 0; }, 20000));
}

TEST(StreamRangeServerTest, FfmpegProbesADeviceVideoThroughItsUrl)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("IMG_0005.MOV"));
    VideoFields fields;
    fields.frames = 50;
    ASSERT_TRUE(makeVideo(path, fields));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    FakeReader reader(content);
    StreamRangeServer server;
    const QUrl url = server.registerAsset(makeStream(reader, content.size(), QStringLiteral("IMG_0005.MOV")));

    const auto probe = [](const QString& location) {
        const VideoInput input = openVideoInput(location);
        if (!input || avformat_find_stream_info(input.get(), nullptr) < 0 || !firstVideoStream(input.get())) {
            return std::tuple(std::int64_t(-1), 0, 0);
        }
        const AVCodecParameters* video = firstVideoStream(input.get())->codecpar;
        return std::tuple(input->duration, video->width, video->height);
    };
    QFuture<std::tuple<std::int64_t, int, int>> remote = QtConcurrent::run(probe, url.toString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return remote.isFinished(); }, 30000));
    EXPECT_EQ(remote.result(), probe(path));
    EXPECT_EQ(std::get<1>(remote.result()), 320);
    EXPECT_GT(reader.calls(), 0);
}

} // namespace
} // namespace pivra::test
