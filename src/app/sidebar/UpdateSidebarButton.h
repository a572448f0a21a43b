#pragma once

#include "store/updates/UpdateController.h"

#include <QAbstractButton>
#include <QTimer>

#include <optional>

class QVariantAnimation;

namespace pivra {

// What the sidebar's update button shows for a phase: none unless an update
// is under way (the phase carries a release).
struct UpdateButtonFace {
    enum class Icon { available, progress, spinner, ready };

    Icon icon = Icon::available;
    QString title;
    QString subtitle;
    QString tooltip;
    double progress = 0; // of the circular indicator, 0 to 1

    bool operator==(const UpdateButtonFace&) const = default;
};

std::optional<UpdateButtonFace> updateButtonFace(const UpdateController::Phase& phase);

// The sidebar's tinted update button, below the sources while an update is
// under way: the step in one line, its progress or next action in a second.
// A click goes ahead with the update, after asking for the update settings;
// while installing it finishes the restart instead. It grows into place
// and fades in with a spring, and back out (at once while motion is
// reduced), leaving no gap while hidden.
class UpdateSidebarButton final : public QAbstractButton {
    Q_OBJECT

public:
    explicit UpdateSidebarButton(UpdateController& updates, QWidget* parent = nullptr);

    const std::optional<UpdateButtonFace>& face() const { return face_; }
    bool hovering() const { return hovering_; }
    QSize sizeHint() const override;

Q_SIGNALS:
    // The update settings should be shown (the General preferences).
    void updateSettingsRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void follow();
    void activate();
    int fullHeight() const;
    void paintIcon(QPainter& painter, const QRectF& frame, const QColor& accent) const;

    UpdateController& updates_;
    std::optional<UpdateButtonFace> face_;
    // The face still drawn while the button slides out.
    UpdateButtonFace drawn_;
    bool hovering_ = false;
    double reveal_ = 0; // 0 hidden, 1 in place
    QVariantAnimation* motion_;
    QTimer spin_;
    int spinStep_ = 0;
};

} // namespace pivra
