#include "map/places/PlaceDateText.h"

#include <QDateTime>

#include <cmath>

#include <unicode/datefmt.h>
#include <unicode/dtintrv.h>
#include <unicode/dtitvfmt.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace pivra {

namespace {
// An abbreviated date: day, short month name and year, ordered by the locale.
const icu::UnicodeString skeleton = icu::UnicodeString::fromUTF8("yMMMd");

QString toQString(const icu::UnicodeString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

QDate dayOf(Timestamp date, const QTimeZone& zone)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(std::floor(date * 1000)), zone).date();
}
} // namespace

PlaceDateText::PlaceDateText(const QLocale& locale, const QTimeZone& zone) : zone_(zone)
{
    const icu::Locale where(locale.name().toUtf8().constData());
    const icu::UnicodeString zoneID = icu::UnicodeString::fromUTF8(zone.id().constData());
    UErrorCode status = U_ZERO_ERROR;
    day_.reset(icu::DateFormat::createInstanceForSkeleton(skeleton, where, status));
    if (day_) {
        day_->adoptTimeZone(icu::TimeZone::createTimeZone(zoneID));
    }
    status = U_ZERO_ERROR;
    range_.reset(icu::DateIntervalFormat::createInstance(skeleton, where, status));
    if (range_) {
        range_->adoptTimeZone(icu::TimeZone::createTimeZone(zoneID));
    }
}

PlaceDateText::~PlaceDateText() = default;

QString PlaceDateText::operator()(Timestamp newest, Timestamp oldest) const
{
    icu::UnicodeString text;
    UErrorCode status = U_ZERO_ERROR;
    if (dayOf(newest, zone_) == dayOf(oldest, zone_)) {
        if (day_) {
            day_->format(newest * 1000, text);
        }
    } else if (range_) {
        const icu::DateInterval interval(oldest * 1000, newest * 1000);
        icu::FieldPosition position;
        range_->format(&interval, text, position, status);
    }
    return U_SUCCESS(status) ? toQString(text) : QString();
}

} // namespace pivra
