// Telling how the program is installed from the folders around it, and what
// an install folder's entry starts: the updater installs into, and sweeps,
// only what these say is its own.
#include "platform/updates/InstallLocation.h"
#include "support/system/TempFolder.h"

#include <QFile>

#include <vector>

namespace pivra::test {
namespace {

using InstallLocationTest = TempFolderTest;

TEST_F(InstallLocationTest, KnowsAnInstallFolderFromTheProgramsTreeInEitherLayout)
{
    const struct {
        const char* name;
        const char* programFolder; // below the test's folder
        std::vector<const char*> marks;
        InstallKind kind;
        const char* root;
    } rows[] = {
        {"a version kept apart", "app/versions/2.0/bin", {"app/.pivra-install", "app/versions/2.0/.pivra-install"},
         InstallKind::selfUpdating, "app"},
        {"an install from before versions were kept apart", "flat/bin", {"flat/.pivra-install"},
         InstallKind::selfUpdating, "flat"},
        {"a folder named versions that is no install", "build/versions/2.0/bin", {}, InstallKind::buildTree,
         "build/versions/2.0"},
    };
    makeFolder(QStringLiteral("app/bin"));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (const char* mark : row.marks) {
            writeFile(QString::fromUtf8(mark), {});
        }
        const QString programFolder = makeFolder(row.programFolder);
        const InstallLocation location = locateInstall(programFolder);
        EXPECT_EQ(location.kind, row.kind);
        EXPECT_EQ(location.root, pathOf(row.root));
    }
}

TEST_F(InstallLocationTest, AnEntryNamesAVersionOnlyThroughTheLinkAnInstallMakes)
{
    const struct {
        const char* name;
        const char* link; // none: the entry is the program itself
        InstallEntry::Kind kind;
        const char* version;
    } rows[] = {
        {"a link to a version", "../versions/2.0/bin/pivra", InstallEntry::Kind::version, "2.0"},
        {"the program itself", nullptr, InstallEntry::Kind::program, ""},
        {"a link to a version that is gone", "../versions/3.0/bin/pivra", InstallEntry::Kind::unknown, ""},
        {"a link that climbs out", "../versions/../../elsewhere/bin/pivra", InstallEntry::Kind::unknown, ""},
        {"a link elsewhere", "/usr/bin/pivra", InstallEntry::Kind::unknown, ""},
    };
    int index = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString name = QString::number(index++);
        const QString root = makeFolder(name);
        makeFolder(name + QStringLiteral("/versions/2.0/bin"));
        makeFolder(name + QStringLiteral("/elsewhere/bin"));
        if (row.link != nullptr) {
            makeFolder(name + QStringLiteral("/bin"));
            ASSERT_TRUE(QFile::link(QString::fromUtf8(row.link), root + u'/' + installEntry));
        } else {
            writeFile(name + u'/' + installEntry, "#!/bin/sh\n");
        }
        const InstallEntry found = installEntryOf(root);
        EXPECT_EQ(found.kind, row.kind);
        EXPECT_EQ(found.version, QString::fromUtf8(row.version));
    }
    EXPECT_EQ(installEntryOf(pathOf(QStringLiteral("no install"))).kind, InstallEntry::Kind::unknown);
}

} // namespace
} // namespace pivra::test
