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
class DeviceOriginalCopy;

namespace detail {
struct DeviceDrags;
}

// What an original carries when it leaves the program. A folder item goes
// as its own file, never copied. A device item goes as a copy made in the
// background from the moment its drag begins, into a folder of its own under
// "Pivra Shared": a drop target (X11 and Wayland ask for the data on the GUI
// thread, at drop time or already as the drag enters) is answered at once,
// with the whole copy or, while it is still being made, with nothing, and the
// user is told once the drag is over; the copy goes on and the next drag of
// the same original hands it over. A drag that no target asked anything of
// stops its copy and removes it; a drop on our own share target never asks.
// "Pivra Shared" is a private folder of the user's (PrivateFolder.h), so no
// one else can plant a link in it that a copy or the clean-up would follow.
// An original that cannot be reached (a deleted file, a device unplugged)
// gives nothing to drag.
//
// Copies of a pasteboard share what they know of device drags.
class MediaPasteboard {
public:
    // A local file holding an original, or why there is none.
    struct LocalFile {
        QString path;
        std::optional<PivraError> error;
    };
    using LocalFileCompletion = std::function<void(const LocalFile& file)>;

    // A drop target asked for a device original and got nothing: its copy
    // was still being made (no error) or failed.
    struct RefusedDrop {
        MediaItem item;
        std::optional<PivraError> error;
    };
    using RefusedDropHandler = std::function<void(const RefusedDrop& drop)>;

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

    using DragDataHandler = std::function<void(std::unique_ptr<QMimeData> data)>;
    // Hands what a drag of `item` carries to `onData`, on the GUI thread while
    // `context` lives and never inside this call: none when the original
    // cannot be reached. A folder item's file is looked for on the pool, since
    // a disk going away can hold a stat for seconds; a device item is answered
    // as deviceMimeData() answers. The drag is over when the data goes. GUI
    // thread.
    void dragData(const MediaItem& item, QObject* context, DragDataHandler onData) const;
    // What a drag of the device item `item` carries; none when its device
    // holds no such file, or for a folder item. Its copy starts here, or the
    // copy a refused drop left running is taken up again. GUI thread (it
    // reads the devices' table of files).
    std::unique_ptr<QMimeData> deviceMimeData(const MediaItem& item) const;
    // The copy a device item's drag data hands over; none for other data.
    static std::shared_ptr<const DeviceOriginalCopy> deviceCopy(const QMimeData& data);

    // Hears, on the GUI thread after the drag is over and while `context`
    // lives, about each drag whose drop target got nothing. Every copy of
    // this pasteboard tells the same one.
    void setRefusedDropHandler(const QObject* context, RefusedDropHandler handler);

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
    std::shared_ptr<detail::DeviceDrags> deviceDrags_;
};

} // namespace pivra
