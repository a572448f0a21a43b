#pragma once

#include <QLocale>
#include <QString>

namespace pivra {

// A count with its noun, as the program writes counts: the number in the
// locale's format with its grouping, the noun as given for exactly one and
// with an "s" otherwise: "1 item", "0 items", "1,234 items", "2 video
// previews". The words are English.
QString countText(qint64 count, const QString& noun, const QLocale& locale = QLocale());

} // namespace pivra
