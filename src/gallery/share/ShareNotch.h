#pragma once

#include <QImage>
#include <QVariantAnimation>
#include <QWidget>

#include <functional>

namespace pivra {

// The small dark panel the window shows while a photo or video is dragged:
// dropping the original on it hands it to the desktop's way of sending
// files to another device. It draws one of three states; the window sets
// them, decides whether a drop is taken and does the sharing. Only the
// panel's own rectangle is a target: the margin around it holds its shadow.
class ShareNotch : public QWidget {
    Q_OBJECT

public:
    enum class State { idle, targeted, committed };

    static constexpr int panelWidth = 194;
    static constexpr int panelHeight = 106;

    explicit ShareNotch(QWidget* parent = nullptr);

    // The pointer of the running drag is over the panel.
    void setTargeted(bool targeted);
    // The original was dropped and is being shared; the glow stays on.
    void setCommitted(bool committed);
    State state() const;
    static QString caption(State state);
    static QString accessibleLabel(State state);

    // The panel within the widget.
    QRect panelRect() const;
    // Asked on each drop on the panel, with where it fell on the screen;
    // true takes the drop. Without it no drop is taken.
    void setDropHandler(std::function<bool(QPoint globalAt)> handler) { dropHandler_ = std::move(handler); }
    // The glow's fade, for tests to step through.
    QVariantAnimation& glowMotion() { return glow_; }

Q_SIGNALS:
    // The pointer of a drag entered or left the panel.
    void targetChanged(bool over);

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void stateChanged();
    void setOver(bool over);
    double glow() const;

    bool targeted_ = false;
    bool committed_ = false;
    bool over_ = false;
    QVariantAnimation glow_;
    std::function<bool(QPoint globalAt)> dropHandler_;
    QImage shadow_;
};

} // namespace pivra
