#include "app/window/ShareDeviceMenu.h"

#include <QMenu>
#include <QPointer>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace pivra {
namespace {

// The menu offers the phones by name and answers once: the picked phone's
// id, or none when it closes without a pick.
TEST(ShareDeviceMenuTest, AnswersThePickedPhoneOrNoneOnce)
{
    for (const bool pick : {true, false}) {
        SCOPED_TRACE(pick ? "a pick" : "closed");
        QWidget window;
        window.show();
        QStringList answers;
        chooseShareDevice(&window, QPoint(50, 50),
                          {{QStringLiteral("phone1"), QStringLiteral("Ana's phone")},
                           {QStringLiteral("phone2"), QStringLiteral("Work phone")}},
                          [&](const QString& id) { answers << id; });
        const QPointer<QMenu> menu = window.findChild<QMenu*>(QStringLiteral("shareDeviceMenu"));
        ASSERT_TRUE(menu);
        ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }));
        QStringList names;
        for (QAction* action : menu->actions()) {
            names << action->text();
        }
        EXPECT_EQ(names, (QStringList{"Ana's phone", "Work phone"}));
        if (pick) {
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().at(1)).center());
        } else {
            menu->close();
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return !menu; })) << "the menu goes once it has answered";
        EXPECT_EQ(answers, QStringList{pick ? QStringLiteral("phone2") : QString()});
    }
}

} // namespace
} // namespace pivra
