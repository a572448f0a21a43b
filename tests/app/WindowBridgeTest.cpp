#include "app/launch/WindowBridge.h"

#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>

namespace pivra {
namespace {

struct Recorder {
    QList<bool> fullscreen;
    QList<int> keys;
    bool swallow = false;

    WindowBridge makeBridge()
    {
        return WindowBridge([this](bool on) { fullscreen.append(on); },
                            [this](QKeyEvent* event) {
                                keys.append(event->key());
                                return swallow;
                            });
    }
};

void turn()
{
    QCoreApplication::processEvents();
}

TEST(WindowBridgeTest, FullScreenIsReportedOnceAtFirstAndOnEveryChange)
{
    Recorder recorder;
    WindowBridge bridge = recorder.makeBridge();
    QWidget window;
    window.showFullScreen();
    bridge.attach(&window);
    bridge.attach(&window); // the same window again changes nothing
    EXPECT_TRUE(recorder.fullscreen.isEmpty()); // the first report comes a turn later
    turn();
    EXPECT_EQ(recorder.fullscreen, QList<bool>({true}));

    window.showNormal();
    window.showMaximized(); // no full-screen change
    window.showFullScreen();
    EXPECT_EQ(recorder.fullscreen, QList<bool>({true, false, true}));

    // Following another window forgets the first.
    QWidget other;
    other.show();
    bridge.attach(&other);
    turn();
    window.showNormal();
    other.showFullScreen();
    EXPECT_EQ(recorder.fullscreen, QList<bool>({true, false, true, false, true}));
}

TEST(WindowBridgeTest, KeysOfTheWindowComeFirstAndMayBeSwallowed)
{
    Recorder recorder;
    WindowBridge bridge = recorder.makeBridge();
    QWidget window;
    auto* field = new QLineEdit(&window);
    (new QVBoxLayout(&window))->addWidget(field);
    bridge.attach(&window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    field->setFocus();

    QTest::keyClick(window.windowHandle(), Qt::Key_A);
    recorder.swallow = true;
    QTest::keyClick(window.windowHandle(), Qt::Key_B);
    EXPECT_EQ(recorder.keys, QList<int>({Qt::Key_A, Qt::Key_B}));
    EXPECT_EQ(field->text(), QStringLiteral("a")); // b stopped before the field

    QDialog dialog(&window);
    auto* dialogField = new QLineEdit(&dialog);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialogField->setFocus();
    QTest::keyClick(dialog.windowHandle(), Qt::Key_C);
    EXPECT_EQ(recorder.keys.size(), 2); // another window's keys pass by
    EXPECT_EQ(dialogField->text(), QStringLiteral("c"));
}

} // namespace
} // namespace pivra
