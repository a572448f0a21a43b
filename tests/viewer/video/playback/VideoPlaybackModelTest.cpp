#include "viewer/video/picture/VideoLayerView.h"
#include "viewer/video/playback/VideoPlaybackModel.h"

#include "media/camera/CameraTestKit.h"
#include "platform/AppSettings.h"
#include "platform/folders/FileNameText.h"
#include "platform/runtime/threads/FileCallsInFlight.h"
#include "support/files/DamagedVideos.h"
#include "support/desktop/Renders.h"
#include "support/system/TestMounts.h"
#include "viewer/video/VideoTestKit.h"
#include "viewer/video/controls/VideoControls.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVideoSink>

#include <array>
#include <cmath>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace pivra {
namespace {

constexpr int waitMs = 20000;
const QSize stored{320, 240};

// Real playback through Qt Multimedia's backend, the picture taken from the
// layer view the viewer shows.
class VideoPlaybackModelTest : public test::VideoFolderTest {
protected:
    void SetUp() override
    {
        VideoFolderTest::SetUp();
        view.resize(stored);
        view.show();
    }

    // Three seconds at 10 frames per second.
    QString threeSeconds() { return clip(QStringLiteral("clip.mp4"), 3, 10); }

    static MediaItem fileItem(const QString& path, std::optional<double> duration = std::nullopt)
    {
        MediaItem item;
        item.setKind(MediaKind::video);
        item.setPath(path);
        item.setDuration(duration);
        item.setFileSize(QFile(path).size());
        return item;
    }

    // The picture shows frame `index`, give or take one.
    bool shows(int index)
    {
        return QTest::qWaitFor(
            [&] {
                const std::optional<int> shown = test::frameIndexShown(view.currentFrame(), stored);
                return shown && std::abs(*shown - index) <= 1;
            },
            waitMs);
    }

    bool readyAndShowing()
    {
        return QTest::qWaitFor([&] { return model.isReady() && view.hasFrame(); }, waitMs);
    }

    VideoPlaybackModel model;
    VideoLayerView view{model};
};

TEST_F(VideoPlaybackModelTest, PlaysOnceReadyPausesAndSeeksToTheFrameAsked)
{
    QSignalSpy durations(&model, &VideoPlaybackModel::durationChanged);
    model.load(fileItem(threeSeconds(), 99), true);
    EXPECT_EQ(model.duration(), 99) << "the catalog's length until the video knows its own";
    ASSERT_TRUE(readyAndShowing());
    EXPECT_TRUE(model.isPlaying()) << "autoplay";
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::abs(model.duration() - 3.0) < 0.05; }, waitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.currentTime() > 0.3; }, waitMs)) << "time moves while playing";

    model.toggle();
    EXPECT_FALSE(model.isPlaying());
    model.seek(1.55);
    EXPECT_EQ(model.currentTime(), 1.55) << "published at once";
    EXPECT_TRUE(shows(15)) << "paused, the picture shows the frame asked for";
    model.seek(0.42);
    EXPECT_TRUE(shows(4));

    // Clamped to the video, and a time that is no number is ignored.
    for (const auto& [asked, landed] : {std::pair{-5.0, 0.0}, {500.0, 3.0}, {std::nan(""), 3.0}}) {
        model.seek(asked);
        EXPECT_NEAR(model.currentTime(), landed, 0.05) << asked;
    }
    model.stop();
    EXPECT_FALSE(model.hasItem());
    EXPECT_FALSE(view.hasFrame()) << "the picture of a stopped video goes";
    EXPECT_EQ(model.duration(), 0);
}

TEST_F(VideoPlaybackModelTest, TheEndStopsOrLoopsAndPlayingFromTheEndStartsOver)
{
    model.load(fileItem(threeSeconds()), false);
    ASSERT_TRUE(readyAndShowing());
    EXPECT_FALSE(model.isPlaying()) << "no autoplay";

    QSignalSpy playing(&model, &VideoPlaybackModel::isPlayingChanged);
    model.seek(2.5);
    model.toggle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.isPlaying(); }, waitMs)) << "the end stops";
    EXPECT_GT(model.currentTime(), 2.8);
    model.seek(1.55);
    EXPECT_TRUE(shows(15)) << "a stopped player shows the position sought";
    model.seek(2.9);
    model.toggle(); // within 0.15 s of the end: from the start
    EXPECT_LT(model.currentTime(), 0.1);
    EXPECT_TRUE(model.isPlaying());
    EXPECT_TRUE(shows(0));

    model.setLoops(true);
    model.setPlaybackSpeed(2);
    model.seek(2.5);
    playing.clear();
    bool nearEnd = false;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            nearEnd = nearEnd || model.currentTime() > 2.7;
            return nearEnd && model.currentTime() < 1.0;
        },
        waitMs))
        << "looped";
    EXPECT_TRUE(model.isPlaying());
    EXPECT_TRUE(playing.isEmpty()) << "looping never reports a stop";
    EXPECT_EQ(model.playerRate(), 2.0) << "the restart keeps the speed";
}

TEST_F(VideoPlaybackModelTest, ASpeedChosenWhilePausedAppliesWhenPlayingStarts)
{
    model.load(fileItem(clip(QStringLiteral("long.mp4"), 8, 10)), false);
    ASSERT_TRUE(readyAndShowing());
    model.setPlaybackSpeed(2);
    EXPECT_EQ(model.playerRate(), 1.0) << "a paused player keeps its rate";
    model.toggle();
    EXPECT_EQ(model.playerRate(), 2.0);
    // Video runs at about twice the time passed, which the player's clock
    // keeps however busy the machine. Both are read at once, so a busy
    // machine that wakes the test late lengthens both alike; what the time
    // shown lags behind the player is spread over most of the clip.
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.currentTime() > 0.2; }, waitMs));
    const double start = model.currentTime();
    QElapsedTimer wall;
    wall.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.currentTime() >= start + 5.0; }, waitMs));
    const double rate = (model.currentTime() - start) / (double(wall.nsecsElapsed()) / 1e9);
    EXPECT_GT(rate, 1.5);
}

TEST_F(VideoPlaybackModelTest, VolumeAndMuteAreKeptAcrossModels)
{
    EXPECT_EQ(model.volume(), 1.0) << "nothing stored";
    model.setVolume(0.4);
    model.toggleMute();
    EXPECT_EQ(model.volume(), 0.0);
    EXPECT_EQ(AppSettings().value(VideoPlaybackModel::volumeKey).toDouble(), 0.0);
    EXPECT_EQ(AppSettings().value(VideoPlaybackModel::audibleVolumeKey).toDouble(), 0.4);
    EXPECT_EQ(VideoPlaybackModel().volume(), 0.0) << "restored by the next model";
    model.toggleMute();
    EXPECT_EQ(model.volume(), 0.4);
    EXPECT_FLOAT_EQ(model.playerVolume(), 0.4f);

    model.setVolume(0.7);
    model.setVolume(0); // the slider dragged to 0
    model.toggleMute();
    EXPECT_EQ(model.volume(), 0.7) << "the last volume above 0";

    for (const char* stored : {"nan", "loud"}) {
        AppSettings().setValue(VideoPlaybackModel::volumeKey, QString::fromLatin1(stored));
        EXPECT_EQ(VideoPlaybackModel().volume(), 1.0) << stored;
    }
}

TEST_F(VideoPlaybackModelTest, VideosThatCannotPlayGiveTheirMessageAndTheNextLoadClearsIt)
{
    MediaItem emptyDevice = fileItem(QStringLiteral("pivra-camera://source/1/IMG_0001.MOV"));
    emptyDevice.setFileSize(0);
    const QString damaged = writeFile(QStringLiteral("damaged.mp4"), QByteArray(4096, 'x'));
    struct Case {
        MediaItem item;
        std::optional<QString> text; // none: the player's own description
    };
    const Case cases[] = {
        {emptyDevice, QStringLiteral("This iPhone video is empty or unavailable.")},
        {fileItem(pathOf(QStringLiteral("gone.mp4"))),
         QStringLiteral("This video is unavailable. Reconnect its folder or drive.")},
        {fileItem(damaged), std::nullopt},
    };
    for (const Case& refused : cases) {
        model.load(refused.item, true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.error().has_value(); }, waitMs)) << refused.item.path().toStdString();
        if (refused.text) {
            EXPECT_EQ(model.error(), refused.text);
            EXPECT_FALSE(model.hasItem());
        } else {
            EXPECT_FALSE(model.error()->isEmpty());
        }
        EXPECT_FALSE(model.isPlaying());
        model.toggle();
        EXPECT_EQ(model.isPlaying(), model.hasItem()) << "no video, nothing to play";
    }
    model.load(fileItem(threeSeconds()), true);
    EXPECT_FALSE(model.error());
    EXPECT_TRUE(readyAndShowing());
}

TEST_F(VideoPlaybackModelTest, ARotatedVideoShowsUprightFittedAndTurnedByTheUser)
{
    test::VideoFields fields;
    fields.rotation = 90;
    view.resize(400, 300);
    model.load(fileItem(clip(QStringLiteral("portrait.mp4"), 1, 10, fields)), false);
    ASSERT_TRUE(readyAndShowing());
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.currentFrame().size() == QSize(225, 300); }, waitMs))
        << "240 by 320 upright, fitted into the view";
    const QImage frame = view.currentFrame();
    EXPECT_GT(qRed(frame.pixel(112, 10)), 160) << "red on top";
    EXPECT_LT(qRed(frame.pixel(112, 290)), 160);

    view.setRotationQuarters(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.currentFrame().size() == QSize(240, 320); }, waitMs))
        << "the turned box is larger than the video: converted at the video's own pixels, enlarged in painting";
    const QImage turned = view.grab().toImage();
    EXPECT_GT(qRed(turned.pixel(390, 150)), 160) << "a quarter turn clockwise puts the top on the right";
    EXPECT_LT(qRed(turned.pixel(10, 150)), 160);
}

// Zoomed fivefold, only the fifth of the picture on screen is converted, at
// the video's own pixels there, whatever size the zoom paints it at.
TEST_F(VideoPlaybackModelTest, AZoomedVideoConvertsOnlyWhatIsOnScreen)
{
    test::VideoFields fields;
    fields.size = QSize(1920, 1080);
    view.resize(1200, 800);
    view.setPlacement(QTransform().translate(600, 400).scale(5, 5), QSizeF(1200, 800));
    model.load(fileItem(clip(QStringLiteral("wide.mp4"), 1, 10, fields)), false);
    ASSERT_TRUE(readyAndShowing());
    // Once the video's shape is known: 1/5 of the 675 the picture is high in the 800 of the view.
    const int height = int(std::lround(1080 * (800.0 / 5) / 675));
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::abs(view.convertedFrame().image.height() - height) <= 4; }, waitMs));
    const ConvertedFrame& frame = view.convertedFrame();
    EXPECT_LE(frame.image.sizeInBytes(), 1200 * 800 * 4) << "no more than the visible area";
    EXPECT_NEAR(frame.image.width(), 1920 / 5, 4);
    EXPECT_NEAR(frame.part.center().x(), 0.5, 0.01);
    EXPECT_NEAR(frame.part.center().y(), 0.5, 0.01);

    // Panned to the top-left corner: that corner, in the grey of the picture.
    view.setPlacement(QTransform().translate(600, 400).scale(5, 5).translate(480, 270), QSizeF(1200, 800));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.convertedFrame().part.left() < 0.01; }, waitMs));
    EXPECT_LT(view.convertedFrame().part.top(), 0.01);
    EXPECT_LE(view.convertedFrame().image.sizeInBytes(), 1200 * 800 * 4);
}

// A 1280 by 720 picture in I420, as the player's decoder hands it over, all
// of one colour that changes from frame to frame.
QVideoFrame solidFrame(int index)
{
    static constexpr std::array<std::array<int, 3>, 6> yuv{
        {{81, 90, 240}, {145, 54, 34}, {41, 240, 110}, {210, 16, 146}, {170, 166, 16}, {106, 202, 222}}};
    QVideoFrame frame(QVideoFrameFormat(QSize(1280, 720), QVideoFrameFormat::Format_YUV420P));
    frame.map(QVideoFrame::WriteOnly);
    for (int plane = 0; plane < 3; ++plane) {
        std::memset(frame.bits(plane), yuv[index % yuv.size()][plane], frame.mappedBytes(plane));
    }
    frame.unmap();
    return frame;
}

// Where `image` is not all of its first pixel's colour; none when it is.
std::optional<QPoint> blemish(const QImage& image)
{
    const QRgb colour = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (std::abs(qRed(row[x]) - qRed(colour)) + std::abs(qGreen(row[x]) - qGreen(colour))
                    + std::abs(qBlue(row[x]) - qBlue(colour))
                > 6) {
                return QPoint(x, y);
            }
        }
    }
    return std::nullopt;
}

// Frames arrive on the frame thread every few milliseconds, as from a
// playing video, while the GUI thread zooms the picture in notch by notch
// around points here and there, as Ctrl+wheel does, and out again: the zoom
// converts the last frame again at each step as new ones come. Each picture
// shown is one frame's colour to its last pixel at every size the zoom gives
// it, most of them no multiple of the converter's blocks, and the converter
// writes nothing beside its pictures (a damaged heap ends the run).
TEST_F(VideoPlaybackModelTest, ZoomingWhileFramesArriveShowsEveryFrameWhole)
{
    view.resize(1200, 675);
    QVideoSink* sink = model.pictures().sink();
    const std::jthread feeder([sink](const std::stop_token& stop) {
        for (int index = 0; !stop.stop_requested(); ++index) {
            QMetaObject::invokeMethod(sink, [sink, frame = solidFrame(index)] { sink->setVideoFrame(frame); });
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
        }
    });
    int shown = 0;
    QStringList blemished;
    QObject::connect(&view, &VideoLayerView::frameShown, &view, [&] {
        ++shown;
        const QImage& image = view.convertedFrame().image;
        if (const std::optional<QPoint> at = blemish(image)) {
            blemished << QStringLiteral("%1x%2 at %3,%4").arg(image.width()).arg(image.height()).arg(at->x()).arg(at->y());
        }
    });
    constexpr int notches = 16; // 1.1 to the 16th: 4.6 times
    for (int step = 0; step <= 2 * notches; ++step) {
        const double zoom = std::pow(1.1, notches - std::abs(step - notches));
        const QPointF anchor(100 + (step * 263) % 1000, 60 + (step * 151) % 560);
        view.setPlacement(QTransform()
                              .translate(anchor.x(), anchor.y())
                              .scale(zoom, zoom)
                              .translate(600 - anchor.x(), 337.5 - anchor.y()),
                          QSizeF(1200, 675));
        const int before = shown;
        ASSERT_TRUE(QTest::qWaitFor([&] { return shown >= before + 3; }, waitMs)) << "step " << step;
        if (step == notches) {
            view.grab().save(test::rendersFolder() + QStringLiteral("/video-zoomed-while-frames-arrive.png"));
        }
    }
    EXPECT_TRUE(blemished.isEmpty()) << blemished.size() << " of " << shown << " pictures, the first "
                                     << blemished.mid(0, 5).join(QStringLiteral(", ")).toStdString();
}

// A drag over the bar of a 1080p HEVC video, a step every 20 ms as a pointer
// moves, faster than the player can seek exactly: the picture follows it,
// each seek the player finishes showing its frame while the next waits, and
// the drag ends on the frame of its last step. How many frames a drag of
// 4 s shows, and how long the GUI thread is held meanwhile, depend on the
// machine and its load: the benchmark measures them; here the drag goes on
// until 15 different frames have shown, which a picture that waits for the
// pointer to rest never does.
TEST_F(VideoPlaybackModelTest, ADragShowsTheFramesOfItsSeeksAndEndsOnTheLastStep)
{
    test::VideoFields fields;
    fields.size = QSize(1920, 1080);
    fields.codec = test::VideoCodec::hevc;
    fields.withAudio = true;
    view.resize(960, 540);
    model.load(fileItem(clip(QStringLiteral("scrub.mp4"), 5, 10, fields)), true);
    ASSERT_TRUE(readyAndShowing());
    std::set<int> shown;
    bool dragging = true;
    QObject::connect(&view, &VideoLayerView::frameShown, &view, [&] {
        const std::optional<int> index = test::frameIndexShown(view.currentFrame(), fields.size);
        if (dragging && index) {
            shown.insert(*index);
        }
    });
    constexpr int stepsLimit = 3000;
    int step = 0;
    QTimer drag;
    // Back and forth between 0.2 s and 4.8 s, 4.6 s of video a second.
    QObject::connect(&drag, &QTimer::timeout, &drag, [&] {
        const double phase = std::fmod(step * 0.02, 2.0);
        model.seek(0.2 + 4.6 * (phase < 1 ? phase : 2 - phase));
        ++step;
    });
    drag.start(20);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.size() >= 15 || step >= stepsLimit; }, 120000));
    drag.stop();
    dragging = false;
    EXPECT_GE(shown.size(), 15u) << "after " << step << " steps";

    model.seek(3.05);
    EXPECT_DOUBLE_EQ(model.currentTime(), 3.05);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !model.isSeeking() && test::frameIndexShown(view.currentFrame(), fields.size) == 30; },
        waitMs))
        << "3.0 s to 3.1 s is frame 30 at 10 frames a second";
}

// What the player reports of a video it was asked to leave belongs to that
// video: a failure or readiness of the previous load that arrives after the
// next load neither marks the next video nor starts it.
TEST_F(VideoPlaybackModelTest, LateReportsOfAPreviousLoadChangeNothing)
{
    const QString damaged = writeFile(QStringLiteral("damaged.mp4"), QByteArray(4096, 'x'));
    const QString good = threeSeconds();
    struct Case {
        QString first;
        QMediaPlayer::MediaStatus lateStatus; // what the first load reports once the second is under way
        QString second;
    };
    const Case cases[] = {
        {damaged, QMediaPlayer::InvalidMedia, good},
        {good, QMediaPlayer::LoadedMedia, damaged},
    };
    for (const Case& late : cases) {
        auto reported = std::make_shared<std::promise<void>>();
        auto once = std::make_shared<std::once_flag>();
        QMetaObject::Connection watch = QObject::connect(
            &model.engineForTests(), &PlayerEngine::statusChanged, &model.engineForTests(),
            [status = late.lateStatus, reported, once](quint64, int reportedStatus) {
                if (reportedStatus == status) {
                    std::call_once(*once, [&] { reported->set_value(); });
                }
            },
            Qt::DirectConnection);
        model.load(fileItem(late.first), true);
        // Made on the player thread but not yet delivered here.
        ASSERT_EQ(reported->get_future().wait_for(std::chrono::milliseconds(waitMs)), std::future_status::ready);
        QObject::disconnect(watch);
        model.load(fileItem(late.second), false);
        QCoreApplication::sendPostedEvents(&model, QEvent::MetaCall);
        EXPECT_FALSE(model.error()) << late.first.toStdString();
        EXPECT_FALSE(model.isReady()) << late.first.toStdString();
        EXPECT_FALSE(model.isPlaying()) << late.first.toStdString();
    }
}

// Ending before the length the header gives is a fault only where the
// streams' own index promised more: a header that states more than the
// streams hold ends quietly at their end, which the bar then gives as the
// length, its last picture's included; a copy cut short says so.
TEST_F(VideoPlaybackModelTest, AnEarlyEndIsMeasuredAgainstTheStreamsOwnIndex)
{
    QFile whole(clip(QStringLiteral("whole.mp4"), 6, 10));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QString stating = writeFile(QStringLiteral("stating.mp4"), test::withStatedLength(whole.readAll(), 3));
    const std::vector<test::DamagedVideo> damaged = test::makeDamagedVideos(makeFolder(QStringLiteral("damaged")), 8);
    const auto cut = std::find_if(damaged.begin(), damaged.end(), [](const test::DamagedVideo& video) {
        return video.playsAPart && video.path.endsWith(QStringLiteral("cut-index-first.mp4"));
    });
    ASSERT_NE(cut, damaged.end());
    struct Case {
        QString path;
        bool fails;
        double endsAt; // the length shown at the end
    };
    for (const Case& row : {Case{stating, false, 6.0}, Case{cut->path, true, 8.0}}) {
        SCOPED_TRACE(row.path.toStdString());
        model.load(fileItem(row.path), true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.currentTime() > 0.1; }, waitMs));
        // Stopped once the streams are measured, with the message or without.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !model.isPlaying(); }, waitMs));
        EXPECT_EQ(model.error().has_value(), row.fails);
        EXPECT_NEAR(model.duration(), row.endsAt, 0.05);
        EXPECT_EQ(VideoControls::timeLabel(model.duration()), VideoControls::timeLabel(row.endsAt));
        EXPECT_LE(model.currentTime(), model.duration()) << "the time never runs past the length";
    }
}

// A share that stops answering for 12 s, as a disk spinning up or a network
// share reconnecting does, once as the video opens and once as it plays:
// the video waits for it and plays on from where it stopped once it
// answers, never called broken.
TEST_F(VideoPlaybackModelTest, AVideoOnAShareThatStopsAnsweringPlaysOnOnceItAnswers)
{
    test::TestMounts mounts;
    const QString share = makeFolder(QStringLiteral("share"));
    test::VideoFields fields;
    fields.size = {640, 360};
    fields.grain = true; // as large as a filmed video: playing reads on
    fields.withAudio = true;
    fields.codec = test::VideoCodec::h264;
    const QString disk = makeFolder(QStringLiteral("disk"));
    for (const char* name : {"opening.mp4", "playing.mp4"}) {
        ASSERT_TRUE(makeVideo(disk + QLatin1Char('/') + QLatin1String(name), [&] {
            test::VideoFields twenty = fields;
            twenty.frames = 20 * twenty.framesPerSecond;
            return twenty;
        }()));
    }
    if (!mounts.bindThroughFuse(disk, share)) {
        GTEST_SKIP() << "cannot mount here: " << qPrintable(mounts.failure());
    }
    std::optional<QString> anyError;
    QObject::connect(&model, &VideoPlaybackModel::errorChanged, &model, [&](const std::optional<QString>& error) {
        anyError = anyError ? anyError : error;
    });
    struct Case {
        const char* name;
        bool playsFirst; // or the share stops answering before it opens
    };
    for (const Case& row : {Case{"opening.mp4", false}, Case{"playing.mp4", true}}) {
        const MediaItem item = fileItem(share + QLatin1Char('/') + QLatin1String(row.name), 20);
        anyError.reset();
        if (!row.playsFirst) {
            ASSERT_TRUE(mounts.hang(share, std::chrono::minutes(2))) << qPrintable(mounts.failure());
        }
        model.load(item, true);
        if (row.playsFirst) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return model.currentTime() > 1; }, waitMs)) << row.name;
            ASSERT_TRUE(mounts.hang(share, std::chrono::minutes(2))) << qPrintable(mounts.failure());
        }
        // Twelve seconds from when the player, held up by the share, has
        // played what it had.
        ASSERT_TRUE(QTest::qWaitFor([&] { return fileCallInFlight({fileNameBytes(item.path())}); }, waitMs))
            << row.name;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                const double shown = model.currentTime();
                QTest::qWait(1000);
                return model.currentTime() == shown;
            },
            waitMs))
            << row.name;
        const double heldAt = model.currentTime();
        QTest::qWait(12000);
        mounts.resume(share);
        EXPECT_TRUE(QTest::qWaitFor([&] { return model.currentTime() > heldAt + 0.3; }, waitMs))
            << row.name << ": plays on once the share answers";
        EXPECT_LT(model.currentTime(), heldAt + 3) << row.name << ": from where it stopped, nothing skipped";
        EXPECT_TRUE(model.isPlaying()) << row.name;
        EXPECT_FALSE(anyError) << row.name << ": " << qPrintable(anyError.value_or(QString()));
    }
}

// A video on a phone, played through the range server from the fake
// device layer.
class DeviceVideoTest : public test::CameraManagerTest {
protected:
    void SetUp() override
    {
        test::VideoFields fields;
        fields.size = QSize(640, 480);
        fields.frames = 200;
        fields.framesPerSecond = 10;
        fields.codec = test::VideoCodec::h264;
        fields.grain = true; // big enough that the player cannot have it all at once
        ASSERT_TRUE(test::makeVideo(folder.filePath(QStringLiteral("made.mov")), fields));
        // Its index first, as a phone writes it, so playback starts before
        // the whole file has come over.
        QProcess remux;
        remux.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"),
                                               folder.filePath(QStringLiteral("made.mov")), QStringLiteral("-c"),
                                               QStringLiteral("copy"), QStringLiteral("-movflags"),
                                               QStringLiteral("+faststart"), folder.filePath(QStringLiteral("IMG_0001.MOV"))});
        ASSERT_TRUE(remux.waitForFinished(60000) && remux.exitCode() == 0);
        QFile file(folder.filePath(QStringLiteral("IMG_0001.MOV")));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        device = publishedDevice({test::deviceFile(QStringLiteral("IMG_0001.MOV"), file.readAll())});
        item = published.back().front();
        view.resize(640, 480);
        view.show();
    }

    QTemporaryDir folder;
    test::SettingsSandbox settings{folder.filePath(QStringLiteral("config"))};
    CameraDeviceId device = 0;
    MediaItem item;
    VideoPlaybackModel model{CameraVideoStream::managerReader(&manager)};
    VideoLayerView view{model};
};

TEST_F(DeviceVideoTest, PlaysThroughTheRangeServerAndAnUnplugEndsWithTheDevicesMessage)
{
    // The device answers one short read per tick, so the player is still
    // fetching when the phone goes.
    test::FakeCameraBackend::ReadScript slow;
    slow.maxLength = 32768;
    slow.hold = true;
    fake.setReadScript(slow);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
        fake.releaseReads();
        fake.setReadScript(slow);
    });
    tick.start(40);

    model.load(item, true);
    EXPECT_EQ(model.streamUrl().host(), QStringLiteral("127.0.0.1"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.isPlaying() && view.hasFrame() && model.currentTime() > 0.3; },
                                60000));
    EXPECT_FALSE(model.error());

    tick.stop();
    fake.unplug(device);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.error().has_value(); }, 60000)) << "never a hang";
    EXPECT_EQ(*model.error(), QStringLiteral("The iPhone is disconnected or the video is unavailable."));
    EXPECT_FALSE(model.isPlaying());

    model.stop();
    EXPECT_TRUE(model.streamUrl().isEmpty());
    EXPECT_FALSE(model.error());
}

} // namespace
} // namespace pivra
