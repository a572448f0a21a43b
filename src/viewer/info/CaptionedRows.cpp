#include "viewer/info/CaptionedRows.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextLayout>

namespace pivra {
namespace {

// Where a block keeps its caption.
constexpr int captionProperty = QTextFormat::UserProperty + 1;

} // namespace

CaptionedRows::CaptionedRows(CaptionedRowsLook look, QWidget* parent)
    : QTextBrowser(parent)
    , look_(std::move(look))
{
    document()->setDocumentMargin(0);
}

double CaptionedRows::captionHeight() const
{
    return QFontMetricsF(look_.captionFont).height();
}

void CaptionedRows::addRow(const QString& caption, const QString& value)
{
    const double captionRoom = captionHeight() + look_.captionSpacing;
    if (empty_) {
        // The document's first block keeps no top margin: the room for its
        // caption is the document's own.
        QTextFrameFormat frame = document()->rootFrame()->frameFormat();
        frame.setTopMargin(captionRoom);
        document()->rootFrame()->setFrameFormat(frame);
        addBlock(value, look_.valueFormat, 0, caption);
        return;
    }
    addBlock(value, look_.valueFormat, look_.rowSpacing + captionRoom, caption);
}

void CaptionedRows::addHeading(const QString& text, const QTextCharFormat& format)
{
    QTextBlockFormat rule;
    rule.setTopMargin(look_.rowSpacing);
    rule.setProperty(QTextFormat::BlockTrailingHorizontalRulerWidth, QTextLength(QTextLength::PercentageLength, 100));
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertBlock(rule);
    empty_ = false;
    addBlock(text, format, look_.rowSpacing);
}

void CaptionedRows::addBlock(const QString& text, const QTextCharFormat& format, double topMargin,
                             const QString& caption)
{
    QTextBlockFormat block;
    block.setTopMargin(topMargin);
    if (!caption.isNull()) {
        block.setProperty(captionProperty, caption);
    }
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (empty_) {
        cursor.setBlockFormat(block);
        empty_ = false;
    } else {
        cursor.insertBlock(block);
    }
    cursor.insertText(text, format);
}

QString CaptionedRows::captionedText() const
{
    QStringList lines;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (const QVariant caption = block.blockFormat().property(captionProperty); caption.isValid()) {
            lines << caption.toString();
        }
        lines << block.text();
    }
    return lines.join(u'\n');
}

// Each caption in the margin above its value, for the blocks in view.
void CaptionedRows::paintEvent(QPaintEvent* event)
{
    QTextBrowser::paintEvent(event);
    QPainter painter(viewport());
    painter.setFont(look_.captionFont);
    painter.setPen(look_.captionColor);
    const QPointF scrolled(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
    const QRectF exposed = QRectF(event->rect()).translated(-scrolled);
    const double height = captionHeight();
    const QFontMetricsF metrics(look_.captionFont);
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        const QVariant caption = block.blockFormat().property(captionProperty);
        if (!caption.isValid()) {
            continue;
        }
        const QTextLayout* layout = block.layout();
        if (layout->lineCount() == 0) {
            break; // laid out later (a long document is laid out in steps), and painted again then
        }
        // The layout's position is the top of the value's text, below the block's top margin.
        const double valueTop = layout->position().y();
        const QRectF area(0, valueTop - look_.captionSpacing - height, viewport()->width(), height);
        if (area.top() > exposed.bottom()) {
            break;
        }
        if (area.bottom() < exposed.top()) {
            continue;
        }
        painter.drawText(area.translated(scrolled), Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(caption.toString(), Qt::ElideMiddle, area.width()));
    }
}

} // namespace pivra
