#include "settings/StorageUsage.h"

#include "settings/PreferenceCard.h"
#include "style/ByteCountText.h"
#include "style/appearance/PivraAppearance.h"
#include "style/assets/PivraFonts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace pivra {

namespace {

QColor accent(const QPalette& palette, qreal opacity)
{
    return PivraAppearance::withOpacity(palette.color(QPalette::Highlight), opacity);
}

void fillCapsule(QPainter& painter, const QRectF& area, const QColor& colour)
{
    QPainterPath capsule;
    capsule.addRoundedRect(area, area.height() / 2, area.height() / 2);
    painter.fillPath(capsule, colour);
}

constexpr qreal previewOpacity = 0.4;

// The dot of a legend entry.
class Dot final : public QWidget {
public:
    Dot(qreal opacity, QWidget* parent)
        : QWidget(parent)
        , opacity_(opacity)
    {
        setFixedSize(8, 8);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(accent(palette(), opacity_));
        painter.drawEllipse(rect());
    }

private:
    qreal opacity_;
};

QLabel* legend(const QString& title, qreal opacity, QHBoxLayout* row, QWidget* parent)
{
    auto* entry = new QHBoxLayout;
    entry->setSpacing(6);
    entry->addWidget(new Dot(opacity, parent), 0, Qt::AlignVCenter);
    auto* label = new QLabel(title, parent);
    label->setFont(PivraFonts::font(12));
    entry->addWidget(label);
    QLabel* bytes = secondaryLabel({}, 12, parent);
    entry->addWidget(bytes);
    row->addLayout(entry);
    return bytes;
}

} // namespace

class StorageUsage::Bar final : public QWidget {
public:
    explicit Bar(QWidget* parent)
        : QWidget(parent)
    {
        setFixedHeight(8);
    }

    void show(double fraction, bool previews)
    {
        fraction_ = fraction;
        previews_ = previews;
        update();
    }

    double fraction() const { return fraction_; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF all = rect();
        fillCapsule(painter, all, PivraAppearance::primary(palette(), 0.06));
        const qreal thumbnails = std::max<qreal>(0, (all.width() - 2) * fraction_);
        if (thumbnails > 0) {
            fillCapsule(painter, QRectF(0, 0, thumbnails, all.height()), accent(palette(), 1));
        }
        const qreal rest = all.width() - thumbnails - 2;
        if (previews_ && rest > 0) {
            fillCapsule(painter, QRectF(thumbnails + 2, 0, rest, all.height()), accent(palette(), previewOpacity));
        }
    }

private:
    double fraction_ = 1;
    bool previews_ = false;
};

StorageUsage::StorageUsage(QWidget* parent)
    : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);

    auto* headline = new QHBoxLayout;
    headline->setSpacing(8);
    total_ = new QLabel(this);
    total_->setFont(PivraFonts::font(24, QFont::DemiBold));
    headline->addWidget(total_, 0, Qt::AlignBaseline);
    headline->addWidget(secondaryLabel(QStringLiteral("used by Pivra on this computer"), 13, this), 0,
                        Qt::AlignBaseline);
    headline->addStretch(1);
    headline->addWidget(secondaryLabel(QStringLiteral("Your originals are never copied or changed."), 11.5, this), 0,
                        Qt::AlignBaseline);
    column->addLayout(headline);

    bar_ = new Bar(this);
    column->addWidget(bar_);

    auto* legends = new QHBoxLayout;
    legends->setSpacing(18);
    thumbnailBytes_ = legend(QStringLiteral("Thumbnails"), 1, legends, this);
    previewBytes_ = legend(QStringLiteral("Video previews"), previewOpacity, legends, this);
    legends->addStretch(1);
    column->addLayout(legends);
    show(0, 0, false);
}

void StorageUsage::show(std::int64_t thumbnails, std::int64_t previews, bool counted)
{
    const std::int64_t total = thumbnails + previews;
    total_->setText(counted ? byteCountText(total) : QStringLiteral("—"));
    // Nothing stored, or nothing counted yet, shows a full accent bar.
    bar_->show(total >= 1 ? static_cast<double>(thumbnails) / static_cast<double>(total) : 1.0, previews >= 1);
    thumbnailBytes_->setText(byteCountText(thumbnails));
    previewBytes_->setText(byteCountText(previews));
}

double StorageUsage::thumbnailFraction() const
{
    return bar_->fraction();
}

} // namespace pivra
