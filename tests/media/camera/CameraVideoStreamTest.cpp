#include "media/camera/CameraVideoStream.h"

#include "media/camera/CameraFileHelpers.h"
#include "media/camera/CameraSourceManager.h"
#include "platform/cameras/GPhotoBackend.h"
#include "platform/runtime/Drain.h"
#include "support/fakes/FakeCameraBackend.h"
#include "support/files/VideoMaker.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <vector>

namespace pivra {
namespace {

using namespace std::chrono_literals;

// What the strand does is seen from the test thread; every wait is bounded.
template<typename Condition>
bool eventually(std::mutex& mutex, std::condition_variable& changed, Condition condition,
                std::chrono::milliseconds wait = 5s)
{
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, wait, condition);
}

class RecordingRequest final : public CameraLoadingRequest {
public:
    RecordingRequest(std::int64_t offset, std::int64_t length, bool toEnd = false, bool data = true)
        : offset_(offset), length_(length), toEnd_(toEnd), data_(data), current_(offset)
    {
    }

    bool wantsContentInformation() const override { return true; }
    void setContentInformation(const QString& contentType, std::int64_t length) override
    {
        const std::lock_guard guard(mutex_);
        contentType_ = contentType;
        contentLength_ = length;
    }
    bool wantsData() const override { return data_; }
    std::int64_t requestedOffset() const override { return offset_; }
    std::int64_t requestedLength() const override { return length_; }
    bool requestsAllDataToEnd() const override { return toEnd_; }
    std::int64_t currentOffset() const override { return current_; }
    void respond(const QByteArray& data) override
    {
        const std::lock_guard guard(mutex_);
        received_ += data;
        current_ += data.size();
    }
    void finish(std::optional<PivraError> error) override { end([&] { outcome_ = std::move(error); }); }
    void refuse() override { end([&] { refused_ = true; }); }

    // Waits for finish() or refuse().
    bool ended(std::chrono::milliseconds wait = 5s)
    {
        return eventually(mutex_, changed_, [this] { return outcome_ || refused_; }, wait);
    }
    std::optional<PivraError> error() const { return outcome_ ? *outcome_ : std::nullopt; }
    bool refused() const { return refused_; }
    bool finished() const { return outcome_.has_value(); }
    QByteArray received() const { return received_; }
    QString contentType() const { return contentType_; }
    std::int64_t contentLength() const { return contentLength_; }

private:
    template<typename Change>
    void end(Change change)
    {
        {
            const std::lock_guard guard(mutex_);
            EXPECT_FALSE(outcome_ || refused_) << "a request ended twice";
            change();
        }
        changed_.notify_all();
    }

    const std::int64_t offset_;
    const std::int64_t length_;
    const bool toEnd_;
    const bool data_;
    std::int64_t current_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    QByteArray received_;
    std::optional<std::optional<PivraError>> outcome_;
    bool refused_ = false;
    QString contentType_;
    std::int64_t contentLength_ = -1;
};

enum class Reply { whole, half, tooMany, empty, failure };

// A device file whose byte at offset i is i % 251, read as `reply` says. With
// `hold`, calls wait in `calls` until the test completes them.
struct FakeDevice {
    Reply reply = Reply::whole;
    bool hold = false;

    struct Call {
        std::int64_t offset;
        std::int64_t length;
        CameraReadCompletion completion;
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Call> calls;

    static QByteArray bytes(std::int64_t offset, std::int64_t length)
    {
        QByteArray data(length, Qt::Uninitialized);
        for (qsizetype index = 0; index < data.size(); ++index) {
            data[index] = static_cast<char>((offset + index) % 251);
        }
        return data;
    }

    static PivraError unplugged()
    {
        return {QStringLiteral("Pivra.CameraStream"), 1,
                QStringLiteral("The iPhone is disconnected or the video is unavailable.")};
    }

    void answer(std::int64_t offset, std::int64_t length, const CameraReadCompletion& completion) const
    {
        switch (reply) {
        case Reply::whole: return completion(bytes(offset, length), std::nullopt);
        case Reply::half: return completion(bytes(offset, (length + 1) / 2), std::nullopt);
        case Reply::tooMany: return completion(bytes(offset, length + 1), std::nullopt);
        case Reply::empty: return completion(QByteArray(), std::nullopt);
        case Reply::failure: return completion(std::nullopt, unplugged());
        }
    }

    CameraVideoStream::Reader reader()
    {
        return [this](const QString& path, std::int64_t offset, std::int64_t length,
                      CameraReadCompletion completion) {
            EXPECT_EQ(path, QStringLiteral("pivra-camera://phone/1/IMG_0001.MOV"));
            {
                const std::lock_guard guard(mutex);
                calls.push_back({offset, length, hold ? completion : nullptr});
            }
            changed.notify_all();
            if (!hold) {
                answer(offset, length, completion);
            }
        };
    }

    bool calledTimes(std::size_t count)
    {
        return eventually(mutex, changed, [&] { return calls.size() == count; });
    }
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges()
    {
        const std::lock_guard guard(mutex);
        std::vector<std::pair<std::int64_t, std::int64_t>> result;
        for (const Call& call : calls) {
            result.emplace_back(call.offset, call.length);
        }
        return result;
    }
};

MediaItem deviceVideo(const QString& name, std::int64_t size)
{
    MediaItem item;
    item.setPath(QStringLiteral("pivra-camera://phone/1/IMG_0001.MOV"));
    item.setName(name);
    item.setFileSize(size);
    return item;
}

// The strand runs in order, so once a request that needs no bytes has
// finished, everything loaded before it has been handled.
void settle(CameraVideoStream& stream)
{
    const auto probe = std::make_shared<RecordingRequest>(0, 0, false, false);
    stream.load(probe);
    ASSERT_TRUE(probe->ended());
}

struct RangeCase {
    const char* name;
    std::int64_t size;
    std::int64_t offset;
    std::int64_t length;
    bool toEnd;
    Reply reply;
    std::vector<std::pair<std::int64_t, std::int64_t>> reads;
    std::optional<QString> error; // none: finished with every byte of the range
};

class CameraVideoStreamRangeTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(CameraVideoStreamRangeTest, ReadsTheRangeInPiecesAndEndsAsTheRulesSay)
{
    const RangeCase& row = GetParam();
    FakeDevice device;
    device.reply = row.reply;
    CameraVideoStream stream(deviceVideo(QStringLiteral("IMG_0001.MOV"), row.size), device.reader());
    const auto request = std::make_shared<RecordingRequest>(row.offset, row.length, row.toEnd);
    stream.load(request);

    ASSERT_TRUE(request->ended());
    EXPECT_TRUE(request->finished());
    EXPECT_EQ(device.ranges(), row.reads);
    if (row.error) {
        ASSERT_TRUE(request->error());
        EXPECT_EQ(request->error()->description, *row.error);
        EXPECT_EQ(request->error()->domain, QStringLiteral("Pivra.CameraStream"));
        EXPECT_EQ(request->error()->code, row.reply == Reply::failure ? 1 : 2);
    } else {
        EXPECT_FALSE(request->error());
        std::int64_t received = 0;
        for (const auto& read : row.reads) {
            received = read.first + read.second - row.offset;
        }
        EXPECT_EQ(request->received(), FakeDevice::bytes(row.offset, received));
    }
    EXPECT_EQ(request->contentLength(), std::max<std::int64_t>(row.size, 0));
}

constexpr std::int64_t piece = CameraVideoStream::pieceBytes;
constexpr std::int64_t huge = std::numeric_limits<std::int64_t>::max();
const QString stoppedSending = QStringLiteral("The iPhone stopped sending video data.");

INSTANTIATE_TEST_SUITE_P(
    Ranges, CameraVideoStreamRangeTest,
    ::testing::Values(
        RangeCase{"OneSmallRead", 1000, 0, 100, false, Reply::whole, {{0, 100}}, {}},
        RangeCase{"PiecesInOrder", 1000000, 0, 600000, false, Reply::whole,
                  {{0, piece}, {piece, piece}, {2 * piece, 75712}}, {}},
        RangeCase{"ToTheEnd", 1000000, 0, 5, true, Reply::whole,
                  {{0, piece}, {piece, piece}, {2 * piece, piece}, {3 * piece, 1000000 - 3 * piece}}, {}},
        RangeCase{"StartAtTheSize", 1000, 1000, 10, false, Reply::whole, {}, {}},
        RangeCase{"StartBeyondTheSize", 1000, 1001, 10, false, Reply::whole, {},
                  QStringLiteral("Invalid video byte range.")},
        RangeCase{"UnknownSizeServesNothing", -1, 0, 10, false, Reply::whole, {}, {}},
        RangeCase{"LengthCutAtTheSize", 1000, 900, 500, false, Reply::whole, {{900, 100}}, {}},
        RangeCase{"OverflowingEndIsTheSize", 1000, 10, huge, false, Reply::whole, {{10, 990}}, {}},
        RangeCase{"NegativeLengthIsEmpty", 1000, 10, -5, false, Reply::whole, {}, {}},
        RangeCase{"ShortRepliesGoOn", 1000, 0, 100, false, Reply::half, {{0, 100}, {50, 50}, {75, 25}, {88, 12},
                  {94, 6}, {97, 3}, {99, 1}}, {}},
        RangeCase{"MoreThanAsked", 1000, 0, 100, false, Reply::tooMany, {{0, 100}}, stoppedSending},
        RangeCase{"EmptyReply", 1000, 0, 100, false, Reply::empty, {{0, 100}}, stoppedSending},
        RangeCase{"ReaderErrorPassedOn", 1000, 0, 100, false, Reply::failure, {{0, 100}},
                  QStringLiteral("The iPhone is disconnected or the video is unavailable.")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CameraVideoStreamTest, AnnouncesTheTypeOfTheNameAndNamesTheAssetInLowerCase)
{
    const struct {
        const char* name;
        const char* type;
        const char* suffix;
    } rows[] = {
        {"IMG_0001.MOV", "video/quicktime", ".mov"},
        {"clip.Mp4", "video/mp4", ".mp4"},
        {"clip.zzqx", "video/quicktime", ".zzqx"},
        {"noextension", "video/quicktime", "."},
        {"odd.m v", "video/quicktime", ".m%20v"},
    };
    FakeDevice device;
    for (const auto& row : rows) {
        const MediaItem item = deviceVideo(QString::fromUtf8(row.name), 10);
        CameraVideoStream stream(item, device.reader());
        EXPECT_EQ(stream.contentType(), QString::fromUtf8(row.type)) << row.name;
        const QString asset = CameraVideoStream::assetName(item);
        const QRegularExpression shape(QStringLiteral("^pivra-stream://media/[0-9A-F-]{36}\\.[^/]*$"));
        EXPECT_TRUE(shape.match(asset).hasMatch()) << asset.toStdString();
        EXPECT_TRUE(asset.endsWith(QString::fromUtf8(row.suffix))) << asset.toStdString();

        const auto information = std::make_shared<RecordingRequest>(0, 0, false, false);
        stream.load(information);
        ASSERT_TRUE(information->ended());
        EXPECT_EQ(information->contentType(), stream.contentType());
        EXPECT_EQ(information->contentLength(), 10);
    }
    EXPECT_TRUE(device.ranges().empty());
    EXPECT_NE(CameraVideoStream::assetName(deviceVideo(QStringLiteral("a.mov"), 1)),
              CameraVideoStream::assetName(deviceVideo(QStringLiteral("a.mov"), 1)));
}

TEST(CameraVideoStreamTest, ACancelledRequestsLateReadIsDropped)
{
    FakeDevice device;
    device.hold = true;
    CameraVideoStream stream(deviceVideo(QStringLiteral("IMG_0001.MOV"), 1000), device.reader());
    const auto request = std::make_shared<RecordingRequest>(0, 100);
    stream.load(request);
    ASSERT_TRUE(device.calledTimes(1));

    stream.cancel(request.get());
    settle(stream);
    device.calls[0].completion(FakeDevice::bytes(0, 100), std::nullopt);
    settle(stream);

    EXPECT_FALSE(request->finished());
    EXPECT_TRUE(request->received().isEmpty());
    EXPECT_EQ(device.calls.size(), 1u);
}

TEST(CameraVideoStreamTest, InvalidateFailsPendingRequestsRefusesNewOnesAndDropsLateReads)
{
    FakeDevice device;
    device.hold = true;
    CameraVideoStream stream(deviceVideo(QStringLiteral("IMG_0001.MOV"), 1000), device.reader());
    const auto first = std::make_shared<RecordingRequest>(0, 100);
    const auto second = std::make_shared<RecordingRequest>(500, 100);
    stream.load(first);
    stream.load(second);
    ASSERT_TRUE(device.calledTimes(2)); // side by side, one read each

    stream.invalidate();
    for (const auto& request : {first, second}) {
        ASSERT_TRUE(request->ended());
        ASSERT_TRUE(request->error());
        EXPECT_EQ(*request->error(), CameraVideoStream::error(QStringLiteral("Video playback stopped.")));
    }
    device.calls[0].completion(FakeDevice::bytes(0, 100), std::nullopt);
    const auto late = std::make_shared<RecordingRequest>(0, 100);
    stream.load(late);
    ASSERT_TRUE(late->ended());
    EXPECT_TRUE(late->refused());
    EXPECT_TRUE(first->received().isEmpty());
    EXPECT_EQ(device.calls.size(), 2u);
}

// A device that stops answering fails what waits on it as if unplugged,
// once one read has gone unanswered for the limit, and every later request
// too; what it answers afterwards is dropped.
TEST(CameraVideoStreamTest, AReadUnansweredForTheLimitFailsAsDisconnected)
{
    FakeDevice device;
    device.hold = true;
    CameraVideoStream stream(deviceVideo(QStringLiteral("IMG_0001.MOV"), 1000), device.reader(), 50ms);
    const auto first = std::make_shared<RecordingRequest>(0, 100);
    const auto second = std::make_shared<RecordingRequest>(500, 100);
    stream.load(first);
    stream.load(second);
    ASSERT_TRUE(device.calledTimes(2));

    for (const auto& request : {first, second}) {
        ASSERT_TRUE(request->ended());
        EXPECT_EQ(request->error(), cameraDisconnectedError());
    }
    device.calls[0].completion(FakeDevice::bytes(0, 100), std::nullopt);
    const auto later = std::make_shared<RecordingRequest>(0, 100);
    stream.load(later);
    ASSERT_TRUE(later->ended());
    EXPECT_EQ(later->error(), cameraDisconnectedError());
    EXPECT_TRUE(first->received().isEmpty());
    EXPECT_EQ(device.calls.size(), 2u);
}

TEST(CameraVideoStreamTest, AReadAnsweredAfterTheStreamIsGoneIsDropped)
{
    FakeDevice device;
    device.hold = true;
    const auto request = std::make_shared<RecordingRequest>(0, 100);
    {
        CameraVideoStream stream(deviceVideo(QStringLiteral("IMG_0001.MOV"), 1000), device.reader());
        stream.load(request);
        ASSERT_TRUE(device.calledTimes(1));
    }
    ASSERT_TRUE(request->ended()); // destroying the stream invalidates it
    device.calls[0].completion(FakeDevice::bytes(0, 100), std::nullopt);
    EXPECT_TRUE(request->received().isEmpty());
}

TEST(CameraVideoStreamTest, TheManagersReaderFailsAFileItDoesNotKnowAsUnavailable)
{
    test::FakeCameraBackend backend;
    CameraSourceManager manager(backend);
    CameraVideoStream stream(deviceVideo(QStringLiteral("IMG_0001.MOV"), 1000),
                             CameraVideoStream::managerReader(&manager));
    const auto request = std::make_shared<RecordingRequest>(0, 100);
    stream.load(request);
    // The read is made on this thread, the GUI thread, so its events must run.
    for (int turn = 0; turn < 500 && !request->ended(10ms); ++turn) {
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(request->error());
    EXPECT_EQ(*request->error(), (PivraError{QStringLiteral("Pivra.CameraStream"), 1,
                                             QStringLiteral("The iPhone is disconnected or the video is unavailable.")}));
}

// The pieces of a device video go from the device's worker to the stream,
// so a window busy for a while stalls no playback: here the whole video is
// read while this thread, the GUI thread, handles no event.
TEST(CameraVideoStreamTest, ADeviceVideoIsReadWhileTheGuiThreadIsBusy)
{
    QTemporaryDir folder;
    const QString name = QStringLiteral("IMG_0001.MOV");
    ASSERT_TRUE(test::makeVideo(folder.filePath(name), {.size = QSize(1280, 720),
                                                        .frames = 30,
                                                        .codec = test::VideoCodec::h264,
                                                        .grain = true}));
    QFile original(folder.filePath(name));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray content = original.readAll();
    ASSERT_GT(content.size(), 2 * CameraVideoStream::pieceBytes);

    GPhotoBackend backend({.discoverUsb = false, .helpers = cameraFileHelpers()});
    CameraSourceManager manager(backend);
    const QUuid source = QUuid::createUuid();
    std::vector<MediaItem> listed;
    manager.onCatalogReady = [&listed](const QUuid&, const std::vector<MediaItem>& items) { listed = items; };
    manager.watch(QStringLiteral("FOLDER-0001"), source);
    backend.addDeviceForTesting(QStringLiteral("Directory Browse"), QStringLiteral("disk:") + folder.path(),
                                QStringLiteral("FOLDER-0001"), QStringLiteral("Folder"));
    ASSERT_TRUE(drain());
    ASSERT_EQ(listed.size(), 1u);

    CameraVideoStream stream(listed.front(), CameraVideoStream::managerReader(&manager));
    const auto request = std::make_shared<RecordingRequest>(0, 0, true);
    stream.load(request);
    ASSERT_TRUE(request->ended(5s)) << "without the GUI thread";
    EXPECT_FALSE(request->error());
    EXPECT_EQ(request->received(), content);
}

} // namespace
} // namespace pivra
