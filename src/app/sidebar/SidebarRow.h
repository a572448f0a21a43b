#pragma once

#include "app/sidebar/SourceStatus.h"
#include "style/motion/AnimatedValue.h"

#include <QAbstractButton>

#include <optional>

namespace pivra {

// One row of the sidebar: a symbol in a frame of its own, a title on one
// line and, for a source, its status dot at the end. The row spans the
// column; its background (the selection or a faint hover tint) and its
// click area are inset from the column's edges, and a leading indentation
// lies outside the click area too. Readers hear a button named by the
// title, selected or not, holding the status dot named by its status text.
class SidebarRow : public QAbstractButton {
    Q_OBJECT

public:
    struct Look {
        int fontSize = 13;
        QFont::Weight weight = QFont::Normal;
        int outerInset = 10;      // from each edge of the column
        int indentation = 0;      // inside the background, not clickable
        int leading = 12;         // before the symbol
        int trailing = 12;        // after the title or the dot
        int verticalPadding = 9;
        int symbolFrame = 18;     // 0: no symbol and no space for one
        int spacing = 8;          // after the symbol frame
        bool hoverBackground = true;
    };

    SidebarRow(const QString& title, const QString& symbol, Look look, QWidget* parent = nullptr);

    // Selected rows are set in semibold on the accent background.
    bool selected() const { return selected_; }
    void setSelected(bool selected);
    std::optional<SourceStatus> status() const { return status_; }
    // Whether the status changed. The row is not repainted: a list whose
    // rows change together repaints once, since thousands of sibling rows
    // each asking for a repaint cost the window a pass that grows with the
    // square of their count.
    bool setStatus(std::optional<SourceStatus> status);
    const Look& look() const { return look_; }
    // Where the dot sits, which answers the pointer with the status text.
    QRect dotRect() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;
    bool event(QEvent* event) override;

private:
    void updateFont();

    QString symbol_;
    Look look_;
    bool selected_ = false;
    std::optional<SourceStatus> status_;
    HoverState hover_;
    AnimatedValue selection_;
};

} // namespace pivra
