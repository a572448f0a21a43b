#pragma once

#include "catalog/model/Timestamp.h"
#include "store/PivraProcess.h"

#include <QList>
#include <QObject>
#include <QUuid>

#include <functional>
#include <optional>

namespace pivra {

// The registry of the store's background runs: the runs in progress, oldest
// first, and the most recent ended ones, newest first. It holds no pipeline
// logic: a pipeline begins a record, updates its counters and ends it.
//
// Only records in `running` are ever updated or ended, so the first `end` of a
// run decides its final state: a cancel that ends a run as stopped keeps it
// stopped when the cancelled task later ends it too.
//
// GUI thread only; nothing is kept across launches.
class ProcessMonitor final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<pivra::PivraProcess> running READ running NOTIFY runningChanged)
    Q_PROPERTY(QList<pivra::PivraProcess> finished READ finished NOTIFY finishedChanged)

public:
    // The most records `finished` keeps.
    static constexpr qsizetype historyLimit = 30;

    // The time records are stamped with; tests pass one they drive by hand.
    using Clock = std::function<Timestamp()>;

    explicit ProcessMonitor(Clock clock = systemClock(), QObject* parent = nullptr);

    static Clock systemClock();

    const QList<PivraProcess>& running() const { return running_; }
    const QList<PivraProcess>& finished() const { return finished_; }

    // Appends a record for a run starting now and answers its id, which the
    // pipeline keeps to update and end the run.
    QUuid begin(PivraProcess::Kind kind, const QString& detail, std::optional<int> total = std::nullopt);

    // The fields an update sets; an absent one is left as it is, so `total`
    // can be set but never cleared.
    struct Changes {
        std::optional<int> completed;
        std::optional<int> total;
        std::optional<int> failed;
        std::optional<QString> detail;
    };

    // Changes the running record with this id. Writes back, and notifies,
    // only when a field moved: per-item progress that repeats itself must not
    // redraw the Processes tab. An absent or unknown id does nothing.
    void update(const std::optional<QUuid>& id, const Changes& changes);

    // Moves the running record with this id to the front of `finished`, in
    // `state` and finished now, and drops the oldest records beyond the
    // history limit. An absent id, or one no running record has, does nothing.
    void end(const std::optional<QUuid>& id, PivraProcess::State state);

    // The Processes tab's "Clear".
    void clearFinished();

    // A standing note on the background work, beside the runs (some folders
    // not watched for changes); none most of the time.
    const std::optional<QString>& notice() const { return notice_; }
    void setNotice(const std::optional<QString>& notice);

Q_SIGNALS:
    void runningChanged();
    void finishedChanged();
    void noticeChanged();

private:
    qsizetype runningIndex(const std::optional<QUuid>& id) const;

    Clock clock_;
    QList<PivraProcess> running_;
    QList<PivraProcess> finished_;
    std::optional<QString> notice_;
};

} // namespace pivra
