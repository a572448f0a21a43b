#pragma once

#include "store/PivraProcess.h"
#include "store/ProcessMonitor.h"

#include <QHash>
#include <QTimer>
#include <QUuid>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace pivra {

class FinishedProcessRow;
class PreferenceCard;
class ProcessRow;
class RunningProcessRow;

// The preferences' Processes tab over the store's process monitor: the runs
// in progress with Stop, and the most recent ended runs with Clear. Rows are
// kept by record id and their texts changed in place, since progress is
// published several times a second; only the elapsed times tick, once a
// second, while something runs. A card below them shows the monitor's notice
// while there is one.
class ProcessesTab final : public QWidget {
    Q_OBJECT

public:
    // Stops the whole pipeline of a kind (the store's cancel operation of
    // that kind), whichever of its records the row shows.
    using StopAction = std::function<void(PivraProcess::Kind kind)>;

    ProcessesTab(ProcessMonitor& processes, StopAction stop, ProcessMonitor::Clock clock = ProcessMonitor::systemClock(),
                 QWidget* parent = nullptr);

    // How many ended runs are shown beside `running` running ones: 6 with
    // none or one, one fewer for each further one, never fewer than 3.
    static int recentCount(qsizetype running);

    QList<RunningProcessRow*> runningRows() const;
    QList<FinishedProcessRow*> recentRows() const;
    QLabel* runningPlaceholder() const { return runningPlaceholder_; }
    QLabel* recentPlaceholder() const { return recentPlaceholder_; }
    QPushButton* clearButton() const { return clear_; }
    // The card of the monitor's notice, hidden while there is none.
    PreferenceCard* noticeCard() const { return noticeCard_; }
    QLabel* noticeText() const { return noticeText_; }

    // Brings the lists up to date with the monitor; what its signals call.
    void showRunning();
    void showRecent();
    void showNotice();

private:
    void tick();

    ProcessMonitor& processes_;
    StopAction stop_;
    ProcessMonitor::Clock clock_;
    PreferenceCard* running_;
    PreferenceCard* recent_;
    QLabel* runningPlaceholder_;
    QLabel* recentPlaceholder_;
    QPushButton* clear_;
    PreferenceCard* noticeCard_;
    QLabel* noticeText_;
    QHash<QUuid, ProcessRow*> runningRows_;
    QHash<QUuid, ProcessRow*> recentRows_;
    QTimer ticker_;
};

} // namespace pivra
