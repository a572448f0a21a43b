#include "viewer/video/controls/VideoControls.h"

#include "media/camera/CameraItemPaths.h"
#include "style/motion/Motion.h"
#include "viewer/video/controls/TransportButton.h"
#include "viewer/video/hover/VideoHoverPreview.h"
#include "viewer/video/playback/VideoPlaybackModel.h"
#include "viewer/video/controls/VideoScrubBar.h"

#include <QFontDatabase>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace pivra {
namespace {

constexpr int sliderSteps = 1000;
constexpr int volumeWidth = 82;
constexpr double skipSeconds = 10;

QFont sizedFont(QFont font, int pixels, QFont::Weight weight = QFont::Normal)
{
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

} // namespace

QString VideoControls::timeLabel(double seconds)
{
    const long long whole = std::isfinite(seconds) && seconds >= 0 ? static_cast<long long>(seconds) : 0;
    if (whole < 3600) {
        return QString::asprintf("%lld:%02lld", whole / 60, whole % 60);
    }
    return QString::asprintf("%lld:%02lld:%02lld", whole / 3600, (whole / 60) % 60, whole % 60);
}

QString VideoControls::speedLabel(float speed)
{
    return QLocale().toString(double(speed)) + QStringLiteral("×");
}

VideoControls::VideoControls(VideoPlaybackModel& model, const MediaItem& item, std::function<void()> onFullscreen,
                             QWidget* parent)
    : QWidget(parent)
    , model_(&model)
    , item_(item)
    , onFullscreen_(std::move(onFullscreen))
    , hover_(new VideoHoverPreview(this))
    , banner_(new QLabel(this))
    , scrubBar_(new VideoScrubBar(model, *hover_, this))
    , opacity_(new QGraphicsOpacityEffect(this))
{
    setAttribute(Qt::WA_Hover);
    auto* stack = new QVBoxLayout(this);
    stack->setSpacing(3);
    stack->setContentsMargins(22, 15, 22, 18);

    banner_->setWordWrap(true);
    banner_->setFont(sizedFont(font(), 12));
    banner_->setMargin(10);
    banner_->setStyleSheet(QStringLiteral("QLabel { color: white; background: rgba(255, 59, 48, 191);"
                                          " border-radius: 8px; }"));
    banner_->hide();
    // Centred between stretches rather than by alignment, so that the height
    // the stack asks for is the banner's at the width it is given.
    auto* bannerRow = new QHBoxLayout;
    bannerRow->addStretch();
    bannerRow->addWidget(banner_);
    bannerRow->addStretch();
    stack->addLayout(bannerRow);
    stack->addWidget(scrubBar_);
    buildRow();

    opacity_->setEnabled(false);
    setGraphicsEffect(opacity_);
    connect(&fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        opacity_->setOpacity(value.toDouble());
    });
    connect(&fade_, &QVariantAnimation::finished, this, [this] {
        opacity_->setEnabled(!revealed_);
        setVisible(revealed_);
    });

    connect(&model, &VideoPlaybackModel::isPlayingChanged, this, &VideoControls::showPlaying);
    connect(&model, &VideoPlaybackModel::currentTimeChanged, this, &VideoControls::showTime);
    connect(&model, &VideoPlaybackModel::durationChanged, this, &VideoControls::showTime);
    connect(&model, &VideoPlaybackModel::volumeChanged, this, &VideoControls::showVolume);
    connect(&model, &VideoPlaybackModel::playbackSpeedChanged, this, &VideoControls::showSpeed);
    connect(&model, &VideoPlaybackModel::errorChanged, this, &VideoControls::showError);
    // A new video: no bubble or drag of the previous one stays.
    connect(&model, &VideoPlaybackModel::itemChanged, scrubBar_, &VideoScrubBar::reset);
    showPlaying(model.isPlaying());
    showTime();
    showVolume(model.volume());
    showSpeed(model.playbackSpeed());
    showError();
}

VideoControls::~VideoControls() = default;

void VideoControls::buildRow()
{
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    play_ = new TransportButton(QStringLiteral("play.fill"), QStringLiteral("Play (Space)"), this);
    auto* back = new TransportButton(QStringLiteral("gobackward.10"), QStringLiteral("Back 10 seconds"), this);
    auto* forward = new TransportButton(QStringLiteral("goforward.10"), QStringLiteral("Forward 10 seconds"), this);
    time_ = new QLabel(this);
    time_->setFont(sizedFont(QFontDatabase::systemFont(QFontDatabase::FixedFont), 12));
    time_->setStyleSheet(QStringLiteral("QLabel { color: rgba(255, 255, 255, 214); padding-left: 8px; }"));
    mute_ = new TransportButton(QStringLiteral("speaker.wave.2.fill"), QStringLiteral("Mute or unmute"), this);
    volumeSlider_ = new QSlider(Qt::Horizontal, this);
    volumeSlider_->setRange(0, sliderSteps);
    volumeSlider_->setFixedWidth(volumeWidth);
    volumeSlider_->setFocusPolicy(Qt::NoFocus);
    volumeSlider_->setToolTip(QStringLiteral("Volume"));
    volumeSlider_->setAccessibleName(QStringLiteral("Volume"));
    QPalette white = volumeSlider_->palette();
    white.setColor(QPalette::Highlight, Qt::white);
    volumeSlider_->setPalette(white);
    speed_ = new TransportButton(QStringLiteral("gearshape.fill"), QString(), this);
    auto* menu = new QMenu(speed_);
    for (const float speed : VideoPlaybackModel::speeds) {
        menu->addAction(speedLabel(speed), this, [this, speed] {
            if (model_) {
                model_->setPlaybackSpeed(speed);
            }
        });
    }
    auto* fullscreen = new TransportButton(QStringLiteral("arrow.up.left.and.arrow.down.right"),
                                           QStringLiteral("Toggle full screen"), this);

    row->addWidget(play_);
    row->addWidget(back);
    row->addWidget(forward);
    row->addWidget(time_);
    row->addStretch(1);
    row->addWidget(mute_);
    row->addWidget(volumeSlider_);
    row->addWidget(speed_);
    row->addWidget(fullscreen);
    static_cast<QVBoxLayout*>(layout())->addLayout(row);

    connect(play_, &QAbstractButton::clicked, this, [this] {
        if (model_) {
            model_->toggle();
        }
    });
    connect(back, &QAbstractButton::clicked, this, [this] {
        if (model_) {
            model_->seek(model_->currentTime() - skipSeconds);
        }
    });
    connect(forward, &QAbstractButton::clicked, this, [this] {
        if (model_) {
            model_->seek(model_->currentTime() + skipSeconds);
        }
    });
    connect(mute_, &QAbstractButton::clicked, this, [this] {
        if (model_) {
            model_->toggleMute();
        }
    });
    connect(volumeSlider_, &QSlider::valueChanged, this, [this](int value) {
        // The user's moves only: showing the model's volume blocks signals.
        if (model_) {
            model_->setVolume(double(value) / sliderSteps);
        }
    });
    connect(speed_, &QAbstractButton::clicked, this, [this, menu] {
        menu->popup(speed_->mapToGlobal(QPoint(0, -menu->sizeHint().height())));
    });
    connect(fullscreen, &QAbstractButton::clicked, this, [this] {
        if (onFullscreen_) {
            onFullscreen_();
        }
    });
}

void VideoControls::setItem(const MediaItem& item)
{
    const bool changed = item.path() != item_.path();
    item_ = item;
    scrubBar_->reset();
    if (changed && isVisible()) {
        configureHover();
    }
}

void VideoControls::configureHover()
{
    // Device videos have no file to take stills from: their bubble shows
    // the time only.
    if (isCameraItem(item_)) {
        hover_->unconfigure();
    } else {
        hover_->configure(item_.path());
    }
}

void VideoControls::setRevealed(bool revealed)
{
    if (revealed == revealed_) {
        return;
    }
    revealed_ = revealed;
    // Fading out it already takes no clicks: they reach the picture below.
    setAttribute(Qt::WA_TransparentForMouseEvents, !revealed);
    for (QWidget* part : findChildren<QWidget*>()) {
        part->setAttribute(Qt::WA_TransparentForMouseEvents, !revealed);
    }
    fade_.stop();
    if (revealed) {
        setVisible(true);
    }
    opacity_->setEnabled(true);
    fade_.setStartValue(opacity_->opacity());
    fade_.setEndValue(revealed ? 1.0 : 0.0);
    Motion::apply(fade_, curves::easeInOut(0.22));
    fade_.start();
}

void VideoControls::showPlaying(bool playing)
{
    play_->setSymbol(playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"));
    play_->setHelp(playing ? QStringLiteral("Pause (Space)") : QStringLiteral("Play (Space)"));
}

void VideoControls::showTime()
{
    if (model_) {
        time_->setText(timeLabel(model_->currentTime()) + QStringLiteral(" / ") + timeLabel(model_->duration()));
    }
}

void VideoControls::showVolume(double volume)
{
    mute_->setSymbol(volume == 0 ? QStringLiteral("speaker.slash.fill") : QStringLiteral("speaker.wave.2.fill"));
    const QSignalBlocker quiet(volumeSlider_);
    volumeSlider_->setValue(int(std::lround(std::clamp(volume, 0.0, 1.0) * sliderSteps)));
}

void VideoControls::showSpeed(float speed)
{
    speed_->setHelp(QStringLiteral("Playback speed: ") + speedLabel(speed));
}

void VideoControls::showError()
{
    const std::optional<QString> error = model_ ? model_->error() : std::nullopt;
    banner_->setText(error.value_or(QString()));
    banner_->setVisible(error.has_value());
    updateGeometry();
}

void VideoControls::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QLinearGradient shade(0, 0, 0, height());
    shade.setColorAt(0, Qt::transparent);
    shade.setColorAt(0.5, QColor::fromRgbF(0, 0, 0, 0.42f));
    shade.setColorAt(1, QColor::fromRgbF(0, 0, 0, 0.85f));
    painter.fillRect(rect(), shade);
}

void VideoControls::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    Q_EMIT hoveredChanged(true);
}

void VideoControls::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    Q_EMIT hoveredChanged(false);
}

void VideoControls::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    scrubBar_->setBubbleHost(parentWidget());
    configureHover();
}

void VideoControls::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    scrubBar_->reset();
    hover_->cancel();
}

} // namespace pivra
