#include "app/sidebar/FolderRow.h"

#include "style/assets/Symbols.h"

#include <QPainter>

namespace pivra {

namespace {

constexpr int chevronWidth = 13;
constexpr int chevronGap = 6;

class Chevron final : public QAbstractButton {
public:
    Chevron(bool open, QWidget* parent)
        : QAbstractButton(parent)
    {
        setCursor(Qt::ArrowCursor);
        setOpen(open);
    }

    void setOpen(bool open)
    {
        open_ = open;
        setAccessibleName(open ? QStringLiteral("Hide subfolders") : QStringLiteral("Show subfolders"));
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        constexpr int side = 9;
        const QPixmap image =
            Symbols::pixmap(open_ ? QStringLiteral("chevron.down") : QStringLiteral("chevron.right"), QSize(side, side),
                            palette().color(QPalette::WindowText), devicePixelRatioF());
        painter.drawPixmap(QPoint((width() - side) / 2, (height() - side) / 2), image);
    }

private:
    bool open_ = false;
};

SidebarRow::Look folderLook(int depth)
{
    SidebarRow::Look look;
    look.fontSize = 12;
    look.indentation = FolderRow::indentation(depth);
    look.leading = chevronWidth + chevronGap;
    look.trailing = 17;
    look.verticalPadding = 5;
    look.symbolFrame = 16;
    look.spacing = 5;
    return look;
}

} // namespace

FolderRow::FolderRow(const QString& name, int depth, std::optional<bool> open, QWidget* parent)
    : SidebarRow(name, QStringLiteral("folder"), folderLook(depth), parent)
{
    if (open) {
        chevron_ = new Chevron(*open, this);
    }
}

void FolderRow::setOpen(bool open)
{
    if (chevron_ != nullptr) {
        static_cast<Chevron*>(chevron_)->setOpen(open);
    }
}

void FolderRow::resizeEvent(QResizeEvent* event)
{
    SidebarRow::resizeEvent(event);
    if (chevron_) {
        chevron_->setGeometry(look().outerInset + look().indentation, 0, chevronWidth, height());
    }
}

} // namespace pivra
