#pragma once

#include <QByteArray>
#include <QCache>
#include <QImage>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

namespace pivra {

class HoverFrameGrabber;
class Strand;

// The still under the pointer on the scrub bar: the frame at the hovered
// second, made on a worker thread once the pointer has rested 0.12 s, one
// at a time, and kept by whole second (at most 50) so that moving back and
// forth over the bar is instant. The file's decoder stays open while
// requests follow each other and is closed once the worker has answered the
// newest one, or the newest needs no decoding (a cached second, the pointer
// gone).
//
// Every request, cancel() and change of file moves a generation on; a frame
// is published only while the generation of its request still holds, so a
// slow frame never replaces a newer answer and a frame of the previous video
// never shows over the next one. Only files have frames: unconfigured (a
// device video) it answers nothing.
//
// GUI thread only; the decoding runs on the preview's worker. Going away
// never waits for a still being decoded: the worker is let go of by the
// background releaser, and its answer finds nobody to deliver to.
class VideoHoverPreview final : public QObject {
    Q_OBJECT

public:
    static constexpr int cacheLimit = 50;
    static constexpr std::chrono::milliseconds restDelay{120};

    explicit VideoHoverPreview(QObject* parent = nullptr);
    ~VideoHoverPreview() override;

    // Frames come from the file at `path` from now on. Another file than
    // before drops the cached frames and any request under way.
    void configure(const QString& path);
    // No file: requests are ignored and the frame goes.
    void unconfigure();
    bool isConfigured() const { return grabber_ != nullptr; }

    // Asks for the frame at `seconds`; the answer comes through image().
    void request(double seconds);
    // Drops the pending request and the frame shown.
    void cancel();

    // The frame to show; null while one is pending or none can be had.
    const QImage& image() const { return image_; }

    // The whole second a request is cached under: rounded half away from
    // zero, at least 0.
    static int key(double seconds);

    // For tests: jobs the worker has finished (decoded, or skipped as
    // overtaken), whether it is decoding one now, and the delay before a
    // request runs.
    int jobsFinished() const { return jobsFinished_; }
    bool isDecoding() const;
    // For tests: whether the worker's last job left the file's decoder open.
    bool holdsDecoder() const;
    void setRestDelay(std::chrono::milliseconds delay) { delay_.setInterval(delay); }

Q_SIGNALS:
    void imageChanged(const QImage& image);

private:
    struct Inbox;

    void start();
    void arrived(quint64 generation, int key, const QImage& frame);
    void publish(const QImage& image);
    void moveOn();
    void releaseOnceAnswered();

    std::shared_ptr<HoverFrameGrabber> grabber_;
    QCache<int, QImage> cache_{cacheLimit};
    QImage image_;
    quint64 generation_ = 0;
    // The generation as the worker sees it, so that requests overtaken while
    // they waited are not decoded at all.
    std::shared_ptr<std::atomic<quint64>> latest_;
    int pendingKey_ = 0;
    int jobsFinished_ = 0;
    QTimer delay_;
    std::shared_ptr<Inbox> inbox_;
    std::shared_ptr<Strand> worker_;
    // Every file the worker was given: one held on a file by a share goes
    // on being held on it while it is given the next.
    std::vector<QByteArray> reads_;
};

} // namespace pivra
