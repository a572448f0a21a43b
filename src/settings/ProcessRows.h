#pragma once

#include "catalog/model/Timestamp.h"
#include "store/PivraProcess.h"

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace pivra {

class PreferenceDivider;

// One record in a list of the Processes tab, kept for as long as its record
// is listed: a new value of the record changes the texts in place, so the
// row is never rebuilt while its counters move. Every row but the first has
// a hairline above it, under the text column.
class ProcessRow : public QWidget {
    Q_OBJECT

public:
    // The rows' leading inset 14, icon column 24 and spacing 12.
    static constexpr int dividerInset = 50;

    void setFirst(bool first);
    const PivraProcess& process() const { return process_; }
    // Takes the record's new value; nothing is redrawn when it is unchanged.
    void setProcess(const PivraProcess& process);

    // The kind's title and symbol, shared by both rows.
    static QString title(PivraProcess::Kind kind);
    static QString symbol(PivraProcess::Kind kind);

protected:
    ProcessRow(const PivraProcess& process, QWidget* parent);

    QWidget* content() const { return content_; }
    virtual void showProcess() = 0;
    // The symbols are tinted for the scheme shown.
    void changeEvent(QEvent* event) override;

private:
    PivraProcess process_;
    PreferenceDivider* divider_;
    QWidget* content_;
};

// A run in progress: kind, detail, progress and elapsed time, a bar and Stop.
class RunningProcessRow final : public ProcessRow {
    Q_OBJECT

public:
    RunningProcessRow(const PivraProcess& process, QWidget* parent = nullptr);

    // Writes the elapsed time up to `now`; the once-a-second tick.
    void showElapsed(Timestamp now);

    QLabel* elapsedLabel() const { return elapsed_; }
    QProgressBar* bar() const { return bar_; }
    QPushButton* stopButton() const { return stop_; }

Q_SIGNALS:
    void stopClicked(pivra::PivraProcess::Kind kind);

private:
    void showProcess() override;

    QLabel* icon_;
    QLabel* detail_;
    QLabel* elapsed_;
    QProgressBar* bar_;
    QPushButton* stop_;
    Timestamp shownAt_ = 0;
};

// An ended run: its state, kind, detail, result and the time it ended.
class FinishedProcessRow final : public ProcessRow {
    Q_OBJECT

public:
    FinishedProcessRow(const PivraProcess& process, QWidget* parent = nullptr);

    QLabel* resultLabel() const { return result_; }
    QLabel* endLabel() const { return end_; }

private:
    void showProcess() override;

    QLabel* icon_;
    QLabel* title_;
    QLabel* detail_;
    QLabel* result_;
    QLabel* end_;
};

} // namespace pivra
