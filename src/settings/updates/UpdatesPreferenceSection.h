#pragma once

#include "platform/updates/UpdateBuildConfig.h"
#include "settings/updates/UpdateStatusRow.h"

#include <QWidget>

class QCheckBox;
class QProgressBar;
class QVBoxLayout;

namespace pivra {

class PreferenceCard;
class PreferenceRow;
class UpdateController;

// The "Updates" card of the General preferences: one status row that
// follows the update controller (title, detail, and the control for the next
// step), the notes of an available release, and the switches for automatic
// checks and automatic download and install. It holds no update logic: each
// control calls the controller, and every text is derived from its state.
//
// The status row is rebuilt only when its set of controls changes; download
// and unpacking progress update the texts and the bar in place.
class UpdatesPreferenceSection final : public QWidget {
    Q_OBJECT

public:
    // `installed` is the running build's version ("—" shown when empty).
    explicit UpdatesPreferenceSection(UpdateController& updates,
                                      const QString& installed = QString::fromUtf8(UpdateBuildConfig::version),
                                      QWidget* parent = nullptr);

    PreferenceRow* statusRow() const { return statusRow_; }
    // The notes of an available release; none in every other phase.
    QWidget* notesBlock() const { return notesBlock_; }
    QCheckBox* checksSwitch() const { return checksSwitch_; }
    QCheckBox* downloadsSwitch() const { return downloadsSwitch_; }
    QProgressBar* progressBar() const { return progress_; }

private:
    void refresh();
    void rebuildStatusRow(const UpdateStatusRow& shown);
    QWidget* control(UpdateStatusRow::Control control);
    void rebuildNotes();

    UpdateController& updates_;
    QString installed_;
    PreferenceCard* card_;
    UpdateStatusRow shown_;
    PreferenceRow* statusRow_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QWidget* notesBlock_ = nullptr;
    QString notesShownFor_;
    std::vector<QWidget*> switchRows_; // with their dividers: absent for a system package
    QCheckBox* checksSwitch_;
    QCheckBox* downloadsSwitch_;
};

} // namespace pivra
