#include "style/CountText.h"

namespace pivra {

QString countText(qint64 count, const QString& noun, const QLocale& locale)
{
    return locale.toString(count) + u' ' + noun + (count == 1 ? QString() : QStringLiteral("s"));
}

} // namespace pivra
