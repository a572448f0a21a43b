#pragma once

#include "store/updates/UpdateController.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace pivra {

// What the update settings' status row shows for the controller's state:
// the step as its title, the detail under it, and its controls in order.
struct UpdateStatusRow {
    enum class Control { updateNow, progress, cancel, restartToUpdate, restartNow, spinner, tryAgain, checkNow };

    QString title;
    QString subtitle;
    std::vector<Control> controls;
    double progress = 0; // of the progress bar, 0 to 1

    bool operator==(const UpdateStatusRow&) const = default;
};

// `installed` is the version of the running build ("—" when unknown); `now`
// is the moment the last check is told relative to.
UpdateStatusRow updateStatusRow(const UpdateController& updates, const QString& installed, const QDateTime& now);

// "Not checked yet." or "Last checked 5 minutes ago.", in English.
QString lastCheckedText(const std::optional<QDateTime>& lastChecked, const QDateTime& now);

// The size of a download as the desktop's file dialogs write it; a count
// beyond what they take reads as that largest count.
QString downloadSizeText(std::uint64_t bytes);

} // namespace pivra
