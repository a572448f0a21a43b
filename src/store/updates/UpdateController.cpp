#include "store/updates/UpdateController.h"

#include "platform/updates/UpdateBuildConfig.h"
#include "platform/updates/UpdateEngine.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

namespace pivra {

namespace {

using namespace std::chrono_literals;

// The first check after launch waits until the window has settled.
constexpr auto launchCheckDelay = 4s;
// Between a report that the program did not quit for the installer and the
// next attempt.
constexpr auto quitRetryDelay = 600ms;
// Automatic attempts to quit before the user is asked to restart.
constexpr int automaticQuitRetries = 2;

const QString applicationIdentifier = QStringLiteral("com.brindlecove.pivra");

std::optional<QByteArray> decodedKey(const QString& base64)
{
    // Qt's strict decoding still accepts text without its "=" padding.
    if (base64.size() % 4 != 0) {
        return std::nullopt;
    }
    const QByteArray text = base64.toUtf8();
    auto result = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!result) {
        return std::nullopt;
    }
    return result.decoded;
}

UpdateController::Environment programEnvironment(UpdateController& controller)
{
    UpdateController::Environment environment;
    environment.makeUpdater = [](UpdateDriver& driver) -> std::unique_ptr<Updater> {
        UpdateEngineConfig config;
        config.feedUrl = QUrl(QString::fromUtf8(UpdateBuildConfig::feedUrl));
        config.publicKey = decodedKey(QString::fromUtf8(UpdateBuildConfig::publicKey)).value_or(QByteArray());
        config.installedVersion = QString::fromUtf8(UpdateBuildConfig::version);
        config.installRoot = locateInstall(QCoreApplication::applicationDirPath()).root;
        config.relaunchProgram = QStringLiteral("bin/pivra");
        config.helperProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/pivra-update-helper");
        config.awaitedPid = ::getpid();
        config.terminate = [] { QCoreApplication::quit(); };
        config.allowLoopbackHttp = UpdateBuildConfig::loopbackHttp;
        return std::make_unique<UpdateEngine>(std::move(config), driver);
    };
    environment.after = [&controller](std::chrono::milliseconds delay, std::function<void()> work) {
        QTimer::singleShot(delay, &controller, std::move(work));
    };
    environment.now = [] { return QDateTime::currentDateTime(); };
    environment.closeSheets = &UpdateController::closeSheets;
    environment.terminate = [] { QCoreApplication::quit(); };
    return environment;
}

} // namespace

UpdateController& UpdateController::shared()
{
    static UpdateController* controller = [] {
        const QString key = QString::fromUtf8(UpdateBuildConfig::publicKey);
        Host host{applicationIdentifier, locateInstall(QCoreApplication::applicationDirPath()).kind,
                  key.isEmpty() ? std::nullopt : std::optional(key)};
        auto* made = new UpdateController(std::move(host), {}, QCoreApplication::instance());
        made->environment_ = programEnvironment(*made);
        return made;
    }();
    return *controller;
}

UpdateController::UpdateController(Host host, Environment environment, QObject* parent)
    : QObject(parent)
    , host_(std::move(host))
    , environment_(std::move(environment))
{
}

UpdateController::~UpdateController() = default;

bool UpdateController::keyIsValid() const
{
    if (!host_.publicKey) {
        return false;
    }
    const std::optional<QByteArray> key = decodedKey(*host_.publicKey);
    return key && key->size() == 32;
}

void UpdateController::start()
{
    if (updater_ || host_.identifier != applicationIdentifier || host_.install != InstallKind::selfUpdating
        || !keyIsValid()) {
        return;
    }
    std::unique_ptr<Updater> updater = environment_.makeUpdater(*this);
    if (const std::optional<PivraError> error = updater->startUpdater()) {
        qWarning("Pivra updates are off: %s", qUtf8Printable(error->description));
        return;
    }
    updater_ = std::move(updater);
    isAvailable_ = true;
    setAutomaticallyChecks(updater_->automaticallyChecksForUpdates());
    setAutomaticallyDownloads(updater_->automaticallyDownloadsUpdates());
    lastChecked_ = updater_->lastUpdateCheckDate();
    Q_EMIT changed();
    if (updater_->automaticallyChecksForUpdates()) {
        environment_.after(launchCheckDelay, [self = QPointer(this)] {
            if (self && !self->updater_->sessionInProgress()) {
                self->updater_->checkForUpdatesInBackground();
            }
        });
    }
}

void UpdateController::setAutomaticallyChecks(bool on)
{
    automaticallyChecks_ = on;
    if (updater_ && updater_->automaticallyChecksForUpdates() != on) {
        updater_->setAutomaticallyChecksForUpdates(on);
    }
    Q_EMIT changed();
}

void UpdateController::setAutomaticallyDownloads(bool on)
{
    automaticallyDownloads_ = on;
    if (updater_ && updater_->automaticallyDownloadsUpdates() != on) {
        updater_->setAutomaticallyDownloadsUpdates(on);
    }
    Q_EMIT changed();
}

void UpdateController::setPhase(Phase phase)
{
    phase_ = std::move(phase);
    Q_EMIT changed();
}

void UpdateController::answer(UpdateReply& reply, UpdateChoice choice)
{
    const UpdateReply taken = std::exchange(reply, {});
    taken(choice);
}

void UpdateController::checkNow()
{
    if (!updater_ || phase_.release()) {
        return;
    }
    setPhase(Phase::checking());
    updater_->checkForUpdates();
}

void UpdateController::updateNow()
{
    proceed_ = true;
    switch (phase_.kind) {
    case Phase::Kind::ready: {
        environment_.closeSheets();
        if (readyReply_ || foundReply_) {
            UpdateReply taken = std::exchange(readyReply_ ? readyReply_ : foundReply_, {});
            setPhase(Phase::installing(*current_));
            taken(UpdateChoice::install);
        } else if (installOnQuit_) {
            const UpdateBlock taken = std::exchange(installOnQuit_, {});
            setPhase(Phase::installing(*current_));
            taken();
        }
        break;
    }
    case Phase::Kind::available:
        if (foundReply_) {
            UpdateReply taken = std::exchange(foundReply_, {});
            setPhase(Phase::downloading(*current_, 0, current_->bytes));
            taken(UpdateChoice::install);
        } else if (currentLink_.isValid()) {
            // Nothing to download: the release's page tells the rest.
            proceed_ = false;
            Q_EMIT openLink(currentLink_);
        }
        break;
    default:
        checkNow();
    }
}

void UpdateController::cancelUpdate()
{
    proceed_ = false;
    if (cancelDownload_) {
        const UpdateBlock taken = std::exchange(cancelDownload_, {});
        taken();
    }
}

void UpdateController::restartNow()
{
    environment_.closeSheets();
    if (retryQuit_) {
        const UpdateBlock retry = retryQuit_; // kept: it may be needed again
        retry();
    } else {
        environment_.terminate();
    }
}

void UpdateController::closeSheets()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(window);
        if (dialog && dialog->isVisible() && dialog->windowModality() == Qt::WindowModal) {
            dialog->reject();
        }
    }
}

UpdateController::Release UpdateController::release(const AppcastItem& item)
{
    static const QRegularExpression tag(QStringLiteral("<[^>]+>"));
    QStringList notes;
    for (QString piece : item.description.split(QStringLiteral("</li>"))) {
        piece.remove(tag);
        piece.replace(QStringLiteral("&amp;"), QStringLiteral("&"))
            .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
            .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
            .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
            .replace(QStringLiteral("&#39;"), QStringLiteral("'"));
        piece = piece.trimmed();
        if (!piece.isEmpty()) {
            notes.append(piece);
        }
    }
    return {item.displayVersion, notes, item.contentLength, item.date};
}

QString UpdateController::describe(const PivraError& error)
{
    if (error.domain == updateNetworkErrorDomain) {
        return QStringLiteral("Pivra couldn't reach %1. Check your internet connection and try again.")
            .arg(QString::fromUtf8(UpdateBuildConfig::webHost));
    }
    if (error.description.isEmpty()) {
        return QStringLiteral("The update couldn't be completed.");
    }
    return error.description;
}

void UpdateController::showUserInitiatedUpdateCheck(UpdateBlock cancellation)
{
    // Kept with the download's: "Cancel" ends whichever step is running.
    cancelDownload_ = std::move(cancellation);
    setPhase(Phase::checking());
}

void UpdateController::showUpdateFound(const AppcastItem& item, UpdateStage stage, UpdateReply reply)
{
    current_ = release(item);
    lastChecked_ = environment_.now();
    if (item.informationOnly) {
        currentLink_ = item.link;
        setPhase(Phase::available(*current_));
        reply(UpdateChoice::dismiss);
        return;
    }
    currentLink_.clear();
    setPhase(stage == 1 || stage == 2 ? Phase::ready(*current_) : Phase::available(*current_));
    foundReply_ = std::move(reply);
    if (proceed_) {
        updateNow();
    }
}

void UpdateController::showUpdateNotFound(const PivraError&, UpdateBlock acknowledgement)
{
    lastChecked_ = environment_.now();
    proceed_ = false;
    setPhase(Phase::upToDate());
    acknowledgement();
}

void UpdateController::showUpdaterError(const PivraError& error, UpdateBlock acknowledgement)
{
    proceed_ = false;
    setPhase(Phase::failed(describe(error)));
    acknowledgement();
}

void UpdateController::showDownloadInitiated(UpdateBlock cancellation)
{
    cancelDownload_ = std::move(cancellation);
    if (current_) {
        setPhase(Phase::downloading(*current_, 0, current_->bytes));
    }
}

void UpdateController::showDownloadDidReceiveExpectedContentLength(std::uint64_t length)
{
    if (phase_.kind == Phase::Kind::downloading) {
        setPhase(Phase::downloading(*phase_.carried, phase_.received, length));
    }
}

void UpdateController::showDownloadDidReceiveData(std::uint64_t length)
{
    if (phase_.kind == Phase::Kind::downloading) {
        const std::uint64_t received = phase_.received + length;
        setPhase(Phase::downloading(*phase_.carried, received, std::max(received, phase_.expected)));
    }
}

void UpdateController::showDownloadDidStartExtractingUpdate()
{
    cancelDownload_ = {};
    if (current_) {
        setPhase(Phase::extracting(*current_, 0));
    }
}

void UpdateController::showExtractionReceivedProgress(double progress)
{
    if (current_) {
        setPhase(Phase::extracting(*current_, progress));
    }
}

void UpdateController::showReadyToInstallAndRelaunch(UpdateReply reply)
{
    if (!current_) {
        reply(UpdateChoice::dismiss);
    } else if (!proceed_) {
        readyReply_ = std::move(reply);
        setPhase(Phase::ready(*current_));
    } else {
        environment_.closeSheets();
        setPhase(Phase::installing(*current_));
        reply(UpdateChoice::install);
    }
}

void UpdateController::showInstallingUpdate(bool applicationTerminated, UpdateBlock retryTerminatingApplication)
{
    if (current_) {
        setPhase(Phase::installing(*current_));
    }
    if (applicationTerminated) {
        return;
    }
    retryQuit_ = std::move(retryTerminatingApplication);
    environment_.closeSheets();
    if (quitRetries_ >= automaticQuitRetries) {
        waitingToQuit_ = true;
        Q_EMIT changed();
        return;
    }
    ++quitRetries_;
    environment_.after(quitRetryDelay, [self = QPointer(this)] {
        if (self && self->retryQuit_) {
            const UpdateBlock retry = self->retryQuit_;
            retry();
        }
    });
}

void UpdateController::showUpdateInstalledAndRelaunched(bool, UpdateBlock acknowledgement)
{
    setPhase(Phase::idle());
    acknowledgement();
}

void UpdateController::showUpdateInFocus()
{
    Q_EMIT focusRequested();
}

void UpdateController::dismissUpdateInstallation()
{
    cancelDownload_ = {};
    readyReply_ = {};
    foundReply_ = {};
    proceed_ = false;
    const bool showsResult = phase_.kind == Phase::Kind::upToDate || phase_.kind == Phase::Kind::failed;
    const bool installsOnQuit = phase_.kind == Phase::Kind::ready && installOnQuit_;
    if (!showsResult && !installsOnQuit) {
        current_.reset();
        currentLink_.clear();
        setPhase(Phase::idle());
    }
}

void UpdateController::willInstallUpdateOnQuit(const AppcastItem& item, UpdateBlock immediateInstallation)
{
    current_ = release(item);
    installOnQuit_ = std::move(immediateInstallation);
    setPhase(Phase::ready(*current_));
}

void UpdateController::didFinishUpdateCycle(const std::optional<PivraError>&)
{
    if (updater_) {
        if (const std::optional<QDateTime> date = updater_->lastUpdateCheckDate()) {
            lastChecked_ = date;
            Q_EMIT changed();
        }
    }
}

} // namespace pivra
