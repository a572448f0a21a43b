#pragma once

#include <QPixmap>
#include <QVariantAnimation>
#include <QWidget>

namespace pivra {

// Stands in for the viewer while it comes and goes: a picture of it, grown
// from a little under full size and faded in over a picture of what it
// covers, or shrunk and faded out over the live window. It takes no clicks,
// so nothing reaches a viewer that is leaving; `finished` says the live
// viewer can take over again.
class ViewerTransition final : public QWidget {
    Q_OBJECT

public:
    explicit ViewerTransition(QWidget* parent);

    void enter(QPixmap viewer, QPixmap under);
    void leave(QPixmap viewer);
    void stop();

    bool running() const { return running_; }
    double opacity() const { return progress_; }
    double scale() const;
    QVariantAnimation& animation() { return animation_; }

Q_SIGNALS:
    void finished();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void play(double target);

    QVariantAnimation animation_;
    QPixmap viewer_;
    QPixmap under_;
    double progress_ = 0;
    bool running_ = false;
};

} // namespace pivra
