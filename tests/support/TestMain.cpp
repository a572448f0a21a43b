// Every test executable starts here: a real QApplication on the offscreen
// platform, with standard paths redirected so no test touches the user's data.
#include "platform/runtime/threads/BackgroundReleaser.h"

#include <QApplication>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

QtMessageHandler qtHandler = nullptr;

// A colour given a component out of range is drawn wrong and says so only
// in the log: here it fails the test that drew it.
void failOnColourWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(u"QColor::")) {
        ADD_FAILURE() << message.toStdString();
    }
    qtHandler(type, context, message);
}

} // namespace

int main(int argc, char** argv)
{
    // A test that must draw on a real X server runs itself again under Xvfb
    // with this set to "xcb".
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsSet("PIVRA_TEST_PLATFORM") ? qgetenv("PIVRA_TEST_PLATFORM")
                                                                               : QByteArray("offscreen"));
    QStandardPaths::setTestModeEnabled(true);
    QApplication::setApplicationName(QStringLiteral("Pivra"));
    QApplication::setOrganizationName(QStringLiteral("Pivra"));
    qtHandler = qInstallMessageHandler(failOnColourWarnings);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    // As the program does before its application goes: what a test let go
    // of in the background may still ask the GUI thread something.
    pivra::BackgroundReleaser::shared().finish();
    return status;
}
