#include "platform/updates/RefusedReleases.h"

#include "platform/AppSettings.h"

namespace pivra {

namespace {

const QString refusedKey = QStringLiteral("pivra.updates.refusedReleases");
// The newest refusals kept; a feed lists only a few releases.
constexpr qsizetype refusalsKept = 20;

QString releaseKey(const AppcastItem& item)
{
    return item.version + u' ' + item.edSignature;
}

} // namespace

QStringList refusedReleases()
{
    return AppSettings().value(refusedKey).toStringList();
}

void rememberRefusedRelease(const AppcastItem& item)
{
    QStringList refused = refusedReleases();
    refused.removeAll(releaseKey(item));
    refused.append(releaseKey(item));
    AppSettings().setValue(refusedKey, refused.mid(std::max<qsizetype>(0, refused.size() - refusalsKept)));
}

bool isRefused(const AppcastItem& item, const QStringList& refused)
{
    return refused.contains(releaseKey(item));
}

} // namespace pivra
