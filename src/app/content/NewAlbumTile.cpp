#include "app/content/NewAlbumTile.h"

#include "app/content/AlbumCard.h"
#include "style/appearance/PivraAppearance.h"
#include "style/assets/PivraFonts.h"
#include "style/assets/Symbols.h"

#include <QPainter>
#include <QPainterPath>

namespace pivra {
namespace {

constexpr int symbolSize = 28;
constexpr int spacing = 10;

} // namespace

NewAlbumTile::NewAlbumTile(QWidget* parent) : QAbstractButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(QStringLiteral("Create album"));
}

void NewAlbumTile::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double radius = AlbumCard::cornerRadius;
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), radius, radius);
    painter.fillPath(shape, PivraAppearance::primary(palette(), 0.045));

    // Stroked inside the edge: the pen's middle runs half a line in.
    QPen dash(PivraAppearance::primary(palette(), 0.12), 1, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
    dash.setDashPattern({6, 5});
    dash.setMiterLimit(10);
    painter.setPen(dash);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);

    const QColor secondary = PivraAppearance::primary(palette(), 0.5);
    const QFont label = PivraFonts::font(13, QFont::Medium);
    const QFontMetrics metrics(label);
    const int top = (height() - symbolSize - spacing - metrics.height()) / 2;
    const QPixmap plus = Symbols::pixmap(QStringLiteral("plus"), QSize(symbolSize, symbolSize), secondary,
                                         devicePixelRatioF());
    painter.drawPixmap(QRect((width() - symbolSize) / 2, top, symbolSize, symbolSize), plus);
    painter.setFont(label);
    painter.setPen(secondary);
    painter.drawText(QRect(0, top + symbolSize + spacing, width(), metrics.height()), Qt::AlignHCenter,
                     QStringLiteral("New Album"));
}

} // namespace pivra
