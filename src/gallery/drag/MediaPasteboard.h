#pragma once

#include "catalog/model/MediaItem.h"
#include "platform/PivraError.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QMimeData;
class QObject;

namespace pivra {

class CameraSourceManager;

// What an original carries when it leaves the program. A folder item goes
// as its own file, never copied. A device item goes as data that copies the
// original out of the device only when a drop target asks for it (X11 and
// Wayland ask at drop time), into a folder of its own under "Pivra Shared";
// a drop on our own share target never asks. "Pivra Shared" is a private
// folder of the user's (PrivateFolder.h), so no one else can plant a link
// in it that a copy or the clean-up would follow. An original that cannot be
// reached (a deleted file, a device unplugged) gives nothing to drag.
class MediaPasteboard {
public:
    // A local file holding an original, or why there is none.
    struct LocalFile {
        QString path;
        std::optional<PivraError> error;
    };
    using LocalFileCompletion = std::function<void(const LocalFile& file)>;

    // `cameras` reaches the devices' files (none: no device item is
    // reachable); device originals are copied into folders under `sharedRoot`.
    explicit MediaPasteboard(CameraSourceManager* cameras = nullptr, QString sharedRoot = sharedFolder());

    // "Pivra/Pivra Shared" in the user's cache folder: copies of device
    // videos can be large, more than the runtime folder's memory should hold.
    static QString sharedFolder();
    // A new, private folder of its own under the shared root for each copy,
    // so that two copies of one original never meet; empty when the shared
    // root is not a private folder of this user's (owned by another, or a
    // link), which is then not used at all.
    QString newShareFolder() const;

    // What a drag of `item` carries; none when the original cannot be
    // reached. GUI thread (it reads the devices' table of files).
    std::unique_ptr<QMimeData> mimeData(const MediaItem& item) const;

    // A local file holding `item`'s original, handed to `completion` on
    // `context`'s thread (never inside this call; dropped when `context` is
    // gone): a folder item's own path, unchecked, or a device original
    // copied into a new share folder.
    void localFile(const MediaItem& item, QObject* context, LocalFileCompletion completion) const;

    // Files as the desktop's clipboard and file drags carry them: a URI list
    // and the same as copied files, for file managers that take only those.
    static std::unique_ptr<QMimeData> filesMimeData(const QStringList& paths);
    static QByteArray uriListBytes(const QList<QUrl>& urls);
    static QByteArray copiedFilesBytes(const QList<QUrl>& urls);

    // Removes the share folders last changed before `before`: only the
    // UUID-named folders this user owns, judged by their own status, never
    // through a link, and nothing when the shared root is not private.
    // Blocking disk work for a pool thread. A folder a drop is still
    // reading is never that old.
    static void removeSharesOlderThan(const QString& sharedRoot, const QDateTime& before);
    // At start: the share folders of the shared folder a day old or more go,
    // on a pool thread.
    static void removeOldShares();

private:
    CameraSourceManager* cameras_;
    QString sharedRoot_;
};

} // namespace pivra
