#pragma once

#include "platform/updates/InstallLocation.h"
#include "platform/updates/UpdateDriver.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace pivra {

// Keeps the program up to date through the update engine, with a user
// interface of the program's own: it is the engine's driver, turns every
// report into a published phase, and answers the engine's questions at once
// or when the user presses a button. It shows nothing itself; the update
// settings section and the sidebar button draw its state.
//
// The user's go-ahead (`updateNow`) is carried across the found and ready
// questions, so a check started by it downloads and installs without a
// second click. Every reply and block the engine hands over is answered at
// most once: a field is cleared before what it held is called.
class UpdateController final : public QObject, public UpdateDriver {
    Q_OBJECT

public:
    struct Release {
        QString version;
        QStringList notes;
        std::uint64_t bytes = 0;
        std::optional<QDateTime> date;

        bool operator==(const Release&) const = default;
    };

    struct Phase {
        enum class Kind { available, downloading, extracting, ready, installing, failed, idle, checking, upToDate };

        Kind kind = Kind::idle;
        std::optional<Release> carried; // the first five kinds carry one
        std::uint64_t received = 0;     // downloading
        std::uint64_t expected = 0;     // downloading
        double progress = 0;            // extracting
        QString message;                // failed

        static Phase available(Release r) { return {Kind::available, std::move(r)}; }
        static Phase downloading(Release r, std::uint64_t received, std::uint64_t expected)
        {
            return {Kind::downloading, std::move(r), received, expected};
        }
        static Phase extracting(Release r, double progress) { return {Kind::extracting, std::move(r), 0, 0, progress}; }
        static Phase ready(Release r) { return {Kind::ready, std::move(r)}; }
        static Phase installing(Release r) { return {Kind::installing, std::move(r)}; }
        static Phase failed(QString message) { return {Kind::failed, std::nullopt, 0, 0, 0, std::move(message)}; }
        static Phase idle() { return {}; }
        static Phase checking() { return {Kind::checking}; }
        static Phase upToDate() { return {Kind::upToDate}; }

        const std::optional<Release>& release() const { return carried; }
        bool operator==(const Phase&) const = default;
    };

    // What the running program is, as far as updating goes.
    struct Host {
        QString identifier;
        InstallKind install = InstallKind::buildTree;
        std::optional<QString> publicKey; // Base64
    };

    // Seams to the world: the engine, timers, the clock, windows and quitting.
    struct Environment {
        std::function<std::unique_ptr<Updater>(UpdateDriver&)> makeUpdater;
        std::function<void(std::chrono::milliseconds, std::function<void()>)> after;
        std::function<QDateTime()> now;
        std::function<void()> closeSheets;
        std::function<void()> terminate;
    };

    // The program's one controller, on the GUI thread, made on first use.
    static UpdateController& shared();

    UpdateController(Host host, Environment environment, QObject* parent = nullptr);
    ~UpdateController() override;

    const Phase& phase() const { return phase_; }
    const std::optional<QDateTime>& lastChecked() const { return lastChecked_; }
    bool isAvailable() const { return isAvailable_; }
    bool automaticallyChecks() const { return automaticallyChecks_; }
    bool automaticallyDownloads() const { return automaticallyDownloads_; }
    bool waitingToQuit() const { return waitingToQuit_; }

    void setAutomaticallyChecks(bool on);
    void setAutomaticallyDownloads(bool on);

    void start();
    void checkNow();
    void updateNow();
    void cancelUpdate();
    void restartNow();

    // Rejects every window-modal dialog of every top-level window.
    static void closeSheets();

    // The release as the interface shows it: notes are the feed's HTML list
    // items as plain text.
    static Release release(const AppcastItem& item);
    // The sentence a person reads for an engine's error.
    static QString describe(const PivraError& error);

    // UpdateDriver
    void showUserInitiatedUpdateCheck(UpdateBlock cancellation) override;
    void showUpdateFound(const AppcastItem& item, UpdateStage stage, UpdateReply reply) override;
    void showUpdateNotFound(const PivraError& error, UpdateBlock acknowledgement) override;
    void showUpdaterError(const PivraError& error, UpdateBlock acknowledgement) override;
    void showDownloadInitiated(UpdateBlock cancellation) override;
    void showDownloadDidReceiveExpectedContentLength(std::uint64_t length) override;
    void showDownloadDidReceiveData(std::uint64_t length) override;
    void showDownloadDidStartExtractingUpdate() override;
    void showExtractionReceivedProgress(double progress) override;
    void showReadyToInstallAndRelaunch(UpdateReply reply) override;
    void showInstallingUpdate(bool applicationTerminated, UpdateBlock retryTerminatingApplication) override;
    void showUpdateInstalledAndRelaunched(bool relaunched, UpdateBlock acknowledgement) override;
    void showUpdateInFocus() override;
    void dismissUpdateInstallation() override;
    void willInstallUpdateOnQuit(const AppcastItem& item, UpdateBlock immediateInstallation) override;
    void didFinishUpdateCycle(const std::optional<PivraError>& error) override;

Q_SIGNALS:
    // Any published value changed.
    void changed();
    // The update settings should come forward (the General preferences).
    void focusRequested();
    // An information-only update's page should open.
    void openLink(const QUrl& link);

private:
    bool keyIsValid() const;
    void setPhase(Phase phase);
    void installWith(UpdateReply reply);
    static void answer(UpdateReply& reply, UpdateChoice choice);

    Host host_;
    Environment environment_;

    Phase phase_;
    std::optional<QDateTime> lastChecked_;
    bool isAvailable_ = false;
    bool automaticallyChecks_ = true;
    bool automaticallyDownloads_ = false;
    std::unique_ptr<Updater> updater_;
    UpdateReply foundReply_;
    UpdateReply readyReply_;
    UpdateBlock installOnQuit_;
    UpdateBlock cancelDownload_;
    std::optional<Release> current_;
    QUrl currentLink_; // of an information-only update
    bool proceed_ = false;
    UpdateBlock retryQuit_;
    int quitRetries_ = 0;
    bool waitingToQuit_ = false;
};

} // namespace pivra
