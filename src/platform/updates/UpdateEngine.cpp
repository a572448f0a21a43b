#include "platform/updates/UpdateEngine.h"

#include "platform/AppSettings.h"
#include "platform/updates/InstallLocation.h"
#include "platform/updates/KeptUpdate.h"
#include "platform/updates/RefusedReleases.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRandomGenerator>

#include <stdexcept>

namespace pivra {

namespace {

using namespace std::chrono_literals;

const QString automaticChecksKey = QStringLiteral("pivra.updates.automaticChecks");
const QString automaticDownloadsKey = QStringLiteral("pivra.updates.automaticDownloads");
const QString lastCheckKey = QStringLiteral("pivra.updates.lastCheck");

// A feed lists a few releases; anything past this is not a feed.
constexpr qsizetype maxFeedBytes = 4 * 1024 * 1024;
// What the network may buffer for one download before it is read.
constexpr qint64 downloadBuffer = 1024 * 1024;
// Archive bytes handed to the staging thread and not yet written, past
// which reading pauses until the disk catches up.
constexpr std::uint64_t maxPendingWrites = 16 * 1024 * 1024;
// After asking the program to quit for the installer: still running this
// much later means it did not quit.
constexpr auto quitReportDelay = 1s;

PivraError updateError(const char* text)
{
    return {updateErrorDomain, 1, QString::fromUtf8(text)};
}

PivraError networkError(const QNetworkReply& reply)
{
    return {updateNetworkErrorDomain, static_cast<int>(reply.error()), reply.errorString()};
}

} // namespace

// The feed as the staging thread read it.
struct UpdateEngine::FeedReading {
    bool readable = false;
    std::optional<AppcastItem> newest;
    std::optional<KeptUpdate> kept;
};

UpdateEngine::UpdateEngine(UpdateEngineConfig config, UpdateDriver& driver, QObject* parent)
    : QObject(parent)
    , config_(std::move(config))
    , driver_(driver)
    , network_(new QNetworkAccessManager(this))
    , worker_(std::make_unique<Strand>())
    , back_(this)
{
    network_->setRedirectPolicy(QNetworkRequest::UserVerifiedRedirectPolicy);
    connect(&schedule_, &QTimer::timeout, this, &UpdateEngine::scheduledCheck);
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, &UpdateEngine::transferOverdue);
}

UpdateEngine::~UpdateEngine()
{
    *cancelled_ = true;
    if (reply_) {
        reply_->abort();
    }
    if (step_ != Step::installing) {
        removeStaging();
    }
    // The staging thread ends by itself once its queue has run; nothing on
    // the GUI thread waits for it.
    Strand* worker = worker_.release();
    worker->post([worker] { delete worker; });
}

std::optional<PivraError> UpdateEngine::startUpdater()
{
    if (!config_.feedUrl.isValid() || !allowed(config_.feedUrl)) {
        return updateError("The update feed is not a secure address.");
    }
    if (config_.publicKey.size() != 32) {
        return updateError("The update key is not an Ed25519 public key.");
    }
    if (config_.installRoot.isEmpty() || !QFileInfo::exists(config_.helperProgram)) {
        return updateError("This install cannot replace itself.");
    }
    started_ = true;
    // Whatever a killed download or install left beside the program goes
    // before anything new is staged there; an update that could not be
    // installed is kept, and said so.
    worker_->post([root = config_.installRoot, installed = config_.installedVersion, back = toSession()] {
        if (const std::optional<KeptUpdate> kept = recoverInstall(root, installed)) {
            back([kept = *kept](UpdateEngine& e) {
                if (e.step_ == Step::none) {
                    e.tell([error = e.keptError(kept)](UpdateDriver& d) { d.showUpdaterError(error, [] {}); });
                }
            });
        }
    });
    schedule_.setInterval(config_.checkInterval);
    if (automaticallyChecksForUpdates()) {
        schedule_.start();
    }
    if (auto* application = QCoreApplication::instance()) {
        connect(application, &QCoreApplication::aboutToQuit, this, &UpdateEngine::installAtQuit);
    }
    return std::nullopt;
}

bool UpdateEngine::automaticallyChecksForUpdates() const
{
    return AppSettings().flag(automaticChecksKey, true);
}

void UpdateEngine::setAutomaticallyChecksForUpdates(bool on)
{
    AppSettings().setValue(automaticChecksKey, on);
    if (on && started_) {
        schedule_.start();
    } else {
        schedule_.stop();
    }
}

bool UpdateEngine::automaticallyDownloadsUpdates() const
{
    return AppSettings().flag(automaticDownloadsKey, false);
}

void UpdateEngine::setAutomaticallyDownloadsUpdates(bool on)
{
    AppSettings().setValue(automaticDownloadsKey, on);
}

std::optional<QDateTime> UpdateEngine::lastUpdateCheckDate() const
{
    const QDateTime date = QDateTime::fromString(AppSettings().value(lastCheckKey).toString(), Qt::ISODateWithMs);
    return date.isValid() ? std::optional(date) : std::nullopt;
}

bool UpdateEngine::sessionInProgress() const
{
    return step_ != Step::none;
}

void UpdateEngine::checkForUpdates()
{
    if (step_ == Step::staged) {
        // An update prepared in the background is offered as downloaded.
        userSession_ = true;
        tell([cancel = blockFor(&UpdateEngine::cancel)](UpdateDriver& d) { d.showUserInitiatedUpdateCheck(cancel); });
        tell([item = *item_, reply = replyFor(&UpdateEngine::foundReplied)](UpdateDriver& d) {
            d.showUpdateFound(item, 1, reply);
        });
        tell([](UpdateDriver& d) { d.didFinishUpdateCycle(std::nullopt); });
        return;
    }
    if (step_ != Step::none && !userSession_) {
        // A quiet check or download under way becomes the user's.
        userSession_ = true;
        tell([cancel = blockFor(&UpdateEngine::cancel)](UpdateDriver& d) { d.showUserInitiatedUpdateCheck(cancel); });
        if (item_) {
            tell([item = *item_, reply = replyFor(&UpdateEngine::foundReplied)](UpdateDriver& d) {
                d.showUpdateFound(item, 0, reply);
            });
        }
        return;
    }
    if (step_ != Step::none) {
        tell([](UpdateDriver& d) { d.showUpdateInFocus(); });
        return;
    }
    userSession_ = true;
    tell([cancel = blockFor(&UpdateEngine::cancel)](UpdateDriver& d) { d.showUserInitiatedUpdateCheck(cancel); });
    fetchFeed();
}

void UpdateEngine::checkForUpdatesInBackground()
{
    if (step_ != Step::none) {
        return;
    }
    userSession_ = false;
    fetchFeed();
}

void UpdateEngine::scheduledCheck()
{
    if (automaticallyChecksForUpdates()) {
        checkForUpdatesInBackground();
    }
}

UpdateEngine::ToSession UpdateEngine::toSession()
{
    // The engine is looked at only on the GUI thread, once the return has
    // found it still there.
    return [back = back_, engine = this, session = session_](Then then) {
        back.post([engine, session, then = std::move(then)] {
            if (engine->session_ == session) {
                then(*engine);
            }
        });
    };
}

void UpdateEngine::tell(Notice notice)
{
    QMetaObject::invokeMethod(
        this, [this, notice = std::move(notice)] { notice(driver_); }, Qt::QueuedConnection);
}

UpdateReply UpdateEngine::replyFor(void (UpdateEngine::*handler)(UpdateChoice))
{
    return [engine = QPointer(this), session = session_, handler](UpdateChoice choice) {
        if (engine && engine->session_ == session) {
            (engine->*handler)(choice);
        }
    };
}

UpdateBlock UpdateEngine::blockFor(void (UpdateEngine::*handler)())
{
    return [engine = QPointer(this), session = session_, handler] {
        if (engine && engine->session_ == session) {
            (engine->*handler)();
        }
    };
}

// HTTPS; plain HTTP only from this machine and only where the build allows
// it (tests), so a redirect cannot lower a release build to plain text.
bool UpdateEngine::allowed(const QUrl& url) const
{
    if (url.scheme() == u"https") {
        return true;
    }
    const QHostAddress host(url.host());
    return config_.allowLoopbackHttp && url.scheme() == u"http"
           && (url.host() == u"localhost" || (!host.isNull() && host.isLoopback()));
}

QNetworkReply* UpdateEngine::get(const QUrl& url, std::uint64_t allowance, std::uint64_t cap)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(static_cast<int>(config_.transferTimeout.count()));
    QNetworkReply* reply = network_->get(request);
    transferStarted_.start();
    allowDeadline(allowance);
    // The length the server declares sets the deadline once known; a
    // length past the cap is refused as the bytes come.
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply, cap] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && reply == reply_) {
            allowDeadline(std::min<std::uint64_t>(length.toULongLong(), cap));
        }
    });
    connect(reply, &QNetworkReply::redirected, reply, [this, reply](const QUrl& target) {
        if (allowed(target)) {
            Q_EMIT reply->redirectAllowed();
        } else {
            reply->abort();
        }
    });
    return reply;
}

void UpdateEngine::allowDeadline(std::uint64_t length)
{
    using std::chrono::milliseconds;
    const milliseconds allowed = config_.transferDeadline + milliseconds(length * 1000 / config_.slowestRate);
    const milliseconds left = allowed - milliseconds(transferStarted_.elapsed());
    deadline_.start(std::max(left, milliseconds(0)));
}

void UpdateEngine::transferOverdue()
{
    if (step_ == Step::checking) {
        fail({updateNetworkErrorDomain, QNetworkReply::TimeoutError, QStringLiteral("The update feed took too long.")});
    } else if (step_ == Step::downloading) {
        fail(updateError("The update download was incomplete."));
    }
}

void UpdateEngine::fetchFeed()
{
    step_ = Step::checking;
    feed_.clear();
    // Until the server says how long the feed is, it has only the base
    // allowance.
    reply_ = get(config_.feedUrl, 0, maxFeedBytes);
    connect(reply_, &QNetworkReply::readyRead, this, &UpdateEngine::feedProgressed);
    connect(reply_, &QNetworkReply::finished, this, &UpdateEngine::feedArrived);
}

void UpdateEngine::feedProgressed()
{
    feed_ += reply_->readAll();
    if (feed_.size() > maxFeedBytes) {
        fail(updateError("The update feed is too large."));
    }
}

void UpdateEngine::feedArrived()
{
    deadline_.stop();
    QNetworkReply* reply = reply_;
    if (reply->error() == QNetworkReply::NoError && reply->bytesAvailable() > 0) {
        feedProgressed();
        if (reply_ != reply) {
            return; // refused as too large
        }
    }
    reply->deleteLater();
    reply_ = nullptr;
    if (reply->error() != QNetworkReply::NoError) {
        fail(networkError(*reply));
        return;
    }
    // Even a few megabytes of XML take a while to read.
    worker_->post([text = std::exchange(feed_, {}), root = config_.installRoot, installed = config_.installedVersion,
                   back = toSession()] {
        FeedReading reading;
        reading.kept = recoverInstall(root, installed);
        try {
            std::vector<AppcastItem> items = parseAppcast(text);
            std::erase_if(items, [refused = refusedReleases()](const AppcastItem& item) {
                return isRefused(item, refused);
            });
            reading.newest = newestUpdate(items, installed);
            reading.readable = true;
        } catch (const std::runtime_error&) {
        }
        back([reading](UpdateEngine& e) { e.feedRead(reading); });
    });
}

void UpdateEngine::feedRead(const FeedReading& reading)
{
    if (!reading.readable) {
        fail(updateError("The update feed could not be read."));
        return;
    }
    AppSettings().setValue(lastCheckKey, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    const std::optional<AppcastItem>& found = reading.newest;
    if (found && !found->informationOnly && found->edSignature.isEmpty()) {
        fail(updateError("The update could not be verified: the feed gives it no signature."));
        return;
    }
    if (found && !found->informationOnly && !allowed(found->url)) {
        fail(updateError("The update is not offered from a secure address."));
        return;
    }
    if (found && reading.kept && compareVersions(found->version, reading.kept->version) == 0) {
        // Downloaded already, and the install folder is as it was when this
        // update could not be installed into it.
        fail(keptError(*reading.kept));
        return;
    }
    if (!found) {
        if (userSession_) {
            tell([ack = blockFor(&UpdateEngine::endSession)](UpdateDriver& d) {
                d.showUpdateNotFound(updateError("You're up to date."), ack);
            });
        } else {
            endSession();
        }
    } else {
        item_ = found;
        if (!userSession_ && automaticallyDownloadsUpdates() && !found->informationOnly) {
            beginDownload();
        } else {
            step_ = Step::offered;
            userSession_ = true; // from here the user answers
            tell([item = *found, reply = replyFor(&UpdateEngine::foundReplied)](UpdateDriver& d) {
                d.showUpdateFound(item, 0, reply);
            });
        }
    }
    tell([](UpdateDriver& d) { d.didFinishUpdateCycle(std::nullopt); });
}

void UpdateEngine::foundReplied(UpdateChoice choice)
{
    if (item_->informationOnly) {
        // Nothing was downloaded: the session ends without a dismissal, so
        // the interface may keep showing the release and its link.
        userSession_ = false;
        endSession();
    } else if (choice != UpdateChoice::install) {
        if (step_ == Step::staged) {
            userSession_ = false;
            tell([](UpdateDriver& d) { d.dismissUpdateInstallation(); });
        } else {
            endSession();
        }
    } else if (step_ == Step::staged) {
        step_ = Step::ready;
        tell([reply = replyFor(&UpdateEngine::readyReplied)](UpdateDriver& d) {
            d.showReadyToInstallAndRelaunch(reply);
        });
    } else if (step_ == Step::offered) {
        beginDownload();
    }
}

void UpdateEngine::readyReplied(UpdateChoice choice)
{
    if (choice == UpdateChoice::install) {
        installNow();
        return;
    }
    // Not now: the staged update installs when the program quits.
    step_ = Step::staged;
    tell([](UpdateDriver& d) { d.dismissUpdateInstallation(); });
}

void UpdateEngine::beginDownload()
{
    const QString parent = QFileInfo(config_.installRoot).path();
    staging_ = std::make_shared<UpdateStaging>(parent + u'/' + stagingFolderPrefix
                                               + QString::number(QRandomGenerator::global()->generate64(), 16));
    cancelled_ = std::make_shared<std::atomic<bool>>(false);
    worker_->post([staging = staging_] { staging->create(); });
    step_ = Step::downloading;
    received_ = 0;
    limit_ = item_->contentLength > 0 ? item_->contentLength : config_.unannouncedLimit;
    lengthTold_ = false;
    if (userSession_) {
        tell([cancel = blockFor(&UpdateEngine::cancel)](UpdateDriver& d) { d.showDownloadInitiated(cancel); });
    }
    reply_ = get(item_->url, limit_, limit_);
    reply_->setReadBufferSize(downloadBuffer);
    connect(reply_, &QNetworkReply::readyRead, this, &UpdateEngine::downloadProgressed);
    connect(reply_, &QNetworkReply::finished, this, &UpdateEngine::downloadFinished);
}

void UpdateEngine::downloadProgressed()
{
    if (!lengthTold_) {
        lengthTold_ = true;
        const QVariant header = reply_->header(QNetworkRequest::ContentLengthHeader);
        const std::uint64_t length = header.isValid() ? header.toULongLong() : item_->contentLength;
        if (length > limit_) {
            fail(updateError("The update download is larger than the feed announced."));
            return;
        }
        if (userSession_) {
            tell([length](UpdateDriver& d) { d.showDownloadDidReceiveExpectedContentLength(length); });
        }
    }
    // Reading pauses while the disk is behind; the network then holds at
    // most its buffer and the server waits.
    if (staging_->pending() < maxPendingWrites) {
        takeChunk();
    }
}

void UpdateEngine::takeChunk()
{
    const QByteArray chunk = reply_->readAll();
    if (chunk.isEmpty()) {
        return;
    }
    const auto size = static_cast<std::uint64_t>(chunk.size());
    if (received_ + size > limit_) {
        fail(updateError("The update download is larger than the feed announced."));
        return;
    }
    received_ += size;
    staging_->pending() += size;
    worker_->post([staging = staging_, chunk, back = toSession()] {
        if (!staging->write(chunk)) {
            back([failure = staging->failure()](UpdateEngine& e) { e.fail({updateErrorDomain, 1, failure}); });
        } else if (staging->pending() == 0) {
            back([](UpdateEngine& e) {
                if (e.reply_ && e.step_ == Step::downloading) {
                    e.downloadProgressed();
                }
            });
        }
    });
    if (userSession_) {
        tell([size](UpdateDriver& d) { d.showDownloadDidReceiveData(size); });
    }
}

void UpdateEngine::downloadFinished()
{
    deadline_.stop();
    QNetworkReply* reply = reply_;
    const quint64 session = session_;
    while (reply->error() == QNetworkReply::NoError && reply->bytesAvailable() > 0 && session_ == session) {
        takeChunk();
    }
    if (session_ != session) {
        return; // refused while reading the rest
    }
    reply->deleteLater();
    reply_ = nullptr;
    const QVariant header = reply->header(QNetworkRequest::ContentLengthHeader);
    const bool shortOfHeader = header.isValid() && header.toULongLong() != received_;
    const bool shortOfFeed = item_->contentLength > 0 && item_->contentLength != received_;
    if (reply->error() == QNetworkReply::NoError && (shortOfHeader || shortOfFeed)) {
        fail(updateError("The update download was incomplete."));
    } else if (reply->error() != QNetworkReply::NoError) {
        fail(received_ > 0 ? updateError("The update download was incomplete.") : networkError(*reply));
    } else {
        unpack();
    }
}

void UpdateEngine::unpack()
{
    step_ = Step::unpacking;
    if (userSession_) {
        tell([](UpdateDriver& d) { d.showDownloadDidStartExtractingUpdate(); });
    }
    // Progress is told only in whole percent steps.
    auto progress = [back = toSession(), tellUser = userSession_,
                     last = std::make_shared<std::atomic<int>>(-1)](double share) {
        const int percent = static_cast<int>(share * 100);
        if (tellUser && last->exchange(percent) != percent) {
            back([share](UpdateEngine& e) { e.driver_.showExtractionReceivedProgress(share); });
        }
    };
    worker_->post([staging = staging_, key = config_.publicKey,
                   claim = UpdateClaim{item_->version, item_->edSignature, config_.relaunchProgram},
                   progress = std::move(progress), cancelled = cancelled_, back = toSession()] {
        const std::optional<StagingRefusal> refusal = staging->verifyAndUnpack(key, claim, progress, *cancelled);
        back([refusal](UpdateEngine& e) { e.unpacked(refusal); });
    });
}

void UpdateEngine::unpacked(const std::optional<StagingRefusal>& refusal)
{
    if (refusal) {
        if (refusal->lasting) {
            rememberRefusedRelease(*item_);
        }
        fail({updateErrorDomain, 1, refusal->message});
    } else if (userSession_) {
        step_ = Step::ready;
        tell([reply = replyFor(&UpdateEngine::readyReplied)](UpdateDriver& d) {
            d.showReadyToInstallAndRelaunch(reply);
        });
    } else {
        step_ = Step::staged;
        tell([item = *item_, install = blockFor(&UpdateEngine::installNow)](UpdateDriver& d) {
            d.willInstallUpdateOnQuit(item, install);
        });
    }
}

void UpdateEngine::cancel()
{
    endSession();
}

void UpdateEngine::installNow()
{
    if (!startHelper(true)) {
        fail(updateError("The update could not be installed."));
        return;
    }
    step_ = Step::installing;
    quitForInstall();
}

// Asks the program to quit; when it is still running a moment later (a
// window refused to close), the interface hears so each time and may try
// again or ask the user to.
void UpdateEngine::quitForInstall()
{
    QMetaObject::invokeMethod(this, config_.terminate, Qt::QueuedConnection);
    QTimer::singleShot(quitReportDelay, this, [this] {
        tell([retry = blockFor(&UpdateEngine::quitForInstall)](UpdateDriver& d) { d.showInstallingUpdate(false, retry); });
    });
}

void UpdateEngine::installAtQuit()
{
    // A verified update waiting for the user's word installs when the
    // program quits anyway, as one prepared in the background does.
    if ((step_ == Step::staged || step_ == Step::ready) && startHelper(false)) {
        step_ = Step::installing;
    }
}

bool UpdateEngine::startHelper(bool relaunch)
{
    QStringList arguments{QString::number(config_.awaitedPid), staging_->folder(), config_.installRoot};
    if (relaunch) {
        arguments.append(config_.relaunchProgram);
    }
    if (!QProcess::startDetached(config_.helperProgram, arguments)) {
        return false;
    }
    // The helper takes the folder's lock once this program has ended, and
    // holds it until the install is done.
    worker_->post([staging = staging_] { staging->handOver(); });
    return true;
}

PivraError UpdateEngine::keptError(const KeptUpdate& kept) const
{
    return {updateErrorDomain, 1,
            QStringLiteral("Pivra %1 could not be installed into the folder %2: %3.").arg(kept.version, config_.installRoot, kept.reason)};
}

void UpdateEngine::fail(const PivraError& error)
{
    if (userSession_) {
        tell([error](UpdateDriver& d) { d.showUpdaterError(error, [] {}); });
    }
    endSession();
    tell([error](UpdateDriver& d) { d.didFinishUpdateCycle(error); });
}

void UpdateEngine::endSession()
{
    deadline_.stop();
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
        reply_ = nullptr;
    }
    // Unpacking stops at its next entry; the staging goes right after it.
    *cancelled_ = true;
    const bool told = userSession_;
    ++session_;
    step_ = Step::none;
    userSession_ = false;
    item_.reset();
    feed_.clear();
    removeStaging();
    if (told) {
        tell([](UpdateDriver& d) { d.dismissUpdateInstallation(); });
    }
}

void UpdateEngine::removeStaging()
{
    if (staging_) {
        worker_->post([staging = std::exchange(staging_, {})] { staging->remove(); });
    }
}

} // namespace pivra
