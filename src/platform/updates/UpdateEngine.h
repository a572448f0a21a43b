#pragma once

#include "platform/updates/AppcastItem.h"
#include "platform/updates/UpdateDriver.h"

#include <QFile>
#include <QFutureWatcher>
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
    QString installRoot;     // the folder an update replaces
    QString relaunchProgram; // the program to start again, relative to installRoot
    QString helperProgram;   // pivra-update-helper
    pid_t awaitedPid = 0;    // the process whose end the helper waits for
    std::function<void()> terminate; // asks the program to quit
    std::chrono::milliseconds checkInterval = std::chrono::hours(24);
};

// Keeps an install folder up to date from a signed feed. A session runs one
// road at a time: fetch the feed, offer the newest newer release, download
// its archive into a staging folder beside the install folder, check the
// archive's Ed25519 signature, and only then unpack it there; a helper
// process swaps the staged folder in once the program has quit and starts
// it again. Feeds and archives come over HTTPS (plain HTTP only from this
// machine). Staging never outlives a cancelled or failed session.
//
// Settings (automatic checks and downloads, the last check) are kept in the
// program's settings. Everything runs on the GUI thread except checking and
// unpacking the archive, which run on the pool.
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

    void tell(Notice notice);
    UpdateReply replyFor(void (UpdateEngine::*handler)(UpdateChoice));
    UpdateBlock blockFor(void (UpdateEngine::*handler)());
    QNetworkReply* get(const QUrl& url);
    void fetchFeed();
    void feedArrived();
    void foundReplied(UpdateChoice choice);
    void readyReplied(UpdateChoice choice);
    void beginDownload();
    void downloadProgressed();
    void downloadFinished();
    void unpack();
    void unpacked();
    void cancel();
    void installNow();
    void installAtQuit();
    bool startHelper(bool relaunch);
    void fail(const PivraError& error);
    void endSession();
    void removeStaging();
    void scheduledCheck();

    UpdateEngineConfig config_;
    UpdateDriver& driver_;
    QNetworkAccessManager* network_;
    QTimer schedule_;
    bool started_ = false;

    Step step_ = Step::none;
    bool userSession_ = false;
    // Bumped when a session ends, so late replies and blocks of an ended
    // session do nothing.
    quint64 session_ = 0;
    std::optional<AppcastItem> item_;
    QPointer<QNetworkReply> reply_;
    QString staging_; // created 0700 beside the install folder
    std::unique_ptr<QFile> archive_;
    std::uint64_t received_ = 0;
    bool lengthTold_ = false;
    std::atomic<bool> cancelled_{false};
    QFutureWatcher<QString> unpacking_;
};

} // namespace pivra
