#include "viewer/controls/ControlsVisibility.h"

#include <QTimer>

namespace pivra {
namespace {

class TimerDelay final : public ControlsVisibility::Delay {
public:
    TimerDelay()
    {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (elapsed_) {
                elapsed_();
            }
        });
    }

    void start(std::chrono::milliseconds wait, std::function<void()> elapsed) override
    {
        elapsed_ = std::move(elapsed);
        timer_.start(wait);
    }

    void cancel() override
    {
        timer_.stop();
        elapsed_ = nullptr;
    }

private:
    QTimer timer_;
    std::function<void()> elapsed_;
};

} // namespace

std::unique_ptr<ControlsVisibility::Delay> ControlsVisibility::timerDelay()
{
    return std::make_unique<TimerDelay>();
}

ControlsVisibility::ControlsVisibility(std::unique_ptr<Delay> delay, QObject* parent)
    : QObject(parent)
    , delay_(std::move(delay))
{
}

ControlsVisibility::~ControlsVisibility() = default;

void ControlsVisibility::reveal()
{
    setVisible(true);
    // A countdown that ends while the pointer rests on a control hides
    // nothing and starts no new one: leaving the control reveals again.
    delay_->start(hideDelay, [this] {
        if (!hovered_) {
            setVisible(false);
        }
    });
}

void ControlsVisibility::setHovered(bool hovered)
{
    hovered_ = hovered;
    reveal();
}

void ControlsVisibility::cancel()
{
    delay_->cancel();
}

void ControlsVisibility::setVisible(bool visible)
{
    if (visible_ != visible) {
        visible_ = visible;
        Q_EMIT controlsVisibleChanged(visible);
    }
}

} // namespace pivra
