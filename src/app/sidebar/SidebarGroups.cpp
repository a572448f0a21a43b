#include "app/sidebar/SidebarGroups.h"

#include "style/ByteCountText.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace pivra {

namespace {

const QString cameraKey = QStringLiteral("camera");
const QString otherKey = QStringLiteral("other");

} // namespace

QString sourceGroupKey(const LibrarySource& source)
{
    if (source.kind == LibrarySource::Kind::camera) {
        return cameraKey;
    }
    return source.volumePath.value_or(otherKey);
}

namespace {

QString volumeTitle(const QString& key, const QList<LibrarySource>& sources)
{
    if (key == cameraKey) {
        return QStringLiteral("DEVICES");
    }
    const auto first = std::find_if(sources.begin(), sources.end(),
                                    [&](const LibrarySource& source) { return sourceGroupKey(source) == key; });
    if (first == sources.end() || key == otherKey) {
        return QStringLiteral("OTHER LOCATIONS");
    }
    QString title = first->volumeName.value_or(QStringLiteral("Disk")).toUpper();
    if (first->volumeCapacity) {
        title += QStringLiteral(" · ") + byteCountText(*first->volumeCapacity);
    }
    return title;
}

// Whether another volume among `sources` has the same heading as `key`: two
// disks without a label, or with one label, and of one size.
bool sharesTitle(const QString& key, const QString& title, const QList<LibrarySource>& sources)
{
    QSet<QString> seen{key, cameraKey, otherKey};
    for (const LibrarySource& source : sources) {
        const QString other = sourceGroupKey(source);
        if (!seen.contains(other)) {
            seen.insert(other);
            if (volumeTitle(other, sources) == title) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

QString sourceGroupTitle(const QString& key, const QList<LibrarySource>& sources)
{
    QString title = volumeTitle(key, sources);
    if (key != cameraKey && key != otherKey && sharesTitle(key, title, sources)) {
        // The folder each is mounted on tells them apart, as the file manager
        // shows it; the root has only its path.
        const QString folder = QFileInfo(key).fileName();
        title += QStringLiteral(" · ") + (folder.isEmpty() ? key : folder).toUpper();
    }
    return title;
}

QStringList sourceGroupKeys(const QList<LibrarySource>& sources)
{
    QStringList keys;
    for (const LibrarySource& source : sources) {
        const QString key = sourceGroupKey(source);
        if (!keys.contains(key)) {
            keys.append(key);
        }
    }
    QList<std::pair<QString, QString>> titled;
    for (const QString& key : keys) {
        titled.append({sourceGroupTitle(key, sources), key});
    }
    // QString's operator< compares UTF-16 code units, which orders every
    // title the same as comparing code points would except across the
    // surrogate range; titles are plain text, so that is the order wanted.
    std::stable_sort(titled.begin(), titled.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    keys.clear();
    for (const auto& [title, key] : titled) {
        keys.append(key);
    }
    return keys;
}

QList<AvailableCameraDevice> camerasToAdd(const QList<AvailableCameraDevice>& cameras,
                                          const QList<LibrarySource>& sources)
{
    QList<AvailableCameraDevice> missing;
    for (const AvailableCameraDevice& camera : cameras) {
        const bool added = std::any_of(sources.begin(), sources.end(), [&](const LibrarySource& source) {
            return source.kind == LibrarySource::Kind::camera && source.deviceID == camera.id;
        });
        if (!added) {
            missing.append(camera);
        }
    }
    return missing;
}

bool isHighlighted(LibraryRow row, const LibraryRowsView& view)
{
    switch (row) {
    case LibraryRow::allMedia:
        return !view.sourceID && !view.favorites && !view.albums && !view.map && !view.albumID;
    case LibraryRow::favorites:
        return view.favorites;
    case LibraryRow::albums:
        return view.albums || view.albumID.has_value();
    case LibraryRow::map:
        return view.map;
    }
    return false;
}

} // namespace pivra
