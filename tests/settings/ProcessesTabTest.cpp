#include "settings/ProcessRows.h"
#include "settings/ProcessesTab.h"

#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace pivra {
namespace {

using Kind = PivraProcess::Kind;
using State = PivraProcess::State;

// A tab over a monitor of its own on a clock the test sets, recording what
// Stop asks for.
class ProcessesTabTest : public ::testing::Test {
protected:
    // At the sheet's content width; shown on its own, its size stays put.
    void SetUp() override
    {
        tab_.layout()->setSizeConstraint(QLayout::SetNoConstraint);
        tab_.resize(672, 520);
    }

    ProcessMonitor monitor_{[this] { return now_; }};
    ProcessesTab tab_{monitor_, [this](Kind kind) { stopped_.append(kind); }, [this] { return now_; }};
    Timestamp now_ = 1'700'000'000;
    QList<Kind> stopped_;

    void endRuns(int count)
    {
        for (int index = 0; index < count; ++index) {
            monitor_.end(monitor_.begin(Kind::thumbnails, QStringLiteral("Run %1").arg(index)), State::finished);
        }
    }
};

TEST_F(ProcessesTabTest, EmptyCardsShowTheirPlaceholdersAndClearIsOff)
{
    tab_.show();
    EXPECT_TRUE(tab_.runningPlaceholder()->isVisible());
    EXPECT_EQ(tab_.runningPlaceholder()->text(), u"Nothing is running right now.");
    EXPECT_TRUE(tab_.recentPlaceholder()->isVisible());
    EXPECT_EQ(tab_.recentPlaceholder()->text(), u"Finished indexing, thumbnails and video previews appear here.");
    EXPECT_FALSE(tab_.clearButton()->isEnabled());
}

// 30 ended runs: how many show beside 0 to 7 running ones, and Clear empties
// all 30, shown or not.
TEST_F(ProcessesTabTest, RecentRowsMakeRoomForRunningOnesAndClearEmptiesTheWholeHistory)
{
    tab_.show();
    endRuns(30);
    const std::pair<int, int> shown[] = {{0, 6}, {1, 6}, {2, 5}, {3, 4}, {4, 3}, {7, 3}};
    for (const auto& [running, recent] : shown) {
        while (monitor_.running().size() < running) {
            monitor_.begin(Kind::indexing, QStringLiteral("Photos"));
        }
        EXPECT_EQ(ProcessesTab::recentCount(running), recent);
        EXPECT_EQ(tab_.runningRows().size(), running);
        ASSERT_EQ(tab_.recentRows().size(), recent) << running << " running";
        EXPECT_EQ(tab_.recentRows()[0]->process().id, monitor_.finished()[0].id);
        EXPECT_FALSE(tab_.runningPlaceholder()->isVisibleTo(&tab_) && running > 0);
    }
    EXPECT_TRUE(tab_.clearButton()->isEnabled());
    tab_.clearButton()->click();
    EXPECT_TRUE(monitor_.finished().isEmpty());
    EXPECT_TRUE(tab_.recentRows().isEmpty());
    EXPECT_TRUE(tab_.recentPlaceholder()->isVisibleTo(&tab_));
    EXPECT_FALSE(tab_.clearButton()->isEnabled());
}

// A row keeps its widget while its record's counters move, its bar follows
// the total, Stop asks for the row's kind, and the record's end moves it to
// the top of Recent.
TEST_F(ProcessesTabTest, RowsFollowTheirRecordInPlaceAndStopAsksForTheirKind)
{
    tab_.show();
    const QUuid thumbnails = monitor_.begin(Kind::thumbnails, QStringLiteral("Trip"));
    const QUuid locations = monitor_.begin(Kind::locations, QStringLiteral("Photos"), 0);
    ASSERT_EQ(tab_.runningRows().size(), 2);
    RunningProcessRow* row = tab_.runningRows()[0];
    EXPECT_EQ(tab_.runningRows()[1]->bar()->maximum(), 0); // a total of 0 is no total
    EXPECT_EQ(row->bar()->maximum(), 0);

    monitor_.update(thumbnails, {.completed = 12, .total = 10});
    ASSERT_EQ(tab_.runningRows()[0], row);
    EXPECT_EQ(row->bar()->maximum(), 10);
    EXPECT_EQ(row->bar()->value(), 10); // more done than the total: full
    EXPECT_TRUE(row->elapsedLabel()->text().startsWith(u"12 of 10 thumbnails · "));

    tab_.runningRows()[1]->stopButton()->click();
    row->stopButton()->click();
    EXPECT_EQ(stopped_, (QList<Kind>{Kind::locations, Kind::thumbnails}));
    EXPECT_EQ(monitor_.running().size(), 2); // Stop leaves the rows to the monitor

    monitor_.end(locations, State::stopped);
    ASSERT_EQ(tab_.runningRows().size(), 1);
    ASSERT_EQ(tab_.recentRows().size(), 1);
    EXPECT_EQ(tab_.recentRows()[0]->resultLabel()->text(), u"Stopped after 0 of 0 · 0 s");
}

TEST_F(ProcessesTabTest, TheElapsedTimeTicksEverySecond)
{
    tab_.show();
    now_ -= 61;
    monitor_.begin(Kind::indexing, QStringLiteral("Photos"));
    now_ += 61;
    monitor_.update(monitor_.running()[0].id, {.completed = 1});
    const QLabel* elapsed = tab_.runningRows()[0]->elapsedLabel();
    EXPECT_TRUE(QTest::qWaitFor([&] { return elapsed->text() == u"1 item found · 1 min 1 s"; }, 3000));
    now_ += 1;
    EXPECT_TRUE(QTest::qWaitFor([&] { return elapsed->text() == u"1 item found · 1 min 2 s"; }, 3000));
}

// The end time is the time of day in the reader's locale; a record without
// one shows none.
TEST_F(ProcessesTabTest, EndedRowsShowTheirStateAndTimeOfDayInTheLocale)
{
    const QLocale before;
    const QDateTime evening(QDate(2026, 3, 4), QTime(21, 7));
    now_ = static_cast<Timestamp>(evening.toSecsSinceEpoch());
    for (const auto& [locale, text] : {std::pair{QLocale(QLocale::English, QLocale::UnitedStates), "9:07 PM"},
                                       std::pair{QLocale(QLocale::Turkish, QLocale::Turkey), "21:07"}}) {
        QLocale::setDefault(locale);
        const FinishedProcessRow row({.kind = Kind::videoPreviews, .finishedAt = now_, .state = State::failed});
        EXPECT_EQ(row.endLabel()->text(), QString::fromUtf8(text));
    }
    QLocale::setDefault(before);
    const FinishedProcessRow unended({.kind = Kind::locations, .completed = 2, .state = State::finished});
    EXPECT_TRUE(unended.endLabel()->isHidden());
    EXPECT_EQ(unended.resultLabel()->text(), u"2 items read");
}

} // namespace
} // namespace pivra
