#pragma once

#include <QWidget>

namespace pivra {

// The hairline round a dialog that sets it apart from the window behind it
// where no window manager frames it: the dialog's canvas would otherwise run
// into the window's, the same colour in either scheme. Drawn in the text
// colour at 0.28 opacity by a child of the dialog laid over its edge, which
// follows the dialog's size, stays above its other children and takes no
// clicks; the dialog's contents keep `width` pixels clear of the edge.
class DialogBorder final : public QWidget {
    Q_OBJECT

public:
    static constexpr int width = 1;

    // Gives `dialog` its border, once.
    static void addTo(QWidget& dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    explicit DialogBorder(QWidget& dialog);
};

} // namespace pivra
