#include "viewer/info/MetadataPanel.h"

#include "media/camera/CameraItemPaths.h"
#include "style/assets/PivraFonts.h"
#include "viewer/info/MetadataRows.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QVBoxLayout>

namespace pivra {
namespace {

const QColor primaryText = QColor::fromRgbF(1, 1, 1, 0.92f);
const QColor secondaryText = QColor::fromRgbF(1, 1, 1, 0.55f);

QTextCharFormat labelFormat()
{
    QTextCharFormat format;
    format.setFont(PivraFonts::font(10, QFont::Bold));
    format.setFontLetterSpacingType(QFont::AbsoluteSpacing);
    format.setFontLetterSpacing(0.8);
    format.setForeground(secondaryText);
    return format;
}

QTextCharFormat valueFormat()
{
    QTextCharFormat format;
    format.setFont(PivraFonts::font(13));
    format.setForeground(primaryText);
    return format;
}

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, QColor::fromRgbF(1, 1, 1, 0.14f));
    line->setPalette(palette);
    return line;
}

// One document for every row: an item with thousands of embedded values
// builds in one go, and a value's text is selectable like any text.
class RowWriter {
public:
    explicit RowWriter(QTextDocument& document) : cursor_(&document) {}

    void row(const QString& label, const QString& value)
    {
        block(label.toUpper(), labelFormat(), first_ ? 0 : 17);
        block(value, valueFormat(), 3);
    }

    void heading(const QString& text)
    {
        // The divider above the heading: a thin rule in the document.
        QTextBlockFormat rule;
        rule.setTopMargin(17);
        rule.setProperty(QTextFormat::BlockTrailingHorizontalRulerWidth, QTextLength(QTextLength::PercentageLength, 100));
        cursor_.insertBlock(rule);
        block(text, labelFormat(), 17);
    }

private:
    void block(const QString& text, const QTextCharFormat& format, int topMargin)
    {
        QTextBlockFormat spacing;
        spacing.setTopMargin(topMargin);
        if (first_) {
            cursor_.setBlockFormat(spacing);
            first_ = false;
        } else {
            cursor_.insertBlock(spacing);
        }
        cursor_.insertText(text, format);
    }

    QTextCursor cursor_;
    bool first_ = true;
};

} // namespace

MetadataPanel::MetadataPanel(const MediaItem& item, const std::optional<LibrarySource>& source,
                             std::function<void()> onShowInFileManager, QWidget* parent)
    : QWidget(parent)
    , rows_(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("metadataPanel"));
    setFixedWidth(width);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(22, 21, 22, 18);
    column->setSpacing(14);

    auto* title = new QLabel(QStringLiteral("Information"), this);
    title->setFont(PivraFonts::font(22, QFont::DemiBold));
    QPalette white = title->palette();
    white.setColor(QPalette::WindowText, primaryText);
    title->setPalette(white);
    column->addWidget(title);
    column->addWidget(divider(this));

    rows_->setFrameShape(QFrame::NoFrame);
    rows_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    rows_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette clear = rows_->palette();
    clear.setColor(QPalette::Base, Qt::transparent);
    rows_->setPalette(clear);
    rows_->document()->setDocumentMargin(0);
    RowWriter writer(*rows_->document());
    for (const MetadataRow& fact : factRows(item, source)) {
        writer.row(fact.label, fact.value);
    }
    if (const auto entries = metadataEntries(item.metadataJSON()); !entries.empty()) {
        writer.heading(QStringLiteral("EMBEDDED METADATA"));
        for (const MetadataRow& entry : entries) {
            writer.row(entry.label, entry.value);
        }
    }
    rows_->moveCursor(QTextCursor::Start); // the list opens at its top
    column->addWidget(rows_, 1);

    if (isCameraItem(item)) {
        note_ = new QLabel(QStringLiteral("Original on iPhone · preview only"), this);
        note_->setFont(PivraFonts::font(12));
        QPalette secondary = note_->palette();
        secondary.setColor(QPalette::WindowText, secondaryText);
        note_->setPalette(secondary);
        column->addWidget(note_, 0, Qt::AlignLeft);
    } else {
        reveal_ = new QPushButton(QStringLiteral("Show original in File Manager"), this);
        connect(reveal_, &QPushButton::clicked, this, [action = std::move(onShowInFileManager)] {
            if (action) {
                action();
            }
        });
        column->addWidget(reveal_, 0, Qt::AlignLeft);
    }
}

QString MetadataPanel::plainText() const
{
    return rows_->document()->toPlainText();
}

// The panel's own dim layer over the viewer's backdrop, standing in for a
// translucent material.
void MetadataPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgbF(0.13f, 0.13f, 0.145f, 0.94f));
}

} // namespace pivra
