#pragma once

#include <QCoreApplication>
#include <QString>

namespace pivra {

// Where the build puts the font and the symbols: resources/ beside the
// folder that holds the program (and the test programs).
inline QString bundledResource(const QString& relativePath)
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../resources/") + relativePath;
}

} // namespace pivra
