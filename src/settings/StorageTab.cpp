#include "settings/StorageTab.h"

#include "settings/PreferenceCard.h"
#include "settings/StorageUsage.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/AppSettings.h"
#include "platform/runtime/threads/Pool.h"
#include "store/LibraryStore.h"
#include "style/ByteCountText.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace pivra {

namespace {

// Seconds of each clip, as the clip maker cuts them.
constexpr int previewSeconds = 3;

using Measures = std::pair<StorageMeasure, StorageMeasure>;

Measures measureBoth(std::function<StorageMeasure(const QString&)> measure, QString thumbnails, QString previews)
{
    // Thumbnails first: they are what the window waits to see.
    StorageMeasure first = measure(thumbnails);
    return {first, measure(previews)};
}

QString count(qint64 value)
{
    return QLocale().toString(value);
}

QString preparing(int completed, int total)
{
    return QStringLiteral("Preparing ") + count(completed) + QStringLiteral(" of ") + count(total) + u'…';
}

QLabel* sizeLabel(QWidget* parent)
{
    return secondaryLabel(StorageTab::summary(std::nullopt), 12, parent);
}

} // namespace

StorageTab::StorageTab(LibraryStore& store, StorageServices services, QWidget* parent)
    : QWidget(parent)
    , store_(store)
    , services_(std::move(services))
    , previewsEnabled_(AppSettings().flag(VideoPreviewStore::enabledKey, true))
    , wasPreparingThumbnails_(store.isPreparingThumbnails())
    , wasPreparingPreviews_(store.isPreparingVideoPreviews())
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(20);

    usage_ = new StorageUsage(this);
    column->addWidget(usage_);

    auto* thumbnailCard = new PreferenceCard(QStringLiteral("Thumbnails"), nullptr, this);
    thumbnailSize_ = sizeLabel(this);
    reveal_ = new QPushButton(QStringLiteral("Show in File Manager"), this);
    connect(reveal_, &QPushButton::clicked, this, &StorageTab::revealThumbnails);
    thumbnailCard->addRow(new PreferenceRow(
        QStringLiteral("Stored thumbnails"),
        QStringLiteral("Kept when a folder moves or a drive is reconnected; only new media needs preparing."),
        accessoryGroup({thumbnailSize_, reveal_}, this)));
    thumbnailCard->addDivider(14);
    prepare_ = new QPushButton(QStringLiteral("Prepare Missing"), this);
    connect(prepare_, &QPushButton::clicked, this, [this] { store_.startThumbnailPreparation(false); });
    status_ = new PreferenceRow(QStringLiteral("Status"), QString(), prepare_, this);
    thumbnailCard->addRow(status_);
    column->addWidget(thumbnailCard);

    auto* previewCard = new PreferenceCard(QStringLiteral("Video previews"), nullptr, this);
    previewSwitch_ = new QCheckBox(this);
    previewSwitch_->setAccessibleName(QStringLiteral("Play previews on hover"));
    previewSwitch_->setChecked(previewsEnabled_);
    connect(previewSwitch_, &QCheckBox::toggled, this, [this](bool on) {
        AppSettings().setValue(VideoPreviewStore::enabledKey, on);
        followPreviewSetting();
    });
    previewCard->addRow(new PreferenceRow(QStringLiteral("Play previews on hover"),
                                          QStringLiteral("The first %1 seconds of each video, silent and at low "
                                                         "resolution. They play instantly, even when a drive is "
                                                         "disconnected.")
                                              .arg(previewSeconds),
                                          previewSwitch_, this));
    previewCard->addDivider(14);
    previewSize_ = sizeLabel(this);
    delete_ = new QPushButton(this);
    connect(delete_, &QPushButton::clicked, this, [this] { startTask(this, deleteAllPreviews()); });
    storedPreviews_ = new PreferenceRow(QStringLiteral("Stored previews"), QString(),
                                        accessoryGroup({previewSize_, delete_}, this), this);
    previewCard->addRow(storedPreviews_);
    column->addWidget(previewCard);
    column->addStretch(1);

    for (const auto changed : {&LibraryStore::isPreparingThumbnailsChanged, &LibraryStore::thumbnailCompletedChanged,
                               &LibraryStore::thumbnailTotalChanged, &LibraryStore::sourcesChanged,
                               &LibraryStore::thumbnailStatusesChanged, &LibraryStore::isScanningChanged}) {
        connect(&store_, changed, this, &StorageTab::showStatus);
    }
    for (const auto changed : {&LibraryStore::isPreparingVideoPreviewsChanged,
                               &LibraryStore::videoPreviewCompletedChanged, &LibraryStore::videoPreviewTotalChanged}) {
        connect(&store_, changed, this, &StorageTab::showPreviewProgress);
    }
    // A run that ends has changed what is stored.
    connect(&store_, &LibraryStore::isPreparingThumbnailsChanged, this, [this] {
        if (std::exchange(wasPreparingThumbnails_, store_.isPreparingThumbnails()) && !wasPreparingThumbnails_) {
            refreshStorage();
        }
    });
    connect(&store_, &LibraryStore::isPreparingVideoPreviewsChanged, this, [this] {
        if (std::exchange(wasPreparingPreviews_, store_.isPreparingVideoPreviews()) && !wasPreparingPreviews_) {
            refreshStorage();
        }
    });
    showSizes();
    showStatus();
    showPreviewProgress();
}

void StorageTab::refreshStorage()
{
    startTask(this, measureFolders(++generation_));
}

Task<> StorageTab::measureFolders(int generation)
{
    const Measures measures = co_await runOnPool(PoolPriority::utility, &measureBoth, services_.measure,
                                                 services_.thumbnailFolder, services_.previewFolder);
    if (generation != generation_) {
        co_return; // a newer measurement is under way
    }
    thumbnails_ = measures.first;
    videoPreviews_ = measures.second;
    showSizes();
    Q_EMIT measured();
}

Task<> StorageTab::deleteAllPreviews()
{
    co_await store_.deleteAllVideoPreviews();
    followPreviewSetting();
    refreshStorage();
}

QString StorageTab::summary(const std::optional<StorageMeasure>& measure)
{
    if (!measure) {
        return QStringLiteral("Calculating…");
    }
    return count(measure->count) + QStringLiteral(" · ") + byteCountText(measure->bytes);
}

QString StorageTab::thumbnailStatus() const
{
    if (store_.isPreparingThumbnails()) {
        return preparing(store_.thumbnailCompleted(), store_.thumbnailTotal());
    }
    qint64 pending = 0;
    qint64 failed = 0;
    bool online = false;
    for (const LibrarySource& source : store_.sources()) {
        if (!source.isOnline) {
            continue;
        }
        online = true;
        const ThumbnailStatus status = store_.thumbnailStatuses().value(source.id);
        pending += status.pending;
        failed += status.failed;
    }
    if (!online) {
        return QStringLiteral("No source is connected.");
    }
    QString text = pending == 0 ? QStringLiteral("All connected sources are ready.")
                                : count(pending) + QStringLiteral(" waiting to be prepared.");
    if (failed != 0) {
        text += u' ' + count(failed) + QStringLiteral(" unavailable.");
    }
    return text;
}

QString StorageTab::deleteVideoPreviewsTitle() const
{
    if (videoPreviews_ && videoPreviews_->bytes >= 1) {
        return QStringLiteral("Delete All (") + byteCountText(videoPreviews_->bytes) + u')';
    }
    return QStringLiteral("Delete All");
}

void StorageTab::showSizes()
{
    usage_->show(thumbnails_ ? thumbnails_->bytes : 0, videoPreviews_ ? videoPreviews_->bytes : 0,
                 thumbnails_.has_value());
    thumbnailSize_->setText(summary(thumbnails_));
    previewSize_->setText(summary(videoPreviews_));
    delete_->setText(deleteVideoPreviewsTitle());
    delete_->setEnabled(videoPreviews_ && videoPreviews_->bytes != 0);
}

void StorageTab::showStatus()
{
    status_->setSubtitle(thumbnailStatus());
    const QList<LibrarySource>& sources = store_.sources();
    const bool online = std::any_of(sources.cbegin(), sources.cend(), [](const LibrarySource& source) {
        return source.isOnline;
    });
    prepare_->setEnabled(online && !store_.isScanning() && !store_.isPreparingThumbnails());
}

void StorageTab::showPreviewProgress()
{
    storedPreviews_->setSubtitle(store_.isPreparingVideoPreviews()
                                     ? preparing(store_.videoPreviewCompleted(), store_.videoPreviewTotal())
                                     : QStringLiteral("Deleting them turns previews off."));
}

void StorageTab::followPreviewSetting()
{
    const bool enabled = AppSettings().flag(VideoPreviewStore::enabledKey, true);
    if (enabled == previewsEnabled_) {
        return;
    }
    previewsEnabled_ = enabled;
    {
        const QSignalBlocker quiet(previewSwitch_);
        previewSwitch_->setChecked(enabled);
    }
    if (enabled) {
        store_.startVideoPreviewPreparation();
    } else {
        store_.cancelVideoPreviewPreparation();
    }
}

void StorageTab::revealThumbnails()
{
    // A folder that cannot be made is shown all the same: the file manager
    // says what is wrong better than we could.
    QDir().mkpath(services_.thumbnailFolder);
    if (services_.revealFolder) {
        services_.revealFolder(services_.thumbnailFolder);
    } else {
        QDesktopServices::openUrl(QUrl::fromLocalFile(services_.thumbnailFolder));
    }
}

} // namespace pivra
