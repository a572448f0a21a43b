// Every test executable starts here: a real QApplication on the offscreen
// platform, with standard paths redirected so no test touches the user's data.
#include <QApplication>
#include <QStandardPaths>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // A test that must draw on a real X server runs itself again under Xvfb
    // with this set to "xcb".
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsSet("PIVRA_TEST_PLATFORM") ? qgetenv("PIVRA_TEST_PLATFORM")
                                                                               : QByteArray("offscreen"));
    QStandardPaths::setTestModeEnabled(true);
    QApplication::setApplicationName(QStringLiteral("Pivra"));
    QApplication::setOrganizationName(QStringLiteral("Pivra"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
