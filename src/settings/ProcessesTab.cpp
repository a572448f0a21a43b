#include "settings/ProcessesTab.h"

#include "settings/PreferenceCard.h"
#include "settings/ProcessRows.h"
#include "style/assets/PivraFonts.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace pivra {

namespace {

// A button drawn as a link: its text in the link colour, nothing else.
class LinkButton final : public QPushButton {
public:
    LinkButton(const QString& text, QWidget* parent)
        : QPushButton(text, parent)
    {
        setFont(PivraFonts::font(12));
        setCursor(Qt::PointingHandCursor);
    }

    QSize sizeHint() const override { return fontMetrics().size(Qt::TextSingleLine, text()) + QSize(4, 2); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(isEnabled() ? palette().color(QPalette::Link)
                                   : palette().color(QPalette::Disabled, QPalette::WindowText));
        painter.drawText(rect(), Qt::AlignCenter, text());
    }
};

QLabel* emptyRow(const QString& text, QWidget* parent)
{
    QLabel* label = secondaryLabel(text, 12, parent);
    label->setContentsMargins(14, 14, 14, 14);
    label->setWordWrap(true);
    return label;
}

// Makes `rows` show `records` in their order under `placeholder`, reusing
// the row of every record still listed and dropping the others. A dropped
// row may be the one whose Stop is being handled, so it goes later.
template <typename Row, typename Made>
void showRecords(QVBoxLayout* layout, QLabel* placeholder, QHash<QUuid, ProcessRow*>& rows,
                 const QList<PivraProcess>& records, const Made& made)
{
    QSet<QUuid> listed;
    for (const PivraProcess& record : records) {
        listed.insert(record.id);
    }
    for (auto row = rows.begin(); row != rows.end();) {
        if (listed.contains(row.key())) {
            ++row;
            continue;
        }
        layout->removeWidget(row.value());
        row.value()->hide();
        row.value()->deleteLater();
        row = rows.erase(row);
    }
    placeholder->setVisible(records.isEmpty());
    for (qsizetype index = 0; index < records.size(); ++index) {
        const PivraProcess& record = records[index];
        ProcessRow*& row = rows[record.id];
        if (row == nullptr) {
            Row* fresh = new Row(record, layout->parentWidget());
            made(fresh);
            row = fresh;
        } else {
            row->setProcess(record);
        }
        row->setFirst(index == 0);
        const int position = static_cast<int>(index) + 1; // after the placeholder
        if (layout->indexOf(row) != position) {
            layout->removeWidget(row);
            layout->insertWidget(position, row);
        }
        row->show();
    }
}

} // namespace

ProcessesTab::ProcessesTab(ProcessMonitor& processes, StopAction stop, ProcessMonitor::Clock clock, QWidget* parent)
    : QWidget(parent)
    , processes_(processes)
    , stop_(std::move(stop))
    , clock_(std::move(clock))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(20);

    running_ = new PreferenceCard(QStringLiteral("Running"), nullptr, this);
    runningPlaceholder_ = emptyRow(QStringLiteral("Nothing is running right now."), this);
    running_->addRow(runningPlaceholder_);
    column->addWidget(running_);

    clear_ = new LinkButton(QStringLiteral("Clear"), this);
    connect(clear_, &QPushButton::clicked, &processes_, &ProcessMonitor::clearFinished);
    recent_ = new PreferenceCard(QStringLiteral("Recent"), clear_, this);
    recentPlaceholder_ = emptyRow(QStringLiteral("Finished indexing, thumbnails and video previews appear here."), this);
    recent_->addRow(recentPlaceholder_);
    column->addWidget(recent_);
    noticeCard_ = new PreferenceCard(QStringLiteral("Watching for changes"), nullptr, this);
    noticeText_ = emptyRow({}, this);
    noticeCard_->addRow(noticeText_);
    column->addWidget(noticeCard_);
    column->addStretch(1);

    ticker_.setInterval(1000);
    connect(&ticker_, &QTimer::timeout, this, &ProcessesTab::tick);
    connect(&processes_, &ProcessMonitor::runningChanged, this, &ProcessesTab::showRunning);
    connect(&processes_, &ProcessMonitor::finishedChanged, this, &ProcessesTab::showRecent);
    connect(&processes_, &ProcessMonitor::noticeChanged, this, &ProcessesTab::showNotice);
    showRunning();
    showNotice();
}

int ProcessesTab::recentCount(qsizetype running)
{
    return static_cast<int>(std::min<qsizetype>(std::max<qsizetype>(7 - running, 3), 6));
}

void ProcessesTab::showRunning()
{
    const Timestamp now = clock_();
    showRecords<RunningProcessRow>(running_->rows(), runningPlaceholder_, runningRows_, processes_.running(),
                                   [this, now](RunningProcessRow* row) {
                                       row->showElapsed(now);
                                       connect(row, &RunningProcessRow::stopClicked, this,
                                               [this](PivraProcess::Kind kind) { stop_(kind); });
                                   });
    if (processes_.running().isEmpty()) {
        ticker_.stop();
    } else if (!ticker_.isActive()) {
        ticker_.start();
    }
    // How many ended runs fit depends on how many still run.
    showRecent();
}

void ProcessesTab::showRecent()
{
    const QList<PivraProcess>& finished = processes_.finished();
    showRecords<FinishedProcessRow>(recent_->rows(), recentPlaceholder_, recentRows_,
                                    finished.mid(0, recentCount(processes_.running().size())),
                                    [](FinishedProcessRow*) {});
    clear_->setEnabled(!finished.isEmpty());
}

void ProcessesTab::showNotice()
{
    noticeText_->setText(processes_.notice().value_or(QString()));
    noticeCard_->setVisible(processes_.notice().has_value());
}

void ProcessesTab::tick()
{
    const Timestamp now = clock_();
    for (ProcessRow* row : std::as_const(runningRows_)) {
        static_cast<RunningProcessRow*>(row)->showElapsed(now);
    }
}

QList<RunningProcessRow*> ProcessesTab::runningRows() const
{
    QList<RunningProcessRow*> rows;
    for (const PivraProcess& record : processes_.running()) {
        if (ProcessRow* row = runningRows_.value(record.id)) {
            rows.append(static_cast<RunningProcessRow*>(row));
        }
    }
    return rows;
}

QList<FinishedProcessRow*> ProcessesTab::recentRows() const
{
    QList<FinishedProcessRow*> rows;
    for (const PivraProcess& record : processes_.finished()) {
        if (ProcessRow* row = recentRows_.value(record.id)) {
            rows.append(static_cast<FinishedProcessRow*>(row));
        }
    }
    return rows;
}

} // namespace pivra
