#include "support/system/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>

namespace pivra::test {

TempFolderTest::~TempFolderTest()
{
    if (tempDir_.isValid()) {
        std::error_code failed; // what is left, QTemporaryDir tries again and reports
        std::filesystem::remove_all(QFile::encodeName(tempDir_.path()).toStdString(), failed);
    }
}

QString TempFolderTest::writeFile(const QString& relative, const QByteArray& bytes) const
{
    const QString path = pathOf(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        ADD_FAILURE() << "cannot write " << path.toStdString();
    }
    return path;
}

QString TempFolderTest::makeFolder(const QString& relative) const
{
    const QString path = pathOf(relative);
    if (!QDir().mkpath(path)) {
        ADD_FAILURE() << "cannot create " << path.toStdString();
    }
    return path;
}

} // namespace pivra::test
