#pragma once

#include <QColor>
#include <QFont>
#include <QTextBrowser>
#include <QTextCharFormat>

namespace pivra {

// How captioned rows look: the caption's font and colour, the value's
// format, and the room above a row (between rows) and above its value (under
// its caption).
struct CaptionedRowsLook {
    QFont captionFont;
    QColor captionColor;
    QTextCharFormat valueFormat;
    int rowSpacing = 0;
    int captionSpacing = 0;
};

// A list of values, each under a caption, in one read-only text document:
// an item with thousands of values builds in one go. The values are the
// document's text, so they can be selected and copied; the captions are
// painted into the space left above each value, so a selection or a copy
// takes the values alone. A caption longer than the row is elided in its
// middle, where a path says least.
class CaptionedRows final : public QTextBrowser {
public:
    explicit CaptionedRows(CaptionedRowsLook look, QWidget* parent = nullptr);

    void addRow(const QString& caption, const QString& value);
    // A heading of the document's own text (selectable like a value) under
    // a thin rule across the list.
    void addHeading(const QString& text, const QTextCharFormat& format);

    // Every caption and value, each on a line of its own, in order: for
    // tests and readers.
    QString captionedText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void addBlock(const QString& text, const QTextCharFormat& format, double topMargin, const QString& caption = {});
    double captionHeight() const;

    CaptionedRowsLook look_;
    bool empty_ = true;
};

} // namespace pivra
