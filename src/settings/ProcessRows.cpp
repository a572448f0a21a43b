#include "settings/ProcessRows.h"

#include "settings/PreferenceCard.h"
#include "settings/ProcessText.h"
#include "style/assets/PivraFonts.h"
#include "style/assets/Symbols.h"

#include <QDateTime>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace pivra {

namespace {

const QColor finishedGreen(0x34, 0xC7, 0x59);
const QColor failedOrange(0xFF, 0x95, 0x00);

QLabel* iconLabel(QWidget* parent)
{
    auto* icon = new QLabel(parent);
    icon->setFixedWidth(24);
    icon->setAlignment(Qt::AlignCenter);
    return icon;
}

void showSymbol(QLabel* label, const QString& name, int size, const QColor& tint)
{
    label->setPixmap(Symbols::pixmap(name, QSize(size, size), tint, label->devicePixelRatioF()));
}

QLabel* textLabel(const QString& text, int pixelSize, QFont::Weight weight, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(PivraFonts::font(pixelSize, weight));
    return label;
}

// The detail keeps to one line: a long one is cut, not wrapped, and gives
// way to the texts beside it.
QLabel* detailLabel(QWidget* parent)
{
    QLabel* detail = secondaryLabel({}, 12, parent);
    detail->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    detail->setMinimumWidth(0);
    return detail;
}

QString timeOfDay(Timestamp at)
{
    const QDateTime moment = QDateTime::fromMSecsSinceEpoch(qRound64(at * 1000)).toLocalTime();
    return QLocale().toString(moment.time(), QLocale::ShortFormat);
}

} // namespace

ProcessRow::ProcessRow(const PivraProcess& process, QWidget* parent)
    : QWidget(parent)
    , process_(process)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    divider_ = new PreferenceDivider(dividerInset, this);
    column->addWidget(divider_);
    content_ = new QWidget(this);
    column->addWidget(content_);
}

void ProcessRow::setFirst(bool first)
{
    divider_->setVisible(!first);
}

void ProcessRow::setProcess(const PivraProcess& process)
{
    if (process == process_) {
        return;
    }
    process_ = process;
    showProcess();
}

void ProcessRow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        showProcess();
    }
}

QString ProcessRow::title(PivraProcess::Kind kind)
{
    switch (kind) {
    case PivraProcess::Kind::indexing:
        return QStringLiteral("Indexing");
    case PivraProcess::Kind::thumbnails:
        return QStringLiteral("Thumbnails");
    case PivraProcess::Kind::videoPreviews:
        return QStringLiteral("Video previews");
    case PivraProcess::Kind::locations:
        return QStringLiteral("Locations");
    }
    return {};
}

QString ProcessRow::symbol(PivraProcess::Kind kind)
{
    switch (kind) {
    case PivraProcess::Kind::indexing:
        return QStringLiteral("doc.text.magnifyingglass");
    case PivraProcess::Kind::thumbnails:
        return QStringLiteral("photo.on.rectangle");
    case PivraProcess::Kind::videoPreviews:
        return QStringLiteral("play.rectangle");
    case PivraProcess::Kind::locations:
        return QStringLiteral("mappin.and.ellipse");
    }
    return {};
}

RunningProcessRow::RunningProcessRow(const PivraProcess& process, QWidget* parent)
    : ProcessRow(process, parent)
{
    auto* line = new QHBoxLayout(content());
    line->setContentsMargins(14, 10, 14, 10);
    line->setSpacing(12);
    icon_ = iconLabel(content());
    line->addWidget(icon_);

    auto* text = new QVBoxLayout;
    text->setSpacing(5);
    auto* heading = new QHBoxLayout;
    heading->setSpacing(6);
    heading->addWidget(textLabel(title(process.kind), 13, QFont::DemiBold, content()));
    detail_ = detailLabel(content());
    heading->addWidget(detail_, 1);
    heading->addSpacing(8);
    elapsed_ = secondaryLabel({}, 11, content());
    heading->addWidget(elapsed_);
    text->addLayout(heading);
    bar_ = new QProgressBar(content());
    bar_->setTextVisible(false);
    bar_->setFixedHeight(6);
    text->addWidget(bar_);
    line->addLayout(text, 1);

    stop_ = new QPushButton(QStringLiteral("Stop"), content());
    stop_->setFont(PivraFonts::font(11));
    connect(stop_, &QPushButton::clicked, this, [this] { Q_EMIT stopClicked(this->process().kind); });
    line->addWidget(stop_);
    showProcess();
}

void RunningProcessRow::showElapsed(Timestamp now)
{
    shownAt_ = now;
    elapsed_->setText(ProcessText::progress(process()) + QStringLiteral(" · ")
                      + ProcessText::duration(process().startedAt, now));
}

void RunningProcessRow::showProcess()
{
    const PivraProcess& record = process();
    showSymbol(icon_, symbol(record.kind), 16, palette().color(QPalette::Highlight));
    detail_->setText(record.detail);
    if (record.total && *record.total >= 1) {
        bar_->setRange(0, *record.total);
        bar_->setValue(std::min(record.completed, *record.total));
    } else {
        bar_->setRange(0, 0);
    }
    showElapsed(shownAt_);
}

FinishedProcessRow::FinishedProcessRow(const PivraProcess& process, QWidget* parent)
    : ProcessRow(process, parent)
{
    auto* line = new QHBoxLayout(content());
    line->setContentsMargins(14, 8, 14, 8);
    line->setSpacing(12);
    icon_ = iconLabel(content());
    line->addWidget(icon_);

    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    auto* heading = new QHBoxLayout;
    heading->setSpacing(6);
    title_ = textLabel({}, 13, QFont::Medium, content());
    heading->addWidget(title_);
    detail_ = detailLabel(content());
    heading->addWidget(detail_, 1);
    text->addLayout(heading);
    result_ = secondaryLabel({}, 11, content());
    text->addWidget(result_);
    line->addLayout(text, 1);
    line->addSpacing(8);
    end_ = secondaryLabel({}, 11, content());
    line->addWidget(end_);
    showProcess();
}

void FinishedProcessRow::showProcess()
{
    const PivraProcess& record = process();
    const QColor secondary = palette().color(QPalette::PlaceholderText);
    switch (record.state) {
    case PivraProcess::State::running:
        showSymbol(icon_, symbol(record.kind), 15, secondary);
        break;
    case PivraProcess::State::finished:
        showSymbol(icon_, QStringLiteral("checkmark.circle.fill"), 15, finishedGreen);
        break;
    case PivraProcess::State::stopped:
        showSymbol(icon_, QStringLiteral("stop.circle"), 15, secondary);
        break;
    case PivraProcess::State::failed:
        showSymbol(icon_, QStringLiteral("exclamationmark.triangle.fill"), 15, failedOrange);
        break;
    }
    title_->setText(title(record.kind));
    detail_->setText(record.detail);
    result_->setText(ProcessText::result(record));
    end_->setVisible(record.finishedAt.has_value());
    end_->setText(record.finishedAt ? timeOfDay(*record.finishedAt) : QString());
}

} // namespace pivra
