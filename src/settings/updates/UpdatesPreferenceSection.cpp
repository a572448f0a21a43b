#include "settings/updates/UpdatesPreferenceSection.h"

#include "settings/PreferenceCard.h"
#include "store/updates/UpdateController.h"
#include "style/assets/PivraFonts.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

namespace pivra {

namespace {

using Control = UpdateStatusRow::Control;

constexpr int dividerInset = 14;
// Notes past this many are left for the release's page.
constexpr int notesShown = 6;
constexpr int noteTextSize = 12;

// The bullet of a note: a 3.5 point dot at the middle of the note's first line.
class NoteDot final : public QWidget {
public:
    explicit NoteDot(int lineHeight, QWidget* parent)
        : QWidget(parent)
        , lineHeight_(lineHeight)
    {
        setFixedSize(4, lineHeight);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(palette().color(QPalette::PlaceholderText));
        painter.drawEllipse(QRectF(0.25, lineHeight_ / 2.0 - 1.75, 3.5, 3.5));
    }

private:
    int lineHeight_;
};

QWidget* notesBlockFor(const UpdateController::Release& release, QWidget* parent)
{
    auto* block = new QWidget(parent);
    auto* outer = new QVBoxLayout(block);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(new PreferenceDivider(dividerInset, block));
    auto* column = new QVBoxLayout;
    column->setContentsMargins(14, 10, 14, 10);
    column->setSpacing(5);
    auto* heading = new QLabel(QStringLiteral("What's new in %1").arg(release.version), block);
    heading->setTextFormat(Qt::PlainText);
    heading->setFont(PivraFonts::font(noteTextSize, QFont::DemiBold));
    column->addWidget(heading);
    for (const QString& note : release.notes.mid(0, notesShown)) {
        auto* line = new QHBoxLayout;
        line->setSpacing(7);
        QLabel* text = secondaryLabel(note, noteTextSize, block);
        text->setWordWrap(true);
        line->addWidget(new NoteDot(text->fontMetrics().height(), block), 0, Qt::AlignTop);
        line->addWidget(text, 1);
        column->addLayout(line);
    }
    outer->addLayout(column);
    return block;
}

} // namespace

UpdatesPreferenceSection::UpdatesPreferenceSection(UpdateController& updates, const QString& installed,
                                                   QWidget* parent)
    : QWidget(parent)
    , updates_(updates)
    , installed_(installed.isEmpty() ? QStringLiteral("—") : installed)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    card_ = new PreferenceCard(QStringLiteral("Updates"), nullptr, this);
    layout->addWidget(card_);

    QWidget* panel = card_->rows()->parentWidget();
    checksSwitch_ = new QCheckBox(panel);
    checksSwitch_->setAccessibleName(QStringLiteral("Check for updates automatically"));
    connect(checksSwitch_, &QCheckBox::toggled, &updates_, &UpdateController::setAutomaticallyChecks);
    downloadsSwitch_ = new QCheckBox(panel);
    downloadsSwitch_->setAccessibleName(QStringLiteral("Download and install automatically"));
    connect(downloadsSwitch_, &QCheckBox::toggled, &updates_, &UpdateController::setAutomaticallyDownloads);
    switchRows_ = {
        new PreferenceDivider(dividerInset, panel),
        new PreferenceRow(QStringLiteral("Check for updates automatically"),
                          QStringLiteral("Pivra looks when it opens and once a day."), checksSwitch_, panel),
        new PreferenceDivider(dividerInset, panel),
        new PreferenceRow(QStringLiteral("Download and install automatically"),
                          QStringLiteral("New versions download in the background and install the next time you "
                                         "quit Pivra."),
                          downloadsSwitch_, panel),
    };
    for (QWidget* row : switchRows_) {
        card_->addRow(row);
    }
    refresh();
    connect(&updates_, &UpdateController::changed, this, &UpdatesPreferenceSection::refresh);
}

void UpdatesPreferenceSection::refresh()
{
    const UpdateStatusRow row = updateStatusRow(updates_, installed_, QDateTime::currentDateTime());
    if (statusRow_ == nullptr || row.controls != shown_.controls) {
        rebuildStatusRow(row);
    } else {
        statusRow_->titleLabel()->setText(row.title);
        statusRow_->setSubtitle(row.subtitle);
    }
    if (progress_ != nullptr) {
        progress_->setValue(qRound(row.progress * progress_->maximum()));
    }
    for (QPushButton* checkNow : statusRow_->findChildren<QPushButton*>(QStringLiteral("checkNow"))) {
        checkNow->setEnabled(updates_.isAvailable());
    }
    shown_ = row;
    rebuildNotes();

    const QSignalBlocker quietChecks(checksSwitch_);
    const QSignalBlocker quietDownloads(downloadsSwitch_);
    // A build that does not update itself checks for nothing, whatever the
    // settings say.
    checksSwitch_->setChecked(updates_.isAvailable() && updates_.automaticallyChecks());
    downloadsSwitch_->setChecked(updates_.isAvailable() && updates_.automaticallyDownloads());
    switchRows_[1]->setEnabled(updates_.isAvailable());
    switchRows_[3]->setEnabled(updates_.isAvailable() && updates_.automaticallyChecks());
}

void UpdatesPreferenceSection::rebuildStatusRow(const UpdateStatusRow& shown)
{
    progress_ = nullptr;
    auto* accessory = new QWidget(card_);
    auto* line = new QHBoxLayout(accessory);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(8);
    for (const Control each : shown.controls) {
        line->addWidget(control(each));
    }
    auto* row = new PreferenceRow(shown.title, shown.subtitle, accessory, card_->rows()->parentWidget());
    card_->rows()->insertWidget(0, row);
    if (statusRow_ != nullptr) {
        // Its button may be the one whose click led here.
        statusRow_->hide();
        statusRow_->deleteLater();
    }
    statusRow_ = row;
}

QWidget* UpdatesPreferenceSection::control(Control control)
{
    const auto button = [this](const QString& title, bool prominent, void (UpdateController::*action)()) {
        auto* made = new QPushButton(title, card_);
        made->setDefault(prominent);
        made->setAutoDefault(prominent);
        connect(made, &QPushButton::clicked, &updates_, action);
        return made;
    };
    switch (control) {
    case Control::updateNow: {
        QPushButton* made = button(QStringLiteral("Update Now"), true, &UpdateController::updateNow);
        // Return goes here rather than to the sheet's "Done".
        made->setProperty(returnActionProperty, true);
        return made;
    }
    case Control::cancel:
        return button(QStringLiteral("Cancel"), false, &UpdateController::cancelUpdate);
    case Control::restartToUpdate:
        return button(QStringLiteral("Restart to Update"), true, &UpdateController::updateNow);
    case Control::restartNow:
        return button(QStringLiteral("Restart Now"), true, &UpdateController::restartNow);
    case Control::tryAgain:
        return button(QStringLiteral("Try Again"), false, &UpdateController::checkNow);
    case Control::checkNow: {
        QPushButton* made = button(QStringLiteral("Check Now"), false, &UpdateController::checkNow);
        made->setObjectName(QStringLiteral("checkNow"));
        return made;
    }
    case Control::progress:
        progress_ = new QProgressBar(card_);
        progress_->setRange(0, 1000);
        progress_->setTextVisible(false);
        progress_->setFixedWidth(140);
        return progress_;
    case Control::spinner: {
        auto* spinner = new QProgressBar(card_);
        spinner->setRange(0, 0);
        spinner->setTextVisible(false);
        spinner->setFixedSize(48, 10);
        spinner->setAccessibleName(QStringLiteral("In progress"));
        return spinner;
    }
    }
    return nullptr;
}

void UpdatesPreferenceSection::rebuildNotes()
{
    const UpdateController::Phase& phase = updates_.phase();
    const bool shown = phase.kind == UpdateController::Phase::Kind::available && !phase.release()->notes.isEmpty();
    const QString key = shown ? phase.release()->version + u'\n' + phase.release()->notes.join(u'\n') : QString();
    if (key == notesShownFor_) {
        return;
    }
    notesShownFor_ = key;
    delete notesBlock_;
    notesBlock_ = nullptr;
    if (shown) {
        notesBlock_ = notesBlockFor(*phase.release(), card_->rows()->parentWidget());
        card_->rows()->insertWidget(1, notesBlock_);
    }
}

} // namespace pivra
