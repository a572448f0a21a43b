#include "viewer/info/MetadataPanel.h"

#include "media/camera/CameraItemPaths.h"
#include "style/assets/PivraFonts.h"
#include "viewer/info/CaptionedRows.h"
#include "viewer/info/MetadataRows.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace pivra {
namespace {

const QColor primaryText = QColor::fromRgbF(1, 1, 1, 0.92f);
const QColor secondaryText = QColor::fromRgbF(1, 1, 1, 0.55f);
const QColor dividerColor = QColor::fromRgbF(1, 1, 1, 0.14f);

QFont labelFont()
{
    QFont font = PivraFonts::font(10, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.8);
    return font;
}

QTextCharFormat labelFormat()
{
    QTextCharFormat format;
    format.setFont(labelFont());
    format.setForeground(secondaryText);
    return format;
}

// Labels above their values, 17 between rows and 3 under each label.
CaptionedRowsLook rowsLook()
{
    QTextCharFormat value;
    value.setFont(PivraFonts::font(13));
    value.setForeground(primaryText);
    return {labelFont(), secondaryText, value, 17, 3};
}

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, dividerColor);
    line->setPalette(palette);
    return line;
}

} // namespace

MetadataPanel::MetadataPanel(const MediaItem& item, const std::optional<LibrarySource>& source,
                             std::function<void()> onShowInFileManager, QWidget* parent)
    : QWidget(parent)
    , rows_(new CaptionedRows(rowsLook(), this))
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
    clear.setColor(QPalette::Dark, dividerColor); // the document draws its rule in this role
    rows_->setPalette(clear);
    // Labels read as labels but are no part of the text: selecting and
    // copying takes the values alone.
    for (const MetadataRow& fact : factRows(item, source)) {
        rows_->addRow(fact.label.toUpper(), fact.value);
    }
    if (const auto entries = metadataEntries(item.metadataJSON()); !entries.empty()) {
        rows_->addHeading(QStringLiteral("EMBEDDED METADATA"), labelFormat());
        for (const MetadataRow& entry : entries) {
            rows_->addRow(entry.label.toUpper(), entry.value);
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
    return rows_->captionedText();
}

// The panel's own dim layer over the viewer's backdrop, standing in for a
// translucent material.
void MetadataPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgbF(0.13f, 0.13f, 0.145f, 0.94f));
}

} // namespace pivra
