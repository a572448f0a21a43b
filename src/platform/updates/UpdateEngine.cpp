#include "platform/updates/UpdateEngine.h"

#include "platform/AppSettings.h"
#include "platform/updates/InstallLocation.h"
#include "platform/updates/UpdateArchive.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRandomGenerator>
#include <QtConcurrent/QtConcurrentRun>

#include <stdexcept>

namespace pivra {

namespace {

const QString automaticChecksKey = QStringLiteral("pivra.updates.automaticChecks");
const QString automaticDownloadsKey = QStringLiteral("pivra.updates.automaticDownloads");
const QString lastCheckKey = QStringLiteral("pivra.updates.lastCheck");

// HTTPS, or plain HTTP from this machine (a test's server).
bool allowedUrl(const QUrl& url)
{
    if (url.scheme() == u"https") {
        return true;
    }
    const QHostAddress host(url.host());
    return url.scheme() == u"http" && (url.host() == u"localhost" || (!host.isNull() && host.isLoopback()));
}

PivraError updateError(const char* text)
{
    return {updateErrorDomain, 1, QString::fromUtf8(text)};
}

PivraError networkError(const QNetworkReply& reply)
{
    return {updateNetworkErrorDomain, static_cast<int>(reply.error()), reply.errorString()};
}

// Checks the archive's signature, then unpacks it into staging/root. The
// text of the first refusal, empty when the staged folder is ready.
QString verifyAndUnpack(const QString& archive, const QString& root, const QByteArray& key,
                        const QString& signature, const std::function<void(double)>& progress,
                        const std::atomic<bool>& cancelled)
{
    if (!verifyEd25519(archive, key, signature)) {
        return QStringLiteral("The update's signature is not valid.");
    }
    if (!QDir().mkpath(root)) {
        return QStringLiteral("The update could not be unpacked.");
    }
    try {
        extractArchive(archive, root, progress, cancelled);
    } catch (const UpdateArchiveError& error) {
        return QString::fromUtf8(error.what());
    }
    if (!QFileInfo::exists(root + u'/' + installMarkerName)) {
        return QStringLiteral("The update is not a Pivra install folder.");
    }
    return {};
}

} // namespace

UpdateEngine::UpdateEngine(UpdateEngineConfig config, UpdateDriver& driver, QObject* parent)
    : QObject(parent)
    , config_(std::move(config))
    , driver_(driver)
    , network_(new QNetworkAccessManager(this))
{
    network_->setRedirectPolicy(QNetworkRequest::UserVerifiedRedirectPolicy);
    connect(&schedule_, &QTimer::timeout, this, &UpdateEngine::scheduledCheck);
    connect(&unpacking_, &QFutureWatcher<QString>::finished, this, &UpdateEngine::unpacked);
}

UpdateEngine::~UpdateEngine()
{
    cancelled_ = true;
    unpacking_.waitForFinished();
    if (reply_) {
        reply_->abort();
    }
    if (step_ != Step::installing) {
        removeStaging();
    }
}

std::optional<PivraError> UpdateEngine::startUpdater()
{
    if (!config_.feedUrl.isValid() || !allowedUrl(config_.feedUrl)) {
        return updateError("The update feed is not a secure address.");
    }
    if (config_.publicKey.size() != 32) {
        return updateError("The update key is not an Ed25519 public key.");
    }
    if (config_.installRoot.isEmpty() || !QFileInfo::exists(config_.helperProgram)) {
        return updateError("This install cannot replace itself.");
    }
    started_ = true;
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
        tell([](UpdateDriver& d) { d.showUserInitiatedUpdateCheck(); });
        tell([item = *item_, reply = replyFor(&UpdateEngine::foundReplied)](UpdateDriver& d) {
            d.showUpdateFound(item, 1, reply);
        });
        tell([](UpdateDriver& d) { d.didFinishUpdateCycle(std::nullopt); });
        return;
    }
    if (step_ != Step::none && !userSession_) {
        // A quiet check or download under way becomes the user's.
        userSession_ = true;
        tell([](UpdateDriver& d) { d.showUserInitiatedUpdateCheck(); });
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
    tell([](UpdateDriver& d) { d.showUserInitiatedUpdateCheck(); });
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

QNetworkReply* UpdateEngine::get(const QUrl& url)
{
    QNetworkReply* reply = network_->get(QNetworkRequest(url));
    connect(reply, &QNetworkReply::redirected, reply, [reply](const QUrl& target) {
        if (allowedUrl(target)) {
            Q_EMIT reply->redirectAllowed();
        } else {
            reply->abort();
        }
    });
    return reply;
}

void UpdateEngine::fetchFeed()
{
    step_ = Step::checking;
    reply_ = get(config_.feedUrl);
    connect(reply_, &QNetworkReply::finished, this, &UpdateEngine::feedArrived);
}

void UpdateEngine::feedArrived()
{
    QNetworkReply* reply = reply_;
    reply->deleteLater();
    reply_ = nullptr;
    if (reply->error() != QNetworkReply::NoError) {
        fail(networkError(*reply));
        return;
    }
    std::optional<AppcastItem> found;
    try {
        found = newestUpdate(parseAppcast(reply->readAll()), config_.installedVersion);
    } catch (const std::runtime_error&) {
        fail(updateError("The update feed could not be read."));
        return;
    }
    AppSettings().setValue(lastCheckKey, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    if (found && !found->informationOnly && !allowedUrl(found->url)) {
        fail(updateError("The update is not offered from a secure address."));
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
    staging_ = parent + QStringLiteral("/.pivra-update-")
               + QString::number(QRandomGenerator::global()->generate64(), 16);
    archive_ = std::make_unique<QFile>(staging_ + QStringLiteral("/archive"));
    if (!QDir().mkdir(staging_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
        || !archive_->open(QIODevice::WriteOnly)) {
        fail(updateError("The update could not be saved beside the program."));
        return;
    }
    step_ = Step::downloading;
    received_ = 0;
    lengthTold_ = false;
    cancelled_ = false;
    if (userSession_) {
        tell([cancel = blockFor(&UpdateEngine::cancel)](UpdateDriver& d) { d.showDownloadInitiated(cancel); });
    }
    reply_ = get(item_->url);
    connect(reply_, &QNetworkReply::readyRead, this, &UpdateEngine::downloadProgressed);
    connect(reply_, &QNetworkReply::finished, this, &UpdateEngine::downloadFinished);
}

void UpdateEngine::downloadProgressed()
{
    if (!lengthTold_ && userSession_) {
        const QVariant header = reply_->header(QNetworkRequest::ContentLengthHeader);
        const std::uint64_t length = header.isValid() ? header.toULongLong() : item_->contentLength;
        tell([length](UpdateDriver& d) { d.showDownloadDidReceiveExpectedContentLength(length); });
    }
    lengthTold_ = true;
    const QByteArray chunk = reply_->readAll();
    if (archive_->write(chunk) != chunk.size()) {
        reply_->abort(); // finished() reports the short file
        return;
    }
    received_ += static_cast<std::uint64_t>(chunk.size());
    if (userSession_ && !chunk.isEmpty()) {
        tell([length = static_cast<std::uint64_t>(chunk.size())](UpdateDriver& d) {
            d.showDownloadDidReceiveData(length);
        });
    }
}

void UpdateEngine::downloadFinished()
{
    QNetworkReply* reply = reply_;
    reply->deleteLater();
    if (reply->bytesAvailable() > 0) {
        downloadProgressed();
    }
    reply_ = nullptr;
    archive_->close();
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
    auto progress = [this, tellUser = userSession_, last = std::make_shared<std::atomic<int>>(-1)](double share) {
        const int percent = static_cast<int>(share * 100);
        if (tellUser && last->exchange(percent) != percent) {
            tell([share](UpdateDriver& d) { d.showExtractionReceivedProgress(share); });
        }
    };
    unpacking_.setFuture(QtConcurrent::run(verifyAndUnpack, archive_->fileName(), staging_ + QStringLiteral("/root"),
                                           config_.publicKey, item_->edSignature, progress,
                                           std::cref(cancelled_)));
}

void UpdateEngine::unpacked()
{
    if (step_ != Step::unpacking) {
        return; // the session ended while the worker ran
    }
    const QString refusal = unpacking_.result();
    if (!refusal.isEmpty()) {
        fail({updateErrorDomain, 1, refusal});
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
    tell([retry = config_.terminate](UpdateDriver& d) { d.showInstallingUpdate(false, retry); });
    QMetaObject::invokeMethod(this, config_.terminate, Qt::QueuedConnection);
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
    QStringList arguments{QString::number(config_.awaitedPid), staging_, config_.installRoot};
    if (relaunch) {
        arguments.append(config_.relaunchProgram);
    }
    return QProcess::startDetached(config_.helperProgram, arguments);
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
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
        reply_ = nullptr;
    }
    // Unpacking stops at its next entry; the staging goes only after that.
    cancelled_ = true;
    unpacking_.waitForFinished();
    const bool told = userSession_;
    ++session_;
    step_ = Step::none;
    userSession_ = false;
    item_.reset();
    removeStaging();
    if (told) {
        tell([](UpdateDriver& d) { d.dismissUpdateInstallation(); });
    }
}

void UpdateEngine::removeStaging()
{
    archive_.reset();
    if (!staging_.isEmpty()) {
        QDir(staging_).removeRecursively();
        staging_.clear();
    }
}

} // namespace pivra
