#include "style/assets/Symbols.h"

#include "style/assets/BundledResources.h"

#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

namespace pivra::Symbols {

namespace {

const QString& folder()
{
    static const QString path = bundledResource(QStringLiteral("symbols"));
    return path;
}

class SymbolIconEngine final : public QIconEngine {
public:
    SymbolIconEngine(QString name, QColor tint)
        : name_(std::move(name))
        , tint_(tint)
    {
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, ratio));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        QColor tint = tint_;
        if (mode == QIcon::Disabled) {
            tint.setAlphaF(tint.alphaF() * 0.45f);
        }
        return Symbols::pixmap(name_, size, tint, scale);
    }

    QIconEngine* clone() const override { return new SymbolIconEngine(name_, tint_); }

private:
    QString name_;
    QColor tint_;
};

} // namespace

QPixmap pixmap(const QString& name, QSize size, const QColor& tint, qreal devicePixelRatio)
{
    const QString key = QStringLiteral("pivra-symbol/%1/%2x%3/%4/%5")
                            .arg(name)
                            .arg(size.width())
                            .arg(size.height())
                            .arg(tint.rgba(), 8, 16)
                            .arg(devicePixelRatio);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached)) {
        return cached;
    }
    const QString path = folder() + QLatin1Char('/') + name + QStringLiteral(".svg");
    if (!QFile::exists(path)) {
        return {};
    }
    QSvgRenderer renderer(path);
    if (!renderer.isValid() || size.isEmpty()) {
        return {};
    }
    QImage image(size * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        renderer.render(&painter);
        // Whatever colour the file draws in, keep only its coverage.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), tint);
    }
    image.setDevicePixelRatio(devicePixelRatio);
    QPixmap result = QPixmap::fromImage(std::move(image));
    QPixmapCache::insert(key, result);
    return result;
}

QIcon icon(const QString& name, const QColor& tint)
{
    return QIcon(new SymbolIconEngine(name, tint));
}

} // namespace pivra::Symbols
