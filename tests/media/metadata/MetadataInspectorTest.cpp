#include "media/metadata/MetadataInspector.h"
#include "support/system/TempFolder.h"

#include <QFile>
#include <gtest/gtest.h>

#include <thread>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pivra::test {
namespace {

class MetadataInspectorTest : public TempFolderTest {
protected:
    // Whether the inspector could read the file, asked with the rights of
    // "nobody" when the process is root, so that permissions bite.
    static bool readAsOrdinaryUser(const QString& path)
    {
        bool fileRead = false;
        std::thread([&] {
            if (geteuid() == 0) {
                setfsgid(65534);
                setfsuid(65534);
            }
            fileRead = MetadataInspector().inspect(path, QUuid::createUuid(), {}, MediaKind::image).fileRead;
        }).join();
        return fileRead;
    }
};

// Only a file that could not be read at all is one to read again: a file
// that was read and holds nothing an image reader knows stays as it is.
TEST_F(MetadataInspectorTest, TellsUnreadableFilesFromFilesWithoutMetadata)
{
    ASSERT_EQ(chmod(QFile::encodeName(root()).constData(), 0755), 0);
    const QString locked = writeFile(QStringLiteral("locked.jpg"), "jpeg bytes");
    ASSERT_EQ(chmod(QFile::encodeName(locked).constData(), 0), 0);
    const struct {
        QString path;
        bool fileRead;
    } rows[] = {
        {writeFile(QStringLiteral("notes.jpg"), "plain text"), true},
        {writeFile(QStringLiteral("empty.jpg"), ""), true},
        {locked, false},
        {pathOf(QStringLiteral("gone.jpg")), false},
        {pathOf(QString(5000, u'n') + QStringLiteral(".jpg")), false}, // over the system's path limit
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path.right(40).toStdString());
        EXPECT_EQ(readAsOrdinaryUser(row.path), row.fileRead);
    }
}

} // namespace
} // namespace pivra::test
