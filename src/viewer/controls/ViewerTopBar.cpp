#include "viewer/controls/ViewerTopBar.h"

#include "style/appearance/PivraAppearance.h"
#include "style/assets/PivraFonts.h"
#include "style/assets/Symbols.h"
#include "style/controls/ElidedLabel.h"
#include "viewer/info/MetadataRows.h"
#include "viewer/controls/ViewerButton.h"
#include "viewer/controls/ZoomOverview.h"
#include "viewer/controls/ZoomSlider.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace pivra {
namespace {

constexpr double zoomButtonStep = 0.25;

void makeWhite(QLabel* label, int pixelSize, QFont::Weight weight, double opacity)
{
    label->setFont(PivraFonts::font(pixelSize, weight));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor::fromRgbF(1, 1, 1, float(opacity)));
    label->setPalette(palette);
}

QLabel* whiteLabel(int pixelSize, QFont::Weight weight, double opacity, QWidget* parent)
{
    auto* label = new QLabel(parent);
    makeWhite(label, pixelSize, weight, opacity);
    return label;
}

// A symbol followed by a text, as one line of the title block.
QWidget* symbolLine(const QString& symbol, QLabel*& text, QWidget* parent)
{
    auto* line = new QWidget(parent);
    auto* row = new QHBoxLayout(line);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    auto* icon = new QLabel(line);
    icon->setPixmap(Symbols::pixmap(symbol, {11, 11}, QColor::fromRgbF(1, 1, 1, 0.64f), line->devicePixelRatioF()));
    row->addWidget(icon);
    text = whiteLabel(11, QFont::Normal, 0.64, line);
    row->addWidget(text);
    return line;
}

// The capsule behind the zoom controls.
class Capsule final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), height() / 2.0, height() / 2.0);
        painter.fillPath(shape, QColor::fromRgbF(1, 1, 1, 0.12f));
    }
};

} // namespace

QString ViewerTopBar::percentText(double zoom)
{
    return QString::number(std::lround(zoom * 100)) + u'%';
}

ViewerTopBar::ViewerTopBar(QWidget* parent)
    : QWidget(parent)
    , close_(roundButton(QStringLiteral("xmark"), QStringLiteral("Back to gallery")))
    , favorite_(roundButton(QStringLiteral("heart"), QStringLiteral("Add to Favorites")))
    , livePlay_(roundButton(QStringLiteral("livephoto.play"), QStringLiteral("Play Live Photo")))
    , loop_(roundButton(QStringLiteral("repeat.circle"), QStringLiteral("Loop Live Photo")))
    , rotateLeft_(roundButton(QStringLiteral("rotate.left"), QStringLiteral("Rotate counterclockwise (Shift-R)")))
    , rotateRight_(roundButton(QStringLiteral("rotate.right"), QStringLiteral("Rotate clockwise (R)")))
    , info_(roundButton(QStringLiteral("info.circle"), QStringLiteral("Information (I)")))
    , fullscreenButton_(roundButton(QStringLiteral("arrow.up.left.and.arrow.down.right"),
                                    QStringLiteral("Toggle full screen")))
{
    setObjectName(QStringLiteral("viewerTopBar"));
    setAttribute(Qt::WA_Hover);
    auto* row = new QHBoxLayout(this);
    row->setSpacing(12);
    row->addWidget(close_);
    row->addWidget(makeTitleBlock(), 0);
    row->addStretch(1);
    auto* cluster = makeZoomCluster();
    row->addWidget(cluster);
    for (ViewerButton* button : {favorite_, livePlay_, loop_, rotateLeft_, rotateRight_, info_, fullscreenButton_}) {
        row->addWidget(button);
    }
    overview_ = new ZoomOverview(this);
    overview_->hide();

    connect(close_, &QAbstractButton::clicked, this, &ViewerTopBar::closeRequested);
    connect(favorite_, &QAbstractButton::clicked, this, &ViewerTopBar::favoriteRequested);
    connect(livePlay_, &QAbstractButton::clicked, this, &ViewerTopBar::livePlayRequested);
    connect(loop_, &QAbstractButton::clicked, this, &ViewerTopBar::loopRequested);
    connect(rotateLeft_, &QAbstractButton::clicked, this, [this] { Q_EMIT rotateRequested(-1); });
    connect(rotateRight_, &QAbstractButton::clicked, this, [this] { Q_EMIT rotateRequested(1); });
    connect(info_, &QAbstractButton::clicked, this, &ViewerTopBar::infoRequested);
    connect(fullscreenButton_, &QAbstractButton::clicked, this, &ViewerTopBar::fullscreenRequested);
    updateMargins();
    updateKindButtons();
}

ViewerButton* ViewerTopBar::roundButton(const QString& symbol, const QString& help)
{
    auto* button = new ViewerButton(ViewerButton::Kind::round, symbol, this);
    button->setHelp(help);
    return button;
}

QWidget* ViewerTopBar::makeTitleBlock()
{
    auto* block = new QWidget(this);
    auto* column = new QVBoxLayout(block);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    // A long name gives way in its middle, where it says least, before any
    // button leaves the bar.
    name_ = new ElidedLabel(Qt::ElideMiddle, block);
    makeWhite(name_, 14, QFont::DemiBold, 0.94);
    column->addWidget(name_);
    dateLine_ = new QWidget(block);
    auto* line = new QHBoxLayout(dateLine_);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(12);
    line->addWidget(symbolLine(QStringLiteral("calendar"), date_, dateLine_));
    locationLine_ = symbolLine(QStringLiteral("location.fill"), location_, dateLine_);
    line->addWidget(locationLine_);
    line->addStretch(1);
    column->addWidget(dateLine_);
    dateLine_->hide();
    return block;
}

QWidget* ViewerTopBar::makeZoomCluster()
{
    auto* outer = new QWidget(this);
    auto* outerRow = new QHBoxLayout(outer);
    outerRow->setContentsMargins(0, 0, 6, 0);
    capsule_ = new Capsule(outer);
    capsule_->setFixedHeight(34);
    auto* row = new QHBoxLayout(capsule_);
    row->setContentsMargins(6, 0, 12, 0);
    row->setSpacing(6);
    auto* minus = new ViewerButton(ViewerButton::Kind::zoomStep, QStringLiteral("minus"), capsule_);
    minus->setHelp(QStringLiteral("Zoom out"));
    slider_ = new ZoomSlider(capsule_);
    slider_->setFixedWidth(104);
    slider_->setRange(PhotoViewportTransform::minimumZoom, PhotoViewportTransform::maximumZoom);
    auto* plus = new ViewerButton(ViewerButton::Kind::zoomStep, QStringLiteral("plus"), capsule_);
    plus->setHelp(QStringLiteral("Zoom in"));
    percent_ = whiteLabel(11, QFont::Medium, 0.72, capsule_);
    percent_->setFixedWidth(36);
    percent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    percent_->setText(percentText(1));
    for (QWidget* part : {static_cast<QWidget*>(minus), static_cast<QWidget*>(slider_),
                          static_cast<QWidget*>(plus), static_cast<QWidget*>(percent_)}) {
        row->addWidget(part);
    }
    outerRow->addWidget(capsule_);
    connect(minus, &QAbstractButton::clicked, this, [this] { Q_EMIT zoomStepRequested(-zoomButtonStep); });
    connect(plus, &QAbstractButton::clicked, this, [this] { Q_EMIT zoomStepRequested(zoomButtonStep); });
    connect(slider_, &ZoomSlider::zoomRequested, this, &ViewerTopBar::zoomRequested);
    return outer;
}

QString ViewerTopBar::percentShown() const { return percent_->text(); }

void ViewerTopBar::setItem(const MediaItem& item)
{
    item_ = item;
    name_->setText(item.name());
    date_->setText(captureDateText(item.captureDate()));
    const bool favorite = item.isFavorite();
    favorite_->setSymbol(favorite ? QStringLiteral("heart.fill") : QStringLiteral("heart"));
    favorite_->setHelp(favorite ? QStringLiteral("Remove from Favorites") : QStringLiteral("Add to Favorites"));
    favorite_->setTint(favorite ? PivraAppearance::systemRed(true) : QColor(Qt::white));
    updateKindButtons();
}

void ViewerTopBar::updateKindButtons()
{
    const bool live = item_.kind() == MediaKind::image && item_.liveVideoPath().has_value();
    livePlay_->setVisible(live);
    loop_->setVisible(live);
    // A video's own control row carries its full-screen button.
    fullscreenButton_->setVisible(item_.kind() == MediaKind::image);
}

void ViewerTopBar::setFullscreen(bool fullscreen)
{
    fullscreen_ = fullscreen;
    dateLine_->setVisible(fullscreen);
    updateMargins();
}

void ViewerTopBar::updateMargins()
{
    const int leading = 21 + (fullscreen_ ? 0 : int(PivraAppearance::titleBarInset));
    layout()->setContentsMargins(leading, fullscreen_ ? 17 : 8, 21, 20);
}

void ViewerTopBar::setShowInfo(bool shown)
{
    showInfo_ = shown;
    info_->setSymbol(shown ? QStringLiteral("info.circle.fill") : QStringLiteral("info.circle"));
}

void ViewerTopBar::setPlaying(bool playing)
{
    playing_ = playing;
    livePlay_->setSymbol(playing ? QStringLiteral("pause.fill") : QStringLiteral("livephoto.play"));
    livePlay_->setHelp(playing ? QStringLiteral("Pause Live Photo") : QStringLiteral("Play Live Photo"));
}

void ViewerTopBar::setLiveLoops(bool loops)
{
    liveLoops_ = loops;
    loop_->setSymbol(loops ? QStringLiteral("repeat.circle.fill") : QStringLiteral("repeat.circle"));
    loop_->setHelp(loops ? QStringLiteral("Turn looping off") : QStringLiteral("Loop Live Photo"));
}

void ViewerTopBar::setLocation(const std::optional<QString>& location)
{
    location_->setText(location.value_or(QString()));
    locationLine_->setVisible(location.has_value());
}

void ViewerTopBar::setViewport(const PhotoViewportTransform& viewport)
{
    slider_->setZoom(viewport.zoom);
    percent_->setText(percentText(viewport.zoom));
    overview_->setVisible(viewport.isZoomed());
    overview_->setRegion(viewport.visibleRegion(), viewport.aspectRatio());
    placeOverview();
}

// Beside the capsule's leading edge, 72 to its left, centred on it.
void ViewerTopBar::placeOverview()
{
    const QPoint capsuleTopLeft = capsule_->mapTo(this, QPoint(0, 0));
    overview_->move(capsuleTopLeft.x() - 72, capsuleTopLeft.y() + (capsule_->height() - overview_->height()) / 2);
    overview_->raise();
}

void ViewerTopBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The layout places the capsule during this resize; the overview
    // follows once it has.
    QMetaObject::invokeMethod(this, &ViewerTopBar::placeOverview, Qt::QueuedConnection);
}

void ViewerTopBar::enterEvent(QEnterEvent*) { Q_EMIT hoverChanged(true); }

void ViewerTopBar::leaveEvent(QEvent*) { Q_EMIT hoverChanged(false); }

void ViewerTopBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QLinearGradient shade(0, 0, 0, height());
    shade.setColorAt(0, QColor::fromRgbF(0, 0, 0, 0.67f));
    shade.setColorAt(0.5, QColor::fromRgbF(0, 0, 0, 0.28f));
    shade.setColorAt(1, Qt::transparent);
    painter.fillRect(rect(), shade);
}

} // namespace pivra
