#include "media/camera/CameraItemPaths.h"

#include "catalog/model/Uuid.h"

#include <QCryptographicHash>

#include <algorithm>
#include <numeric>
#include <unordered_set>

namespace pivra {

QString cameraPrefix(const QUuid& sourceID)
{
    return cameraScheme + uuidString(sourceID) + u'/';
}

QString cameraItemPath(const QUuid& sourceID, std::uint32_t handle, const QString& fileName)
{
    return cameraPrefix(sourceID) + QString::number(handle) + u'/' + fileName;
}

QString safeCameraFileName(const QString& name)
{
    if (name.isEmpty() || name == u"." || name == u"..") {
        return QStringLiteral("Untitled");
    }
    QString safe = name;
    safe.replace(u'/', u'_').replace(QChar(u'\0'), u'_');
    return safe;
}

std::uint32_t cameraKeyHash(const QString& key)
{
    const QByteArray digest = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256);
    const auto byte = [&digest](int i) { return std::uint32_t(std::uint8_t(digest[i])); };
    return byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
}

std::vector<std::uint32_t> cameraHandles(const std::vector<QString>& keys, const CameraKeyHash& hash)
{
    std::vector<std::size_t> order(keys.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });

    std::vector<std::uint32_t> handles(keys.size());
    std::unordered_set<std::uint32_t> taken;
    taken.reserve(keys.size());
    for (const std::size_t index : order) {
        std::uint32_t handle = hash(keys[index]);
        while (!taken.insert(handle).second) {
            ++handle; // wraps at 2^32, as a probe over the whole range should
        }
        handles[index] = handle;
    }
    return handles;
}

} // namespace pivra
