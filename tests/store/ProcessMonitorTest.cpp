#include "store/ProcessMonitor.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace pivra {
namespace {

using Kind = PivraProcess::Kind;
using State = PivraProcess::State;

// A monitor on a clock the test moves by hand, with spies on both lists.
struct Fixture {
    Timestamp now = 1'796'000'000.25;
    ProcessMonitor monitor{[this] { return now; }};
    QSignalSpy runningSpy{&monitor, &ProcessMonitor::runningChanged};
    QSignalSpy finishedSpy{&monitor, &ProcessMonitor::finishedChanged};
};

TEST(ProcessMonitorTest, UpdateWritesBackAndNotifiesOnlyWhenAFieldMoves)
{
    const QString pictures = QStringLiteral("Pictures");
    const QString holiday = QStringLiteral("Holiday");
    struct Row {
        const char* name;
        std::optional<int> beganTotal;
        ProcessMonitor::Changes changes;
        ProcessMonitor::Changes expected; // completed, failed and detail always given
    };
    const Row rows[] = {
        {"nothing given", 10, {}, {0, 10, 0, pictures}},
        {"equal values", 10, {0, 10, 0, pictures}, {0, 10, 0, pictures}},
        {"counters move", 10, {.completed = 4, .failed = 2}, {4, 10, 2, pictures}},
        {"detail replaced", 10, {.detail = holiday}, {0, 10, 0, holiday}},
        {"total set", {}, {.total = 7}, {0, 7, 0, pictures}},
        {"absent total keeps a total", 10, {.completed = 5}, {5, 10, 0, pictures}},
        {"absent total keeps none", {}, {.completed = 5}, {5, {}, 0, pictures}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Fixture f;
        f.monitor.begin(Kind::thumbnails, QStringLiteral("Other"), 3);
        const QUuid id = f.monitor.begin(Kind::indexing, pictures, row.beganTotal);
        const QList<PivraProcess> before = f.monitor.running();
        f.runningSpy.clear();

        f.monitor.update(id, row.changes);

        QList<PivraProcess> expected = before;
        expected[1].completed = *row.expected.completed;
        expected[1].total = row.expected.total;
        expected[1].failed = *row.expected.failed;
        expected[1].detail = *row.expected.detail;
        EXPECT_EQ(f.monitor.running(), expected);
        EXPECT_EQ(f.runningSpy.count(), expected == before ? 0 : 1);
    }
}

TEST(ProcessMonitorTest, IdsNotRunningChangeNothing)
{
    Fixture f;
    const QUuid ended = f.monitor.begin(Kind::videoPreviews, QStringLiteral("Card"), 4);
    f.monitor.end(ended, State::failed);
    f.monitor.begin(Kind::indexing, QStringLiteral("Pictures"));
    const QList<PivraProcess> running = f.monitor.running();
    const QList<PivraProcess> finished = f.monitor.finished();
    f.runningSpy.clear();
    f.finishedSpy.clear();
    f.now += 60;

    for (const std::optional<QUuid>& id : {std::optional<QUuid>(), std::optional(QUuid()),
                                           std::optional(QUuid::createUuid()), std::optional(ended)}) {
        f.monitor.update(id, {1, 2, 3, QStringLiteral("changed")});
        f.monitor.end(id, State::finished);
    }
    EXPECT_EQ(f.monitor.running(), running);
    EXPECT_EQ(f.monitor.finished(), finished);
    EXPECT_EQ(f.runningSpy.count() + f.finishedSpy.count(), 0);
}

TEST(ProcessMonitorTest, TheFirstEndDecidesTheFinalState)
{
    Fixture f;
    const QUuid first = f.monitor.begin(Kind::indexing, QStringLiteral("Pictures"));
    const QUuid id = f.monitor.begin(Kind::thumbnails, QStringLiteral("Pictures"), 9);
    const QUuid last = f.monitor.begin(Kind::locations, QStringLiteral("Photos and videos"));
    f.monitor.update(id, {.completed = 4});
    const Timestamp startedAt = f.now;
    f.now += 30;
    f.monitor.end(id, State::stopped); // the cancel
    f.now += 30;
    f.monitor.end(id, State::finished); // the cancelled task's own end

    ASSERT_EQ(f.monitor.running().size(), 2);
    EXPECT_EQ(f.monitor.running().at(0).id, first);
    EXPECT_EQ(f.monitor.running().at(1).id, last);
    const PivraProcess expected{id, Kind::thumbnails, QStringLiteral("Pictures"), startedAt, startedAt + 30, 4, 9, 0,
                                State::stopped};
    EXPECT_EQ(f.monitor.finished(), QList{expected});
    EXPECT_EQ(f.finishedSpy.count(), 1);
}

TEST(ProcessMonitorTest, FinishedKeepsTheNewestThirtyNewestFirst)
{
    Fixture f;
    QList<QUuid> ids;
    for (int i = 0; i < 32; ++i)
        ids.append(f.monitor.begin(Kind::indexing, QString::number(i)));
    for (int i = 0; i < 31; ++i)
        f.monitor.end(ids.at(i), State::finished);

    QList<QUuid> finished;
    for (const PivraProcess& record : f.monitor.finished())
        finished.append(record.id);
    QList<QUuid> newestFirst(ids.rbegin() + 1, ids.rend() - 1); // neither the running one nor the oldest
    EXPECT_EQ(finished, newestFirst);
    EXPECT_EQ(f.monitor.running().size(), 1);
}

} // namespace
} // namespace pivra
