#include "gallery/share/ShareNotch.h"

#include "gallery/share/ShareGlyph.h"
#include "style/motion/Motion.h"
#include "style/assets/Symbols.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>

namespace pivra {

namespace {

constexpr int margin = 24;        // room for the shadow around the panel
constexpr double cornerRadius = 19;
const QColor panelFill = QColor::fromRgbF(0.14f, 0.15f, 0.19f);
const QSize glyphFrame(84, 60);
const QString uriList = QStringLiteral("text/uri-list");

// What each state says under the glyph, and to a screen reader; in the
// order of ShareNotch::State.
struct StateText {
    const char16_t* caption;
    const char16_t* label;
};
constexpr StateText texts[] = {
    {u"Drop to share", u"Drop on Share to share"},
    {u"Release to share", u"Release to share with Share"},
    {u"Opening…", u"Opening Share"},
};

// `image` softened by about `radius` pixels: shrunk and drawn back smoothly,
// cheap enough for a shadow made once.
QImage softened(const QImage& image, double radius)
{
    const double shrink = std::max(radius / 2, 1.0);
    const QImage small = image.scaled((QSizeF(image.size()) / shrink).toSize(), Qt::IgnoreAspectRatio,
                                      Qt::SmoothTransformation);
    return small.scaled(image.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// `shape`'s alpha in a single colour, softened, on a canvas `pad` wider on each side.
QImage shadowOf(const QImage& shape, const QColor& colour, double radius, int pad)
{
    QImage canvas(shape.size() + QSize(2 * pad, 2 * pad), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.drawImage(pad, pad, shape);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(canvas.rect(), colour);
    painter.end();
    return softened(canvas, radius);
}

QPainterPath panelPath(const QRectF& rect)
{
    QPainterPath path;
    path.addRoundedRect(rect, cornerRadius, cornerRadius);
    return path;
}

// The glyph fitted into the 84 × 60 frame: the bundled drawing, else the
// symbol set's share mark in the same blue.
QImage glyphImage()
{
    static const QImage fitted = [] {
        QImage glyph = ShareGlyph::image();
        if (glyph.isNull()) {
            glyph = Symbols::pixmap(QStringLiteral("airdrop"), QSize(60, 60), ShareGlyph::blue()).toImage();
        }
        return glyph.scaled(glyphFrame, Qt::KeepAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }();
    return fitted;
}

} // namespace

ShareNotch::ShareNotch(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAcceptDrops(true);
    setFixedSize(panelWidth + 2 * margin, panelHeight + 2 * margin);
    glow_.setStartValue(0.0);
    glow_.setEndValue(0.0);
    connect(&glow_, &QVariantAnimation::valueChanged, this, qOverload<>(&QWidget::update));
    stateChanged();
}

void ShareNotch::setTargeted(bool targeted)
{
    if (targeted != targeted_) {
        targeted_ = targeted;
        stateChanged();
    }
}

void ShareNotch::setCommitted(bool committed)
{
    if (committed != committed_) {
        committed_ = committed;
        stateChanged();
    }
}

ShareNotch::State ShareNotch::state() const
{
    if (committed_) {
        return State::committed;
    }
    return targeted_ ? State::targeted : State::idle;
}

QString ShareNotch::caption(State state)
{
    return QString::fromUtf16(texts[int(state)].caption);
}

QString ShareNotch::accessibleLabel(State state)
{
    return QString::fromUtf16(texts[int(state)].label);
}

QRect ShareNotch::panelRect() const
{
    return {margin, margin, panelWidth, panelHeight};
}

// The glow follows each change over 0.22 s, from wherever it stands.
void ShareNotch::stateChanged()
{
    const double target = state() == State::idle ? 0.0 : 1.0;
    setAccessibleName(accessibleLabel(state()));
    glow_.stop();
    glow_.setStartValue(glow());
    glow_.setEndValue(target);
    Motion::apply(glow_, curves::easeInOut(0.22));
    glow_.start();
    update();
}

double ShareNotch::glow() const
{
    return glow_.currentValue().toDouble();
}

void ShareNotch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF panel = panelRect();
    if (shadow_.isNull()) {
        QImage shape(panel.size().toSize(), QImage::Format_ARGB32_Premultiplied);
        shape.fill(Qt::transparent);
        QPainter shapePainter(&shape);
        shapePainter.setRenderHint(QPainter::Antialiasing);
        shapePainter.fillPath(panelPath(QRectF(QPointF(), panel.size())), Qt::black);
        shapePainter.end();
        shadow_ = shadowOf(shape, QColor(0, 0, 0, 77), 13, margin);
    }
    painter.drawImage(QPointF(0, 7), shadow_);
    painter.fillPath(panelPath(panel), panelFill);
    painter.setPen(QPen(QColor(255, 255, 255, 33), 1));
    painter.drawPath(panelPath(panel.adjusted(0.5, 0.5, -0.5, -0.5)));

    // Title 14 px semibold, the 84 × 60 glyph frame, the caption 10 px medium,
    // stacked in the middle with 1 px between them.
    QFont title = font();
    title.setPixelSize(14);
    title.setWeight(QFont::DemiBold);
    QFont small = font();
    small.setPixelSize(10);
    small.setWeight(QFont::Medium);
    const int titleHeight = QFontMetrics(title).height();
    const int captionHeight = QFontMetrics(small).height();
    const double stackHeight = titleHeight + 1 + glyphFrame.height() + 1 + captionHeight;
    double y = panel.center().y() - stackHeight / 2;
    painter.setFont(title);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(panel.left(), y, panel.width(), titleHeight), Qt::AlignCenter, QStringLiteral("Share"));
    y += titleHeight + 1;

    const QImage glyph = glyphImage();
    const QPointF glyphAt(panel.center().x() - glyph.width() / 2.0, y + (glyphFrame.height() - glyph.height()) / 2.0);
    const int pad = 12;
    static const QImage glyphShadow = shadowOf(glyph, QColor(0, 0, 0, 128), 1, pad);
    static const QImage glyphGlow = shadowOf(glyph, QColor(0, 122, 255, 217), 9, pad);
    painter.drawImage(glyphAt + QPointF(-pad, 2 - pad), glyphShadow);
    if (const double shown = glow(); shown > 0) {
        // Drawn twice: spread over 9 px, a single layer is too faint to read as light.
        painter.setOpacity(shown);
        painter.drawImage(glyphAt - QPointF(pad, pad), glyphGlow);
        painter.drawImage(glyphAt - QPointF(pad, pad), glyphGlow);
        painter.setOpacity(1);
    }
    painter.drawImage(glyphAt, glyph);
    y += glyphFrame.height() + 1;

    painter.setFont(small);
    painter.setPen(QColor::fromRgbF(1, 1, 1, 0.66f));
    painter.drawText(QRectF(panel.left(), y, panel.width(), captionHeight), Qt::AlignCenter, caption(state()));
}

// Only the panel takes a drag, and only one that carries files; what they
// are is never read here, since reading a device original's data copies it.
void ShareNotch::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasFormat(uriList)) {
        event->acceptProposedAction();
        setOver(panelRect().contains(event->position().toPoint()));
    }
}

void ShareNotch::dragMoveEvent(QDragMoveEvent* event)
{
    const bool over = panelRect().contains(event->position().toPoint());
    setOver(over);
    if (over) {
        event->acceptProposedAction();
    } else {
        event->ignore(panelRect());
    }
}

void ShareNotch::dragLeaveEvent(QDragLeaveEvent*)
{
    setOver(false);
}

void ShareNotch::dropEvent(QDropEvent* event)
{
    setOver(false);
    if (panelRect().contains(event->position().toPoint()) && event->mimeData()->hasFormat(uriList) && dropHandler_ &&
        dropHandler_(mapToGlobal(event->position().toPoint()))) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void ShareNotch::setOver(bool over)
{
    if (over != over_) {
        over_ = over;
        Q_EMIT targetChanged(over);
    }
}

} // namespace pivra
