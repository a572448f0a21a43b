#pragma once

#include "platform/updates/AppcastItem.h"
#include "platform/runtime/threads/GuiReturn.h"
#include "platform/runtime/threads/Strand.h"
#include "platform/updates/KeptUpdate.h"
#include "platform/updates/UpdateDriver.h"
#include "platform/updates/UpdateStaging.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <memory>
#include <sys/types.h>

class QNetworkAccessManager;
class QNetworkReply;

namespace pivra {

struct UpdateEngineConfig {
    QUrl feedUrl;
    QByteArray publicKey; // 32 raw bytes of the Ed25519 key that signs archives
    QString installedVersion;
    QString installRoot;     // the install folder an update goes into (see InstallLocation.h)
    QString relaunchProgram; // the program to start again, relative to installRoot; an update's is asked its version
    QString helperProgram;   // pivra-update-helper
    pid_t awaitedPid = 0;    // the process whose end the helper waits for
    std::function<void()> terminate; // asks the program to quit
    std::chrono::milliseconds checkInterval = std::chrono::hours(24);
    // How long the feed or the archive may send nothing before the transfer
    // fails.
    std::chrono::milliseconds transferTimeout = std::chrono::seconds(30);
    // However steadily it trickles in, a transfer fails once it has taken
    // this long plus the time its declared length takes at `slowestRate`
    // (bytes a second).
    std::chrono::milliseconds transferDeadline = std::chrono::minutes(2);
    std::uint64_t slowestRate = 16 * 1024;
    // The most an archive may bring when the feed does not give its length.
    std::uint64_t unannouncedLimit = 300'000'000;
    // Plain HTTP from this machine, for test builds and their local servers;
    // a release build takes HTTPS only.
    bool allowLoopbackHttp = false;
};

// Keeps an install folder up to date from a signed feed. A session runs one
// road at a time: fetch the feed, offer the newest newer release, download
// its archive into a staging folder beside the install folder, check the
// archive's Ed25519 signature, and only then unpack it there; a helper
// process swaps the staged folder in once the program has quit and starts
// it again. Feeds and archives come over HTTPS, are bounded in size (the
// feed to a few megabytes, the archive to its announced length) and fail
// when the server falls silent or, however steadily it trickles, when they
// take longer than their length allows. Staging never outlives a cancelled
// or failed session, and leftovers of killed runs are swept at start. An
// update the helper could not put in place is kept instead: it is reported
// at start and whenever the feed offers it again, and downloaded again only
// once the install folder has changed.
//
// Settings (automatic checks and downloads, the last check) are kept in the
// program's settings. The network runs on the GUI thread; every disk step
// (writing the archive, reading the feed, checking and unpacking, removing
// folders) runs in order on a staging thread of its own, whose results come
// back through the event loop and are dropped once their session has ended.
class UpdateEngine final : public QObject, public Updater {
    Q_OBJECT

public:
    UpdateEngine(UpdateEngineConfig config, UpdateDriver& driver, QObject* parent = nullptr);
    ~UpdateEngine() override;

    std::optional<PivraError> startUpdater() override;
    bool automaticallyChecksForUpdates() const override;
    void setAutomaticallyChecksForUpdates(bool on) override;
    bool automaticallyDownloadsUpdates() const override;
    void setAutomaticallyDownloadsUpdates(bool on) override;
    std::optional<QDateTime> lastUpdateCheckDate() const override;
    bool sessionInProgress() const override;
    void checkForUpdates() override;
    void checkForUpdatesInBackground() override;

private:
    enum class Step { none, checking, offered, downloading, unpacking, ready, staged, installing };
    using Notice = std::function<void(UpdateDriver&)>;
    using Then = std::function<void(UpdateEngine&)>;
    struct FeedReading;

    // Made on the GUI thread for the staging thread's results: each runs on
    // the GUI thread while the engine lives and the session is still the
    // one that was running when this was made.
    using ToSession = std::function<void(Then)>;
    ToSession toSession();
    void tell(Notice notice);
    UpdateReply replyFor(void (UpdateEngine::*handler)(UpdateChoice));
    UpdateBlock blockFor(void (UpdateEngine::*handler)());
    bool allowed(const QUrl& url) const;
    // Starts a transfer allowed the time of `allowance` bytes until the
    // server declares its length, which counts up to `cap`.
    QNetworkReply* get(const QUrl& url, std::uint64_t allowance, std::uint64_t cap);
    void allowDeadline(std::uint64_t length);
    void transferOverdue();
    void fetchFeed();
    void feedProgressed();
    void feedArrived();
    void feedRead(const FeedReading& reading);
    void foundReplied(UpdateChoice choice);
    void readyReplied(UpdateChoice choice);
    void beginDownload();
    void downloadProgressed();
    void takeChunk();
    void downloadFinished();
    void unpack();
    void unpacked(const std::optional<StagingRefusal>& refusal);
    void cancel();
    void installNow();
    void quitForInstall();
    void installAtQuit();
    bool startHelper(bool relaunch);
    // What people read about an update that could not be installed into the
    // install folder.
    PivraError keptError(const KeptUpdate& kept) const;
    void fail(const PivraError& error);
    void endSession();
    void removeStaging();
    void scheduledCheck();

    UpdateEngineConfig config_;
    UpdateDriver& driver_;
    QNetworkAccessManager* network_;
    QTimer schedule_;
    QTimer deadline_;
    QElapsedTimer transferStarted_;
    bool started_ = false;
    std::unique_ptr<Strand> worker_;
    GuiReturn back_;

    Step step_ = Step::none;
    bool userSession_ = false;
    // Bumped when a session ends, so late replies, blocks and staging
    // results of an ended session do nothing.
    quint64 session_ = 0;
    std::optional<AppcastItem> item_;
    QPointer<QNetworkReply> reply_;
    QByteArray feed_;
    std::shared_ptr<UpdateStaging> staging_; // touched only on the staging thread
    std::uint64_t received_ = 0;
    std::uint64_t limit_ = 0;
    bool lengthTold_ = false;
    std::shared_ptr<std::atomic<bool>> cancelled_ = std::make_shared<std::atomic<bool>>(false);
};

} // namespace pivra
