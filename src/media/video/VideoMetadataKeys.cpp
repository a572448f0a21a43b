#include "media/video/VideoMetadataKeys.h"

#include <QHash>
#include <QSet>

namespace pivra {

std::optional<QString> platformIdentifier(const QString& tag)
{
    static const QString quickTimePrefix = QStringLiteral("com.apple.quicktime.");
    // QuickTime metadata keys that carry a common key on the platform.
    static const QSet<QString> commonQuickTimeKeys{
        "album", "artist", "author", "copyright", "creationdate", "description", "location.ISO6709",
        "make", "model", "publisher", "software", "title",
    };
    // FFmpeg's names for the user-data atoms with a common key.
    static const QHash<QString, QString> userDataAtoms{
        {"album", "%A9alb"}, {"artist", "%A9ART"}, {"copyright", "%A9cpy"}, {"date", "%A9day"},
        {"description", "%A9des"}, {"encoder", "%A9swr"}, {"location", "%A9xyz"}, {"make", "%A9mak"},
        {"model", "%A9mod"}, {"title", "%A9nam"},
    };
    if (tag.startsWith(quickTimePrefix)) {
        if (commonQuickTimeKeys.contains(tag.sliced(quickTimePrefix.size()))) {
            return QStringLiteral("mdta/") + tag;
        }
        return std::nullopt;
    }
    if (const auto atom = userDataAtoms.constFind(tag); atom != userDataAtoms.cend()) {
        return QStringLiteral("udta/") + *atom;
    }
    return std::nullopt;
}

} // namespace pivra
