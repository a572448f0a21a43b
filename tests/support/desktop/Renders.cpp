#include "support/desktop/Renders.h"

#include <QCoreApplication>
#include <QDir>

namespace pivra::test {

QString rendersFolder()
{
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/../renders");
    QDir().mkpath(folder);
    return folder;
}

} // namespace pivra::test
