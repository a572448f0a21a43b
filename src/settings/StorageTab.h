#pragma once

#include "media/thumbnails/cache/ThumbnailCacheStats.h"
#include "platform/runtime/Task.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QAbstractButton;
class QCheckBox;
class QLabel;
class QPushButton;

namespace pivra {

class LibraryStore;
class PreferenceRow;
class StorageUsage;

// What the Storage tab measures and how it shows a folder.
struct StorageServices {
    QString thumbnailFolder; // the grid thumbnails
    QString previewFolder;   // the hover clips
    // Counts a folder's files and bytes; blocking, run on the pool.
    std::function<StorageMeasure(const QString& folder)> measure = &diskStats;
    // Shows the folder in the file manager; none opens it with the desktop.
    std::function<void(const QString& folder)> revealFolder;
};

// The preferences' Storage tab: what Pivra's own caches take on disk, how far
// thumbnail preparation has come, and the actions on them (show the
// thumbnail folder, prepare missing thumbnails, switch hover clips on or off,
// delete every clip).
//
// It measures both folders on the pool when asked and again whenever a
// thumbnail or clip run ends; each measurement takes a new generation and
// only the one started last is shown, so numbers from before a delete never
// come back after it.
class StorageTab final : public QWidget {
    Q_OBJECT

public:
    StorageTab(LibraryStore& store, StorageServices services, QWidget* parent = nullptr);

    // Measures both folders again; `measured` follows once the newest
    // measurement is shown.
    void refreshStorage();

    // "Calculating…" before the count, else "1,234 · 5 MB".
    static QString summary(const std::optional<StorageMeasure>& measure);
    // The Status row's subtitle: progress while preparing, else what waits.
    QString thumbnailStatus() const;
    QString deleteVideoPreviewsTitle() const;

    const std::optional<StorageMeasure>& thumbnails() const { return thumbnails_; }
    const std::optional<StorageMeasure>& videoPreviews() const { return videoPreviews_; }

    StorageUsage* usage() const { return usage_; }
    QPushButton* revealButton() const { return reveal_; }
    QPushButton* prepareButton() const { return prepare_; }
    QCheckBox* previewSwitch() const { return previewSwitch_; }
    QPushButton* deleteButton() const { return delete_; }
    QLabel* thumbnailSizeLabel() const { return thumbnailSize_; }
    QLabel* previewSizeLabel() const { return previewSize_; }
    PreferenceRow* statusRow() const { return status_; }
    PreferenceRow* storedPreviewsRow() const { return storedPreviews_; }

Q_SIGNALS:
    void measured();

private:
    Task<> measureFolders(int generation);
    Task<> deleteAllPreviews();
    void showSizes();
    void showStatus();
    void showPreviewProgress();
    // Takes the stored switch value; a change starts or stops clip making.
    void followPreviewSetting();
    void revealThumbnails();

    LibraryStore& store_;
    StorageServices services_;
    std::optional<StorageMeasure> thumbnails_;
    std::optional<StorageMeasure> videoPreviews_;
    int generation_ = 0;
    bool previewsEnabled_;
    bool wasPreparingThumbnails_;
    bool wasPreparingPreviews_;

    StorageUsage* usage_;
    QLabel* thumbnailSize_;
    QPushButton* reveal_;
    PreferenceRow* status_;
    QPushButton* prepare_;
    QCheckBox* previewSwitch_;
    PreferenceRow* storedPreviews_;
    QLabel* previewSize_;
    QPushButton* delete_;
};

} // namespace pivra
