#pragma once

#include "platform/PivraError.h"
#include "platform/updates/AppcastItem.h"

#include <QDateTime>

#include <cstdint>
#include <functional>
#include <optional>

namespace pivra {

// The answers the user interface gives to the engine's questions.
enum class UpdateChoice { skip = 0, install = 1, dismiss = 2 };

// Where an offered update already stands: 0 not downloaded, 1 downloaded,
// 2 being installed.
using UpdateStage = int;

using UpdateReply = std::function<void(UpdateChoice)>;
using UpdateBlock = std::function<void()>;

// Errors of the network carry this domain, so the interface can tell them
// from everything else.
inline const QString updateNetworkErrorDomain = QStringLiteral("Pivra.Network");
inline const QString updateErrorDomain = QStringLiteral("Pivra.Update");

// What the engine tells its user interface, in the order a session runs:
// every call arrives on the GUI thread through the event loop, never from
// inside a call into the engine, so a reply may be answered at once.
class UpdateDriver {
public:
    virtual ~UpdateDriver() = default;

    // The user's check began; `cancellation` ends it (the feed may be slow).
    virtual void showUserInitiatedUpdateCheck(UpdateBlock cancellation) = 0;
    virtual void showUpdateFound(const AppcastItem& item, UpdateStage stage, UpdateReply reply) = 0;
    virtual void showUpdateNotFound(const PivraError& error, UpdateBlock acknowledgement) = 0;
    virtual void showUpdaterError(const PivraError& error, UpdateBlock acknowledgement) = 0;
    virtual void showDownloadInitiated(UpdateBlock cancellation) = 0;
    virtual void showDownloadDidReceiveExpectedContentLength(std::uint64_t length) = 0;
    virtual void showDownloadDidReceiveData(std::uint64_t length) = 0;
    virtual void showDownloadDidStartExtractingUpdate() = 0;
    virtual void showExtractionReceivedProgress(double progress) = 0;
    virtual void showReadyToInstallAndRelaunch(UpdateReply reply) = 0;
    virtual void showInstallingUpdate(bool applicationTerminated, UpdateBlock retryTerminatingApplication) = 0;
    virtual void showUpdateInstalledAndRelaunched(bool relaunched, UpdateBlock acknowledgement) = 0;
    // A check was asked for while a session runs: bring that session forward.
    virtual void showUpdateInFocus() = 0;
    // The session ended.
    virtual void dismissUpdateInstallation() = 0;

    // An update was downloaded and verified in the background; it installs
    // when the program quits, or at once through `immediateInstallation`.
    virtual void willInstallUpdateOnQuit(const AppcastItem& item, UpdateBlock immediateInstallation) = 0;
    // Every check ends here, found or not, failed or not.
    virtual void didFinishUpdateCycle(const std::optional<PivraError>& error) = 0;
};

// The engine as its user interface drives it. Settings are the engine's and
// kept across runs.
class Updater {
public:
    virtual ~Updater() = default;

    // Starts scheduled checks; an error when the engine cannot run.
    virtual std::optional<PivraError> startUpdater() = 0;

    virtual bool automaticallyChecksForUpdates() const = 0;
    virtual void setAutomaticallyChecksForUpdates(bool on) = 0;
    virtual bool automaticallyDownloadsUpdates() const = 0;
    virtual void setAutomaticallyDownloadsUpdates(bool on) = 0;
    virtual std::optional<QDateTime> lastUpdateCheckDate() const = 0;
    virtual bool sessionInProgress() const = 0;

    // The user's check: every step is reported to the driver.
    virtual void checkForUpdates() = 0;
    // A quiet check: only a found update is reported (or, with automatic
    // downloads, prepared to install at quit).
    virtual void checkForUpdatesInBackground() = 0;
};

} // namespace pivra
