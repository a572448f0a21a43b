#include "settings/updates/UpdateStatusRow.h"

#include "platform/updates/UpdateBuildConfig.h"
#include "style/ByteCountText.h"

#include <unicode/locid.h>
#include <unicode/reldatefmt.h>

#include <cmath>
#include <limits>

namespace pivra {

namespace {

using Kind = UpdateController::Phase::Kind;
using Control = UpdateStatusRow::Control;

// The largest calendar unit in which `then` lies at least one step before
// `now`, and how many of it; seconds below a minute.
std::pair<double, URelativeDateTimeUnit> relativeOffset(const QDateTime& then, const QDateTime& now)
{
    const qint64 seconds = then.secsTo(now);
    if (seconds < 60) {
        return {-double(std::max<qint64>(seconds, 0)), UDAT_REL_UNIT_SECOND};
    }
    if (seconds < 3600) {
        return {-double(seconds / 60), UDAT_REL_UNIT_MINUTE};
    }
    const qint64 days = then.date().daysTo(now.date());
    if (days < 1) {
        return {-double(seconds / 3600), UDAT_REL_UNIT_HOUR};
    }
    if (days < 7) {
        return {-double(days), UDAT_REL_UNIT_DAY};
    }
    if (days < 30) {
        return {-double(days / 7), UDAT_REL_UNIT_WEEK};
    }
    if (days < 365) {
        return {-double(days / 30), UDAT_REL_UNIT_MONTH};
    }
    return {-double(days / 365), UDAT_REL_UNIT_YEAR};
}

} // namespace

QString lastCheckedText(const std::optional<QDateTime>& lastChecked, const QDateTime& now)
{
    if (!lastChecked) {
        return QStringLiteral("Not checked yet.");
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::RelativeDateTimeFormatter formatter(icu::Locale::getEnglish(), nullptr, UDAT_STYLE_LONG,
                                             UDISPCTX_CAPITALIZATION_NONE, status);
    const auto [offset, unit] = relativeOffset(*lastChecked, now);
    icu::UnicodeString text;
    // The named form where there is one ("yesterday", "now"), else numeric.
    formatter.format(offset, unit, text, status);
    if (U_FAILURE(status)) {
        return QStringLiteral("Not checked yet.");
    }
    return QStringLiteral("Last checked ")
           + QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length()) + u'.';
}

QString downloadSizeText(std::uint64_t bytes)
{
    constexpr auto largest = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return byteCountText(static_cast<std::int64_t>(std::min(bytes, largest)));
}

UpdateStatusRow updateStatusRow(const UpdateController& updates, const QString& installed, const QDateTime& now)
{
    const UpdateController::Phase& phase = updates.phase();
    const QString version = phase.release() ? phase.release()->version : QString();
    switch (phase.kind) {
    case Kind::available: {
        const std::uint64_t bytes = phase.release()->bytes;
        return {QStringLiteral("Pivra %1 is available").arg(version),
                bytes > 0 ? QStringLiteral("You have %1 · %2 download.").arg(installed, downloadSizeText(bytes))
                          : QStringLiteral("You have %1.").arg(installed),
                {Control::updateNow}};
    }
    case Kind::downloading:
        return {QStringLiteral("Downloading Pivra %1").arg(version),
                phase.expected == 0 ? QStringLiteral("Starting…")
                                    : QStringLiteral("%1 of %2").arg(downloadSizeText(phase.received),
                                                                    downloadSizeText(phase.expected)),
                {Control::progress, Control::cancel},
                phase.expected == 0 ? 0.0 : double(phase.received) / double(phase.expected)};
    case Kind::extracting:
        return {QStringLiteral("Preparing Pivra %1").arg(version), QStringLiteral("Checking the update's signature."),
                {Control::progress}, phase.progress};
    case Kind::ready:
        return {QStringLiteral("Pivra %1 is ready to install").arg(version),
                QStringLiteral("Pivra closes, updates and opens again in a few seconds."), {Control::restartToUpdate}};
    case Kind::installing:
        if (updates.waitingToQuit()) {
            return {QStringLiteral("Installing Pivra %1…").arg(version),
                    QStringLiteral("Pivra needs to close to finish. It opens again by itself."), {Control::restartNow}};
        }
        return {QStringLiteral("Installing Pivra %1…").arg(version), QStringLiteral("Pivra will open again by itself."),
                {Control::spinner}};
    case Kind::failed:
        return {QStringLiteral("The update didn't finish"), phase.message, {Control::tryAgain}};
    case Kind::checking:
        // A feed that answers slowly can be given up on.
        return {QStringLiteral("Checking for updates…"), QStringLiteral("Pivra %1").arg(installed),
                {Control::spinner, Control::cancel}};
    case Kind::idle:
    case Kind::upToDate:
        break;
    }
    if (updates.isAvailable()) {
        return {QStringLiteral("Pivra %1 is up to date").arg(installed), lastCheckedText(updates.lastChecked(), now),
                {Control::checkNow}};
    }
    return {QStringLiteral("Pivra %1").arg(installed),
            QStringLiteral("This build doesn't update itself. Release builds from %1 do.").arg(QString::fromUtf8(UpdateBuildConfig::webHost)),
            {Control::checkNow}};
}

} // namespace pivra
