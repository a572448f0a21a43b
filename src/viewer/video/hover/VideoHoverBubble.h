#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

namespace pivra {

class AnimatedValue;

// The bubble over the scrub bar: the hovered frame (when there is one),
// fitted into 176 by 100 on black, above the hovered time, on a dark rounded
// panel. It comes and goes by scaling from 0.96 about its centre while it
// fades. It takes no pointer events. Its centre is placed by the scrub bar.
class VideoHoverBubble final : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize maxImage{176, 100};

    explicit VideoHoverBubble(QWidget* parent = nullptr);

    void setFrame(const QImage& frame);
    void setTime(const QString& text);
    // Where its centre lies, in its parent's coordinates.
    void setCentre(QPoint centre);
    // Shown or gone, along the 0.22 s transition.
    void present(bool shown);
    bool presented() const;

    const QImage& frame() const { return frame_; }
    const QString& time() const { return time_; }
    QPoint centre() const { return centre_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSize imageSize() const;
    void relayout();

    QImage frame_;
    QString time_;
    QPoint centre_;
    AnimatedValue* presence_;
};

} // namespace pivra
