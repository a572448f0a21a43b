#pragma once

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>

namespace pivra {

// When the viewer's controls are revealed: every pointer activity reveals
// them and restarts a 2.5-second countdown, after which they hide unless the
// pointer rests on a control. Leaving a control counts as activity.
class ControlsVisibility : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds hideDelay{2500};

    // The one pending wait before hiding: a timer in the program, a hand-
    // driven one in tests. Starting it again replaces the pending wait.
    class Delay {
    public:
        virtual ~Delay() = default;
        virtual void start(std::chrono::milliseconds wait, std::function<void()> elapsed) = 0;
        virtual void cancel() = 0;
    };
    static std::unique_ptr<Delay> timerDelay();

    explicit ControlsVisibility(std::unique_ptr<Delay> delay = timerDelay(), QObject* parent = nullptr);
    ~ControlsVisibility() override;

    bool controlsVisible() const { return visible_; }
    bool controlsHovered() const { return hovered_; }

    // Shows the controls and restarts the countdown.
    void reveal();
    // The pointer entered or left a control; either way a reveal.
    void setHovered(bool hovered);
    // Drops a pending hide, as the viewer goes away.
    void cancel();

    // Whether the controls show at all: while revealed, while the
    // information panel is open, and while an item that plays (a video, a
    // Live Photo) is not playing.
    static bool shown(bool controlsVisible, bool showInfo, bool playable, bool playing)
    {
        return controlsVisible || showInfo || (playable && !playing);
    }

Q_SIGNALS:
    void controlsVisibleChanged(bool visible);

private:
    void setVisible(bool visible);

    std::unique_ptr<Delay> delay_;
    bool visible_ = true;
    bool hovered_ = false;
};

} // namespace pivra
