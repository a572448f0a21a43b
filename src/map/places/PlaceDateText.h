#pragma once

#include "catalog/model/Timestamp.h"

#include <QLocale>
#include <QString>
#include <QTimeZone>

#include <memory>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class DateFormat;
class DateIntervalFormat;
U_NAMESPACE_END

namespace pivra {

// The date line of a place: one abbreviated date when the photos were all
// taken on one day ("Mar 12, 2024", "12 Mar 2024"), otherwise the range from
// the oldest day to the newest ("Mar 10 – 12, 2024"), in the locale's own
// words and order. Days are those of `zone`. The formatters are made once,
// since a section's line is asked for as it scrolls into view.
class PlaceDateText {
public:
    explicit PlaceDateText(const QLocale& locale = QLocale(), const QTimeZone& zone = QTimeZone::systemTimeZone());
    ~PlaceDateText();
    PlaceDateText(const PlaceDateText&) = delete;
    PlaceDateText& operator=(const PlaceDateText&) = delete;

    QString operator()(Timestamp newest, Timestamp oldest) const;

private:
    QTimeZone zone_;
    std::unique_ptr<icu::DateFormat> day_;
    std::unique_ptr<icu::DateIntervalFormat> range_;
};

} // namespace pivra
